// This computer's own IPv4 address, as the Wing search wants it: the address of the first
// interface on a 255.255.255.0 subnet. POSIX reads the interfaces with getifaddrs, Windows
// with GetAdaptersAddresses (never the translated text of "ipconfig"); the rule that picks
// one is the same pure function on both.
#pragma once

#include <cstdint>
#include <span>

/// One IPv4 address of an interface. Address and mask hold the bytes of an IPv4 socket
/// address (network byte order).
struct InterfaceAddress {
  std::uint32_t address = 0;
  std::uint32_t mask = 0;
  bool up = false;
};

/// The mask of an IPv4 prefix length (24 gives 255.255.255.0), network byte order;
/// lengths above 32 count as 32.
std::uint32_t ipv4MaskOfPrefix(unsigned length);

/// The address of the first interface in `interfaces` that is up and whose mask is
/// 255.255.255.0, as an int holding the bytes of an IPv4 socket address (first octet in
/// the lowest-addressed byte); 0 when there is none.
int addressOn24BitSubnet(std::span<const InterfaceAddress> interfaces);

/// addressOn24BitSubnet over this computer's interfaces, in the order the system lists
/// them; 0 as well when the list cannot be read.
int hostAddressOn24BitSubnet();
