// The console request body: "<ipv4>,<port>,<command text>".
#pragma once

#include "platform/net.h"

/// The fields of one console request body.
struct ConsoleTarget {
  char address[21] = {};  // at most 20 characters
  char port[7] = {};      // at most 6 characters
  char* command = nullptr;  // the rest of the body, in place
  sockaddr_in destination{};
};

/// Splits `body` into address (up to a comma, the end, or 20 characters), one separator
/// character, port (up to a comma, the end, or 6 characters), one separator character and
/// the command text. An over-long field spills: the character after its limit is taken as
/// the separator, whatever it is. Refuses (false) a body that ends before either separator
/// and a port that is not a decimal number in 1..65535; nothing may be sent then.
bool splitConsoleBody(char* body, ConsoleTarget& target);
