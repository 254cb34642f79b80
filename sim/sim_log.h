// The readable log line of one datagram, as `consolesim -v` prints it:
//
//   x32 recv from 127.0.0.1:40000 (32 bytes): /ch/05/config/name ,s "Kick" | 2F63682F ...
//   wing-discovery sent to 127.0.0.1:40001 (48 bytes): "WING,127.0.0.2,..." | 57494E47 ...
//
// kind, direction, peer, length, then the decoded content (OSC address, type tags and
// arguments, "not OSC (why)", or the datagram as quoted text), then the bytes in hex,
// grouped by four as they lie on the 4-byte grid. Pure; the caller prints.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

enum class Direction { Received, Sent };

/// Longest run shown in hex, and longest text shown in quotes; a longer datagram or
/// string is shown in part and marked, so one huge datagram cannot flood the log.
inline constexpr std::size_t logHexLimit = 256;
inline constexpr std::size_t logTextLimit = 200;

/// The whole line, without a line end. `asOsc` false shows the content as quoted text
/// (the Wing discovery exchange is plain text, not OSC).
std::string logLine(std::string_view kind, Direction direction, std::string_view peer,
                    std::span<const unsigned char> bytes, bool asOsc);

/// The decoded part: `/addr ,sf "text" 0.5`, the address alone for a bare query, or
/// `not OSC (why)` for bytes that are not a message.
std::string describeOsc(std::span<const unsigned char> bytes);

/// `text` in double quotes; '"' and '\\' escaped, other bytes outside printable ASCII
/// written as \0 or \xNN.
std::string quotedText(std::string_view text);

/// Upper-case hex, a blank after every four bytes.
std::string hexGroups(std::span<const unsigned char> bytes);
