// Scout, the discovery app: asks every console on the local network (or the one at a given
// address) who it is, and hands the server one line per console that answered. Everything
// here is pure: no sockets, no files.
//
// A Wing answers the 8-byte datagram "WING?" on UDP 2222 with the text
// WING,<address>,<name>,<model>,<serial>,<firmware>; an X32 answers the OSC message /xinfo
// on UDP 10023 with /xinfo ,ssss <address> <name> <model> <firmware>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int wingDiscoveryPort = 2222;
inline constexpr int x32Port = 10023;

/// How long answers are collected after the questions went out: well inside the half
/// second the server waits for an app's data file.
inline constexpr int collectMs = 300;

/// Longest field kept from an answer, in bytes.
inline constexpr std::size_t maxFieldBytes = 63;

/// Most consoles listed; further answers are not kept (a guard against a flood).
inline constexpr std::size_t maxConsoles = 256;

enum class ConsoleKind { Wing, X32 };

/// One console that answered. `address` is the one its answer came from, in host order.
struct FoundConsole {
  ConsoleKind kind = ConsoleKind::Wing;
  std::uint32_t address = 0;
  std::string name;
  std::string model;
  std::string firmware;
};

/// What the body asks for: every console, by broadcast, or the one at `address` (host
/// order).
struct ScoutTarget {
  bool broadcast = true;
  std::uint32_t address = 0;
};

/// Reads the request body. Empty, or blanks and line ends only: broadcast. A dotted IPv4
/// address (four decimal numbers 0..255 without leading zeros; blanks and line ends around
/// it allowed): that console. False for anything else.
bool parseScoutBody(std::string_view body, ScoutTarget& target);

/// Reads one datagram that came from `from` (host order) as a console's answer. True for a
/// Wing answer (text beginning "WING,", read up to its first NUL; missing fields are empty)
/// and for an X32 answer (a well-formed OSC message /xinfo whose first four arguments are
/// strings); false for any other shape. Fields are cut to maxFieldBytes without splitting
/// a UTF-8 character, and control characters in them (tabs, line ends) become blanks.
bool readDiscoveryReply(std::span<const unsigned char> reply, std::uint32_t from,
                        FoundConsole& console);

/// Adds `console` unless a console of the same kind at the same address is listed (the
/// first answer wins) or the list is full. True when it was added.
bool addConsole(std::vector<FoundConsole>& consoles, FoundConsole console);

/// The data file's text: one line per console, sorted by address (numerically, the Wing
/// before the X32 at one address), each "<Wing|X32>\t<address>\t<name>\t<model>\t<firmware>\n".
/// Empty for no console.
std::string consoleListText(std::vector<FoundConsole> consoles);

/// The dotted text of an IPv4 address in host order.
std::string dottedAddress(std::uint32_t address);

/// The usage text for -h.
std::string scoutUsage();
