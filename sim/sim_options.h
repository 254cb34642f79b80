// The command line of consolesim:
//   consolesim [-a ADDR] [-c x32|wing|both] [-v] [-q] [--silent]
//              [--x32-port N] [--wing-discovery-port N] [--wing-osc-port N] [-h]
// Long options take their value as the next word or after '=' (--x32-port=10024).
#pragma once

#include <span>
#include <string>

struct SimOptions {
  std::string address = "127.0.0.1";  // dotted IPv4 to bind; 0.0.0.0 binds every interface
  bool x32 = true;
  bool wing = true;
  bool verbose = false;  // -v: every datagram in and out
  bool quiet = false;    // -q: only the listening lines and errors
  bool silent = false;   // --silent: log what arrives, answer and change nothing
  bool help = false;
  int x32Port = 10023;
  int wingDiscoveryPort = 2222;
  int wingOscPort = 2223;  // each 0..65535; 0 lets the system pick a free port
};

/// Reads `args` (argv without the program name) into `options`. Returns an empty text on
/// success, else a one-line description of the first bad word.
std::string parseSimOptions(std::span<const char* const> args, SimOptions& options);

/// True for a dotted IPv4 address: four decimal numbers 0..255, no blanks or signs.
bool isDottedIPv4(std::string_view text);

/// The help text, with the limits and behaviours a user needs to know.
extern const char simUsage[];
