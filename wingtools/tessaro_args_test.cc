#include "wingtools/tessaro_args.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

constexpr std::size_t roomy = 512;

struct SplitCase {
  const char* value;
  const char* ip;
  int bus;
  const char* name;
  const char* address;
};

TEST(splitBusNameArg, Fields) {
  const std::array<SplitCase, 7> cases{{
      {"192.0.2.62,3,Bass", "192.0.2.62", 3, "Bass", "/bus/3/name"},
      {"192.0.2.62,12,Drums,Left", "192.0.2.62", 12, "Drums,Left", "/bus/12/name"},
      {"192.0.2.62,-1,Bass", "192.0.2.62", -1, "Bass", "/bus/-1/name"},
      {"192.0.2.7,1,", "192.0.2.7", 1, "", "/bus/1/name"},
      {",5,Vox", "", 5, "Vox", "/bus/5/name"},
      // A 20-character ip field ends at its comma as usual.
      {"12345678901234567890,4,Keys", "12345678901234567890", 4, "Keys", "/bus/4/name"},
      // A longer one spills: its 21st character is the separator, the number starts at
      // the 22nd, and the name is what follows the number's comma.
      {"1234567890123456789012,7,Bass", "12345678901234567890", 2, "7,Bass", "/bus/2/name"},
  }};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    BusNameRequest request{};
    ASSERT_EQ(splitBusNameArg(c.value, request, roomy), BusNameSplit::Ok);
    EXPECT_STREQ(request.ip, c.ip);
    EXPECT_EQ(request.bus, c.bus);
    EXPECT_STREQ(request.name, c.name);
    EXPECT_STREQ(request.address, c.address);
  }
}

TEST(splitBusNameArg, Refusals) {
  struct Refusal {
    const char* value;
    BusNameSplit outcome;
  };
  const std::array<Refusal, 11> cases{{
      {"", BusNameSplit::MissingComma},
      {"192.0.2.62", BusNameSplit::MissingComma},
      {"192.0.2.62,3", BusNameSplit::MissingComma},
      // One comma only, even though the spill would find a "number" in the address.
      {"123456789012345678901234,5", BusNameSplit::MissingComma},
      {"192.0.2.62,,Bass", BusNameSplit::BadNumber},
      {"192.0.2.62,x,Bass", BusNameSplit::BadNumber},
      {"192.0.2.62,3x,Bass", BusNameSplit::BadNumber},
      {"192.0.2.62,+-3,Bass", BusNameSplit::BadNumber},
      {"192.0.2.62,99999999999,Bass", BusNameSplit::BadNumber},
      // The spilled separator leaves an empty number.
      {"123456789012345678901,7,Bass", BusNameSplit::BadNumber},
      {"192.0.2.62,-,Bass", BusNameSplit::BadNumber},
  }};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    BusNameRequest request{};
    EXPECT_EQ(splitBusNameArg(c.value, request, roomy), c.outcome);
  }
}

TEST(splitBusNameArg, NumberAsPercentD) {
  BusNameRequest request{};
  ASSERT_EQ(splitBusNameArg("192.0.2.62, +8,Bass", request, roomy), BusNameSplit::Ok);
  EXPECT_EQ(request.bus, 8);
  ASSERT_EQ(splitBusNameArg("192.0.2.62,-2147483648,Bass", request, roomy), BusNameSplit::Ok);
  EXPECT_STREQ(request.address, "/bus/-2147483648/name");
}

// "/bus/3/name" takes 12 bytes, the tag 4, and a name of n characters (n + 1) rounded up
// to a multiple of 4: with 32 bytes of room a 15-character name fits, 16 do not.
TEST(splitBusNameArg, NameMustFitTheMessage) {
  BusNameRequest request{};
  const std::string fits = "192.0.2.62,3," + std::string(15, 'n');
  const std::string tooLong = "192.0.2.62,3," + std::string(16, 'n');
  EXPECT_EQ(splitBusNameArg(fits.c_str(), request, 32), BusNameSplit::Ok);
  EXPECT_EQ(splitBusNameArg(tooLong.c_str(), request, 32), BusNameSplit::NameTooLong);
}

}  // namespace
