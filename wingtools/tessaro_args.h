// The -d value of the bus-name tool: <ip>,<num>,<name>.
#pragma once

#include <cstddef>

struct BusNameRequest {
  char ip[21];         // the ip field, at most 20 characters
  int bus;             // the bus number
  const char* name;    // the rest of the value after the number's comma
  char address[48];    // "/bus/<bus>/name"
};

enum class BusNameSplit {
  Ok,
  MissingComma,  // fewer than two commas: no name field
  BadNumber,     // the num field is not a decimal integer that fits an int
  NameTooLong,   // the message would not fit `messageCapacity` bytes
};

/// Splits `value` into its three fields: the ip field ends at the first comma, at
/// the end of the value or after its 20th character; one character after it is consumed
/// as the separator (so an over-long address spills into the number); the num field runs
/// to the next comma; the name is everything after that comma, further commas included.
/// `request.name` points into `value`. On anything but Ok, `request` is unspecified.
BusNameSplit splitBusNameArg(const char* value, BusNameRequest& request,
                             std::size_t messageCapacity);
