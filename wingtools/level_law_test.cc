#include "wingtools/level_law.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

struct LevelCase {
  float position;
  float level;      // expected level
  float tolerance;  // 0: the exact float
};

TEST(Lin2dB, EverySegmentAndLimit) {
  constexpr float nan = std::numeric_limits<float>::quiet_NaN();
  const std::array<LevelCase, 14> cases{{
      {0.0f, -144.0f, 0},
      {0.01f, -144.0f, 0},  // the float nearest 0.01 lies below the limit
      {0.011f, -84.72f, 0.001f},
      {0.05f, -66.0f, 0},
      {0.0625f, -60.0f, 0},  // still the lowest segment: 0.0625 < 0.062561095
      {0.25f, -30.0f, 0},
      {0.5f, -10.0f, 0},
      {0.75f, 0.0f, 0},
      {0.98f, 9.2f, 0.001f},
      {0.99f, 10.0f, 0},  // the float nearest 0.99 lies above the limit
      {1.0f, 10.0f, 0},
      {2.0f, 10.0f, 0},
      {-1.0f, -144.0f, 0},
      {nan, 10.0f, 0},
  }};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "position " << c.position);
    const float level = Lin2dB(c.position);
    if (c.tolerance == 0) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(level), std::bit_cast<std::uint32_t>(c.level))
          << level;
    } else {
      EXPECT_NEAR(level, c.level, c.tolerance);
    }
  }
}

// On each side of every inner limit the neighbouring segment's line applies; the values
// differ enough at the limits to tell which one was taken.
TEST(Lin2dB, InnerLimitsPickTheSegment) {
  struct Limit {
    double limit;
    double below;  // level of the lower segment at the limit
    double above;  // level of the upper segment at the limit
  };
  const std::array<Limit, 3> limits{{
      {0.062561095, 480 * 0.062561095 - 90, 160 * 0.062561095 - 70},
      {0.250244379, 160 * 0.250244379 - 70, 80 * 0.250244379 - 50},
      {0.500488759, 80 * 0.500488759 - 50, 40 * 0.500488759 - 30},
  }};
  for (const auto& l : limits) {
    SCOPED_TRACE(testing::Message() << "limit " << l.limit);
    float justBelow = static_cast<float>(l.limit);
    while (static_cast<double>(justBelow) >= l.limit) justBelow = std::nextafter(justBelow, 0.0f);
    const float atOrAbove = std::nextafter(justBelow, 1.0f);
    EXPECT_NEAR(Lin2dB(justBelow), l.below, 1e-3);
    EXPECT_NEAR(Lin2dB(atOrAbove), l.above, 1e-3);
  }
  // The jumps at both ends are part of the law.
  EXPECT_NEAR(Lin2dB(std::nextafter(0.01f, 1.0f)), -85.2, 0.01);
  EXPECT_NEAR(Lin2dB(std::nextafter(0.99f, 0.0f)), 9.6, 0.01);
}

TEST(Lin2dB, TopAndMiddleBytesOnTheWire) {
  EXPECT_EQ(std::bit_cast<std::uint32_t>(Lin2dB(1.0f)), 0x41200000u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(Lin2dB(0.75f)), 0x00000000u);
}

TEST(readFaderPosition, AcceptsNumbersOnly) {
  struct Case {
    const char* text;
    bool accepted;
    float position;
  };
  const std::array<Case, 14> cases{{
      {"0.75", true, 0.75f},
      {"1", true, 1.0f},
      {"-1", true, -1.0f},
      {" 0.5 ", true, 0.5f},
      {"2.5e-1", true, 0.25f},
      {"", false, 0},
      {"abc", false, 0},
      {"0.5x", false, 0},
      {"nan", false, 0},
      {"NaN", false, 0},
      {"-nan", false, 0},
      {"inf", false, 0},
      {"-infinity", false, 0},
      {"1e999", false, 0},
  }};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    float position = 123.0f;
    EXPECT_EQ(readFaderPosition(c.text, position), c.accepted);
    EXPECT_EQ(position, c.accepted ? c.position : 123.0f);
  }
}

}  // namespace
