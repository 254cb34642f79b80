#include "platform/host_addr.h"

#include <array>
#include <bit>

std::uint32_t ipv4MaskOfPrefix(unsigned length) {
  // Octet by octet in memory order, so the value is in network byte order on any host.
  std::array<unsigned char, 4> octets{};
  for (unsigned i = 0; i < octets.size(); ++i) {
    const unsigned bits = length > 8 * i ? length - 8 * i : 0;
    octets[i] = bits >= 8 ? 0xFF : static_cast<unsigned char>(0xFF00u >> bits);
  }
  return std::bit_cast<std::uint32_t>(octets);
}

int addressOn24BitSubnet(std::span<const InterfaceAddress> interfaces) {
  const std::uint32_t wanted = ipv4MaskOfPrefix(24);
  for (const InterfaceAddress& entry : interfaces) {
    if (entry.up && entry.mask == wanted) return std::bit_cast<int>(entry.address);
  }
  return 0;
}
