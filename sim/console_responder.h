// What a simulated console answers to one datagram, and what it does to its state.
//
// Pure: the socket loop hands in the bytes and the address the console stands on, and
// sends back whatever `reply` holds. Only the X32 and Wing OSC endpoints touch the state.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "sim/console_state.h"

enum class Endpoint { X32, WingDiscovery, WingOsc };

/// "x32", "wing-discovery" or "wing-osc": the kind named in the log and the messages.
std::string_view endpointName(Endpoint endpoint);

/// What the consoles say about themselves. The X32 answers "/xinfo" with
/// ,ssss <own address> <name> <model> <version>; the Wing answers "WING?" with
/// WING,<own address>,<name>,<model>,<serial>,<version>.
inline constexpr char simName[] = "consolesim";
inline constexpr char x32Model[] = "X32";
inline constexpr char wingModel[] = "NGC-FULL";
inline constexpr char wingSerial[] = "SIM000001";
inline constexpr char simVersion[] = "1.0";

/// The 8 bytes a Wing answers on its discovery port: "WING?" and three NULs.
inline constexpr unsigned char wingQuery[] = {'W', 'I', 'N', 'G', '?', 0, 0, 0};

struct Response {
  std::string reply;     // the datagram to send back; empty: no answer
  std::string note;      // one line on what happened, for the log
  bool ignored = false;  // the datagram was refused (not OSC, unknown address, wrong type)
};

/// Handles one datagram that reached `endpoint`. `ownAddress` is the IPv4 address the
/// console reports as its own. X32 and Wing OSC: an address-only message for a known
/// address is answered with that address and its value (',s' or ',f'); "/xinfo" (X32
/// only) with the console's identity; a one-argument message sets the value and is not
/// answered. Anything else is ignored with a note saying why.
Response respond(Endpoint endpoint, ConsoleState& state, std::span<const unsigned char> datagram,
                 std::string_view ownAddress);
