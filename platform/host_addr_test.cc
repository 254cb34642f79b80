#include "platform/host_addr.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <vector>

namespace {

// An address or mask as the bytes of an IPv4 socket address: first octet lowest.
std::uint32_t dotted(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
  return std::bit_cast<std::uint32_t>(std::array<unsigned char, 4>{a, b, c, d});
}

TEST(ipv4MaskOfPrefix, OctetsInNetworkOrder) {
  struct Case {
    unsigned length;
    std::uint32_t mask;
  };
  const std::array cases = {
      Case{0, dotted(0, 0, 0, 0)},          Case{1, dotted(128, 0, 0, 0)},
      Case{8, dotted(255, 0, 0, 0)},        Case{20, dotted(255, 255, 240, 0)},
      Case{24, dotted(255, 255, 255, 0)},   Case{25, dotted(255, 255, 255, 128)},
      Case{32, dotted(255, 255, 255, 255)}, Case{200, dotted(255, 255, 255, 255)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    EXPECT_EQ(ipv4MaskOfPrefix(c.length), c.mask);
  }
}

TEST(addressOn24BitSubnet, FirstUpInterfaceWithA24BitMask) {
  const std::uint32_t slash24 = dotted(255, 255, 255, 0);
  const InterfaceAddress loopback{dotted(127, 0, 0, 1), dotted(255, 0, 0, 0), true};
  const InterfaceAddress wide{dotted(10, 1, 2, 3), dotted(255, 255, 0, 0), true};
  const InterfaceAddress down{dotted(192, 168, 7, 9), slash24, false};
  const InterfaceAddress lan{dotted(192, 168, 1, 23), slash24, true};
  const InterfaceAddress second{dotted(172, 16, 5, 4), slash24, true};
  struct Case {
    const char* name;
    std::vector<InterfaceAddress> interfaces;
    std::uint32_t address;
  };
  const std::array cases = {
      Case{"none at all", {}, 0},
      Case{"only other masks", {loopback, wide}, 0},
      Case{"a /24 that is down", {down}, 0},
      Case{"the /24 after others", {loopback, wide, down, lan}, lan.address},
      Case{"the first of two", {second, lan}, second.address},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(addressOn24BitSubnet(c.interfaces), std::bit_cast<int>(c.address));
  }
  // The int holds the socket address's bytes: the first octet in the lowest byte.
  EXPECT_EQ(addressOn24BitSubnet(std::array{lan}), 192 | 168 << 8 | 1 << 16 | 23 << 24);
}

}  // namespace
