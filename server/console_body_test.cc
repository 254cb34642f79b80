#include "server/console_body.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

struct BodyCase {
  const char* name;
  std::string body;
  bool accepted;
  const char* address;
  int port;
  const char* command;
};

TEST(splitConsoleBody, SplitsFieldsWithTheirLimits) {
  const std::array cases = {
      BodyCase{"plain", "192.0.2.10,2223,/ch/1/name", true, "192.0.2.10", 2223, "/ch/1/name"},
      BodyCase{"command keeps its commas", "127.0.0.1,10023,/x ,s 'a,b'", true, "127.0.0.1",
               10023, "/x ,s 'a,b'"},
      BodyCase{"empty command", "127.0.0.1,10023,", true, "127.0.0.1", 10023, ""},
      BodyCase{"address of exactly 20", "127.000.000.00000001,9,/a", true, "127.000.000.00000001",
               9, "/a"},
      BodyCase{"address of 21 spills into the port", "127.000.000.0000000019,/a", true,
               "127.000.000.00000000", 9, "/a"},
      BodyCase{"port of 6 digits is out of range", "1.2.3.4,123456,/a", false, "", 0, ""},
      BodyCase{"port of 7 spills into the command", "1.2.3.4,0000990/a", true, "1.2.3.4", 99,
               "/a"},
      BodyCase{"port 65535", "1.2.3.4,65535,/a", true, "1.2.3.4", 65535, "/a"},
      BodyCase{"port 65536 does not wrap to 0", "1.2.3.4,65536,/a", false, "", 0, ""},
      BodyCase{"port 70000 does not wrap to 4464", "1.2.3.4,70000,/a", false, "", 0, ""},
      BodyCase{"port 0", "1.2.3.4,0,/a", false, "", 0, ""},
      BodyCase{"empty port", "1.2.3.4,,/a", false, "", 0, ""},
      BodyCase{"port with letters", "1.2.3.4,22a,/a", false, "", 0, ""},
      BodyCase{"negative port", "1.2.3.4,-1,/a", false, "", 0, ""},
      BodyCase{"no separator at all", "1.2.3.4", false, "", 0, ""},
      BodyCase{"one separator", "1.2.3.4,2223", false, "", 0, ""},
      BodyCase{"empty body", "", false, "", 0, ""},
      BodyCase{"20-character address then the end", "127.000.000.00000001", false, "", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string body = c.body;
    ConsoleTarget target;
    ASSERT_EQ(splitConsoleBody(body.data(), target), c.accepted);
    if (!c.accepted) continue;
    EXPECT_STREQ(target.address, c.address);
    EXPECT_EQ(ntohs(target.destination.sin_port), c.port);
    EXPECT_EQ(target.destination.sin_family, AF_INET);
    EXPECT_STREQ(target.command, c.command);
    EXPECT_GE(target.command, body.data());
    EXPECT_LE(target.command, body.data() + body.size());
  }
}

TEST(splitConsoleBody, AddressIsConvertedNotValidated) {
  std::string body = "192.0.2.10,2223,/a";
  ConsoleTarget target;
  ASSERT_TRUE(splitConsoleBody(body.data(), target));
  EXPECT_EQ(target.destination.sin_addr.s_addr, inet_addr("192.0.2.10"));
  std::string junk = "not-an-address,2223,/a";
  ASSERT_TRUE(splitConsoleBody(junk.data(), target));
  EXPECT_EQ(target.destination.sin_addr.s_addr, INADDR_NONE);
}

}  // namespace
