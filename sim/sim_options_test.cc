#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

std::string parse(std::vector<const char*> words, SimOptions& options) {
  return parseSimOptions(std::span<const char* const>(words.data(), words.size()), options);
}

}  // namespace

TEST(parseSimOptions, DefaultsMatchTheConsolesPorts) {
  SimOptions options;
  EXPECT_EQ(parse({}, options), "");
  EXPECT_EQ(options.address, "127.0.0.1");
  EXPECT_TRUE(options.x32 && options.wing);
  EXPECT_EQ(options.x32Port, 10023);
  EXPECT_EQ(options.wingDiscoveryPort, 2222);
  EXPECT_EQ(options.wingOscPort, 2223);
  EXPECT_FALSE(options.verbose || options.quiet || options.silent || options.help);
}

TEST(parseSimOptions, ReadsEveryOption) {
  SimOptions options;
  EXPECT_EQ(parse({"-a", "127.3.4.5", "-c", "wing", "-v", "-q", "--silent", "--x32-port", "0",
                   "--wing-discovery-port=2300", "--wing-osc-port", "65535"},
                  options),
            "");
  EXPECT_EQ(options.address, "127.3.4.5");
  EXPECT_FALSE(options.x32);
  EXPECT_TRUE(options.wing);
  EXPECT_TRUE(options.verbose && options.quiet && options.silent);
  EXPECT_EQ(options.x32Port, 0);
  EXPECT_EQ(options.wingDiscoveryPort, 2300);
  EXPECT_EQ(options.wingOscPort, 65535);
  SimOptions x32Only;
  EXPECT_EQ(parse({"-c", "x32"}, x32Only), "");
  EXPECT_TRUE(x32Only.x32 && !x32Only.wing);
}

TEST(parseSimOptions, RefusesBadWords) {
  struct Case {
    std::vector<const char*> words;
    const char* error;
  };
  const std::array<Case, 9> cases{{
      {{"-a"}, "-a needs a value"},
      {{"-a", "localhost"}, "-a takes a dotted IPv4 address, not 'localhost'"},
      {{"-a", "127.0.0.256"}, "-a takes a dotted IPv4 address, not '127.0.0.256'"},
      {{"-c", "all"}, "-c takes x32, wing or both, not 'all'"},
      {{"--x32-port", "65536"}, "--x32-port takes a port 0..65535, not '65536'"},
      {{"--x32-port", "-1"}, "--x32-port takes a port 0..65535, not '-1'"},
      {{"--wing-osc-port="}, "--wing-osc-port takes a port 0..65535, not ''"},
      {{"--x32-port", "12ab"}, "--x32-port takes a port 0..65535, not '12ab'"},
      {{"-x"}, "unknown option '-x'"},
  }};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    SimOptions options;
    EXPECT_EQ(parse(c.words, options), c.error);
  }
}

TEST(isDottedIPv4, AcceptsOnlyFourDecimalOctets) {
  const std::array<std::pair<const char*, bool>, 10> cases{{
      {"127.0.0.1", true},
      {"0.0.0.0", true},
      {"255.255.255.255", true},
      {"1.2.3", false},
      {"1.2.3.4.5", false},
      {"1.2.3.", false},
      {"01.2.3.4", false},
      {"1.2.3.4 ", false},
      {"1..3.4", false},
      {"1.2.3.1000", false},
  }};
  for (const auto& [text, valid] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(isDottedIPv4(text), valid);
  }
}
