// The name-fetch apps: one program, three variants. Each asks one console whether it is
// there (a handshake), then for one channel or bus name, and hands the name to the server
// in the data file. Everything here is pure: no sockets, no files.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

/// How a variant recognises its console in the handshake reply.
enum class HandshakeCheck {
  StartsWithWing,    // the first 4 bytes are "WING"
  FirstStringXinfo,  // the first NUL-terminated string is exactly "/xinfo"
};

/// What differs between the three apps.
struct NameFetchVariant {
  const char* program;        // also the route: /Quennet
  const char* console;        // "Wing" or "X32"
  int handshakePort;
  const char* handshake;      // sent as one OSC string field
  HandshakeCheck accept;
  int queryPort;
  const char* queryFormat;    // printf format taking the number
  std::size_t nameOffset;     // first string argument of the reply
  const char* socketFailure;  // perror prefix when the UDP socket cannot be made
  const char* numberLine;     // usage line 5
  const char* requestLine;    // usage line 6
};

inline constexpr std::array<NameFetchVariant, 3> nameFetchVariants{{
    {"Quennet", "Wing", 2222, "WING?", HandshakeCheck::StartsWithWing, 2223, "/ch/%d/name", 16,
     "failed to create Wing socket",
     "\t      <num>: an integer representing a Wing channel number",
     "\tThe application will request the channel name for channel <num> and save"},
    {"Dravisk", "X32", 10023, "/xinfo", HandshakeCheck::FirstStringXinfo, 10023,
     "/ch/%02d/config/name", 24, "failed to create X32 socket",
     "\t      <num>: an integer representing an X32 channel number",
     "\tThe application will request the channel name for channel <num> and save"},
    {"Marlune", "X32", 10023, "/xinfo", HandshakeCheck::FirstStringXinfo, 10023,
     "/bus/%02d/config/name", 24, "failed to create X32 socket",
     "\t      <num>: an integer representing an X32 bus number",
     "\tThe application will request the bus name for bus <num> and save"},
}};

/// Longest console address text taken from the -d argument.
inline constexpr std::size_t maxAddressLength = 20;

/// Room for one datagram, sent or received.
inline constexpr std::size_t packetSize = 128;

/// Room for the query's OSC address text and its NUL.
inline constexpr std::size_t commandSize = 48;

/// What the -d argument names: the console's address text and the channel or bus number.
struct AppTarget {
  std::string address;  // at most maxAddressLength characters; empty until -d sets it
  int number = 0;       // 0 until a -d with a number sets it
};

/// Reads "<ip>,<num>" into `target`. The address is everything before the first comma, cut
/// at 20 characters; one character after it is skipped as the separator (the comma, or the
/// 21st character whatever it is). The number field runs to the next comma or the end and
/// is read like "%d": blanks skipped, trailing text ignored; a field without a leading
/// number, or one out of int range, leaves `target.number` as it was. An argument without
/// a comma is read the same way and so keeps the number (0 unless set before): the run goes
/// on and queries that number. Never reads past `argument`.
void parseAppArgument(std::string_view argument, AppTarget& target);

/// True when `reply` (the received bytes only) is the handshake answer of `variant`'s console.
bool handshakeAccepted(const NameFetchVariant& variant, std::span<const unsigned char> reply);

/// The name in `reply`: its bytes from the variant's name offset up to the first NUL or to
/// the end of the reply, whichever comes first; empty when the reply ends before the offset.
std::string_view replyName(const NameFetchVariant& variant, std::span<const unsigned char> reply);

/// Formats the query address for `number` into `command`; its length, or -1 if it did not fit.
int formatQuery(const NameFetchVariant& variant, int number, char (&command)[commandSize]);

/// The usage text of `variant`: seven lines, the third followed by an empty line.
std::string usageText(const NameFetchVariant& variant);
