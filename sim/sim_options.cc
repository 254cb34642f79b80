#include "sim/sim_options.h"

#include <charconv>
#include <string_view>

const char simUsage[] =
    "Usage: consolesim [-a ADDR] [-c x32|wing|both] [-v] [-q] [--silent]\n"
    "                  [--x32-port N] [--wing-discovery-port N] [--wing-osc-port N]\n"
    "Stands in for mixing consoles on UDP until SIGINT or SIGTERM.\n"
    "  -a ADDR    IPv4 address to bind (default 127.0.0.1; 0.0.0.0 for every interface)\n"
    "  -c WHICH   consoles to emulate: x32, wing or both (default both)\n"
    "  -v         log every datagram received and sent: address, tags, arguments, hex\n"
    "  -q         print only the listening lines and errors (default: also ignored datagrams)\n"
    "  --silent   log what arrives but never answer or change state (a console that is down)\n"
    "  --x32-port N             X32 OSC port (default 10023)\n"
    "  --wing-discovery-port N  Wing discovery port, answers \"WING?\" (default 2222)\n"
    "  --wing-osc-port N        Wing OSC port (default 2223)\n"
    "  -h         this text\n"
    "  Port 0 picks a free port; the listening lines show which.\n"
    "X32: /xinfo, /ch/01..32/config/name, /bus/01..16/config/name, /ch/01..32/mix/fader (0..1).\n"
    "Wing: /ch/1..40/name, /bus/1..16/name, /main/1/fdr (dB, -144..10).\n"
    "An address alone reads a value back; one argument of the right type (,s or ,f) sets it.\n"
    "Names longer than 31 bytes (X32) or 63 bytes (Wing) are cut; levels are pinned to range.\n";

namespace {

bool readNumber(std::string_view text, int low, int high, int& value) {
  int parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc{} || end != text.data() + text.size() || text.empty()) return false;
  if (parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

std::string applyConsoles(std::string_view which, SimOptions& options) {
  if (which == "x32" || which == "wing" || which == "both") {
    options.x32 = which != "wing";
    options.wing = which != "x32";
    return {};
  }
  return "-c takes x32, wing or both, not '" + std::string(which) + "'";
}

int* portFor(std::string_view name, SimOptions& options) {
  if (name == "--x32-port") return &options.x32Port;
  if (name == "--wing-discovery-port") return &options.wingDiscoveryPort;
  if (name == "--wing-osc-port") return &options.wingOscPort;
  return nullptr;
}

// Options that take a value; `value` is the word after them or the text after '='.
std::string applyValue(std::string_view name, std::string_view value, SimOptions& options) {
  if (name == "-a") {
    if (!isDottedIPv4(value)) return "-a takes a dotted IPv4 address, not '" + std::string(value) + "'";
    options.address = value;
    return {};
  }
  if (name == "-c") return applyConsoles(value, options);
  if (!readNumber(value, 0, 65535, *portFor(name, options))) {
    return std::string(name) + " takes a port 0..65535, not '" + std::string(value) + "'";
  }
  return {};
}

bool applyFlag(std::string_view word, SimOptions& options) {
  if (word == "-v") options.verbose = true;
  else if (word == "-q") options.quiet = true;
  else if (word == "--silent") options.silent = true;
  else if (word == "-h" || word == "--help") options.help = true;
  else return false;
  return true;
}

}  // namespace

bool isDottedIPv4(std::string_view text) {
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = part < 3 ? text.find('.') : text.size();
    if (dot == std::string_view::npos || dot == 0 || dot > 3) return false;
    if (dot > 1 && text[0] == '0') return false;  // 010 reads as octal to some parsers
    int value = 0;
    if (!readNumber(text.substr(0, dot), 0, 255, value)) return false;
    text.remove_prefix(part < 3 ? dot + 1 : dot);
  }
  return text.empty();
}

std::string parseSimOptions(std::span<const char* const> args, SimOptions& options) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view word = args[i];
    if (applyFlag(word, options)) continue;
    std::string_view value;
    const std::size_t equals = word.find('=');
    if (word.starts_with("--") && equals != std::string_view::npos) {
      value = word.substr(equals + 1);
      word = word.substr(0, equals);
    }
    if (word != "-a" && word != "-c" && portFor(word, options) == nullptr) {
      return "unknown option '" + std::string(args[i]) + "'";
    }
    if (value.data() == nullptr) {
      if (i + 1 == args.size()) return std::string(word) + " needs a value";
      value = args[++i];
    }
    if (std::string error = applyValue(word, value, options); !error.empty()) return error;
  }
  return {};
}
