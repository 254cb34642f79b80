#include "platform/ipconfig_text.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

// The address as the bytes of an IPv4 socket address: first octet lowest.
constexpr int addressOf(unsigned a, unsigned b, unsigned c, unsigned d) {
  return static_cast<int>(a | b << 8 | c << 16 | d << 24);
}

const char* const adapter =
    "Windows IP Configuration\r\n"
    "\r\n"
    "Ethernet adapter Ethernet:\r\n"
    "\r\n"
    "   Connection-specific DNS Suffix  . : lan\r\n"
    "   Link-local IPv6 Address . . . . . : fe80::1c2d:3e4f:5a6b:7c8d%12\r\n"
    "   IPv4 Address. . . . . . . . . . . : 192.168.1.23\r\n"
    "   Subnet Mask . . . . . . . . . . . : 255.255.255.0\r\n"
    "   Default Gateway . . . . . . . . . : 192.168.1.1\r\n";

TEST(ipconfigAddress, Cases) {
  struct Case {
    const char* name;
    std::string text;
    int address;
  };
  const std::array<Case, 10> cases{{
      {"matching pair", adapter, addressOf(192, 168, 1, 23)},
      {"other mask", "   IPv4 Address. . . : 10.0.0.5\n   Subnet Mask . . . : 255.255.0.0\n", 0},
      {"first /24 wins after other masks",
       "   IPv4 Address. . . : 10.0.0.5\n   Subnet Mask . . . : 255.255.0.0\n"
       "   IPv4 Address. . . : 172.16.4.9\n   Subnet Mask . . . : 255.255.255.0\n"
       "   IPv4 Address. . . : 192.0.2.1\n   Subnet Mask . . . : 255.255.255.0\n",
       addressOf(172, 16, 4, 9)},
      {"labels in another language",
       "   IPv4-Adresse  . . : 192.168.1.23\n   Subnetzmaske  . . : 255.255.255.0\n", 0},
      {"label case differs", "   IPV4 Address. . : 192.168.1.23\n   Mask. . : 255.255.255.0\n", 0},
      {"address followed by more text",
       "   IPv4 Address. . . : 192.168.1.23(Preferred) \n   Subnet Mask . : 255.255.255.0\n",
       addressOf(192, 168, 1, 23)},
      {"mask not on the next line",
       "   IPv4 Address. . . : 192.168.1.23\n   Gateway . . . : 1.2.3.4\n"
       "   Subnet Mask . . . : 255.255.255.0\n",
       0},
      {"no colon-blank, search goes on",
       "   IPv4 Address 192.168.1.23\n   Subnet Mask . : 255.255.255.0\n"
       "   IPv4 Address. : 10.1.2.3\n   Subnet Mask . : 255.255.255.0",
       addressOf(10, 1, 2, 3)},
      {"three numbers only", "   IPv4 Address. : 10.1.2\n   Subnet Mask . : 255.255.255.0\n", 0},
      {"empty text", "", 0},
  }};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ipconfigAddress(c.text), c.address);
  }
}

// The reader keeps 127 characters of the previous line: a label or address beyond them
// is not seen.
TEST(ipconfigAddress, PreviousLineKeptTo127Characters) {
  const std::string pad(100, ' ');
  const std::string inside = pad + "IPv4 Address: 10.1.2.3\n255.255.255.0\n";
  EXPECT_EQ(ipconfigAddress(inside), addressOf(10, 1, 2, 3));
  const std::string beyond = std::string(120, ' ') + "IPv4 Address: 10.1.2.3\n255.255.255.0\n";
  EXPECT_EQ(ipconfigAddress(beyond), 0);
}

}  // namespace
