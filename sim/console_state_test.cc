#include "sim/console_state.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>

namespace {

OscArgument text(std::string_view value) {
  OscArgument argument;
  argument.type = 's';
  argument.text = value;
  return argument;
}

OscArgument level(float value) {
  OscArgument argument;
  argument.type = 'f';
  argument.number = value;
  return argument;
}

struct Known {
  const char* address;
  char type;
  const char* text;
  float number;
};

}  // namespace

TEST(ConsoleState, DefaultsCoverEveryAddressAndNoMore) {
  const ConsoleState x32 = ConsoleState::x32();
  const ConsoleState wing = ConsoleState::wing();
  const std::array<Known, 9> known{{
      {"/ch/01/config/name", 's', "Ch 01", 0},
      {"/ch/32/config/name", 's', "Ch 32", 0},
      {"/bus/16/config/name", 's', "Bus 16", 0},
      {"/ch/07/mix/fader", 'f', "", 0.75f},
      {"/ch/1/name", 's', "CH 1", 0},
      {"/ch/40/name", 's', "CH 40", 0},
      {"/bus/16/name", 's', "BUS 16", 0},
      {"/main/1/fdr", 'f', "", 0.0f},
      {"/ch/40/fdr", 'f', "", 0.0f},
  }};
  for (std::size_t i = 0; i < known.size(); ++i) {
    SCOPED_TRACE(known[i].address);
    const StateValue* value = (i < 4 ? x32 : wing).find(known[i].address);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, known[i].type);
    EXPECT_EQ(value->text, known[i].text);
    EXPECT_EQ(value->number, known[i].number);
  }
  const std::array<const char*, 7> x32Unknown{
      "/ch/00/config/name", "/ch/33/config/name", "/bus/17/config/name", "/ch/1/config/name",
      "/ch/01/config/name/", "", "/ch/33/mix/fader"};
  for (const char* address : x32Unknown) {
    SCOPED_TRACE(address);
    EXPECT_EQ(x32.find(address), nullptr);
  }
  const std::array<const char*, 6> wingUnknown{"/ch/0/name", "/ch/41/name", "/bus/17/name",
                                               "/ch/01/name", "/main/2/fdr", "/ch/41/fdr"};
  for (const char* address : wingUnknown) {
    SCOPED_TRACE(address);
    EXPECT_EQ(wing.find(address), nullptr);
  }
  EXPECT_EQ(x32.find("/main/1/fdr"), nullptr);  // each console keeps only its own tree
  EXPECT_EQ(wing.find("/ch/01/config/name"), nullptr);
}

TEST(ConsoleState, SetStoresChecksTypeAndBounds) {
  struct SetCase {
    const char* address;
    OscArgument argument;
    SetResult result;
    const char* text;
    float number;
  };
  const std::string longName(40, 'x');
  const std::array<SetCase, 9> cases{{
      {"/ch/05/config/name", text("Kick"), SetResult::Stored, "Kick", 0},
      {"/ch/05/config/name", text(""), SetResult::Stored, "", 0},
      {"/ch/05/config/name", text(longName), SetResult::Shortened, "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", 0},
      {"/ch/05/config/name", level(0.5f), SetResult::WrongType, "Ch 05", 0},
      {"/ch/05/mix/fader", level(0.25f), SetResult::Stored, "", 0.25f},
      {"/ch/05/mix/fader", level(1.5f), SetResult::Clamped, "", 1.0f},
      {"/ch/05/mix/fader", level(-0.1f), SetResult::Clamped, "", 0.0f},
      {"/ch/05/mix/fader", level(std::numeric_limits<float>::quiet_NaN()), SetResult::NotFinite, "", 0.75f},
      {"/ch/05/mix/fader", text("0.5"), SetResult::WrongType, "", 0.75f},
  }};
  for (const SetCase& c : cases) {
    SCOPED_TRACE(std::string(c.address) + " " + std::string(setResultText(c.result)));
    ConsoleState state = ConsoleState::x32();
    EXPECT_EQ(state.set(c.address, c.argument), c.result);
    const StateValue* value = state.find(c.address);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->text, c.text);
    EXPECT_EQ(value->number, c.number);
  }
}

TEST(ConsoleState, WingLevelsAndNamesKeepTheirOwnLimits) {
  ConsoleState wing = ConsoleState::wing();
  EXPECT_EQ(wing.set("/main/1/fdr", level(-10.0f)), SetResult::Stored);
  EXPECT_EQ(wing.find("/main/1/fdr")->number, -10.0f);
  EXPECT_EQ(wing.set("/main/1/fdr", level(-200.0f)), SetResult::Clamped);
  EXPECT_EQ(wing.find("/main/1/fdr")->number, -144.0f);
  EXPECT_EQ(wing.set("/main/1/fdr", level(std::numeric_limits<float>::infinity())),
            SetResult::NotFinite);
  EXPECT_EQ(wing.find("/main/1/fdr")->number, -144.0f);

  const std::string name63(63, 'n');
  EXPECT_EQ(wing.set("/bus/3/name", text(name63)), SetResult::Stored);
  EXPECT_EQ(wing.set("/bus/3/name", text(name63 + "!")), SetResult::Shortened);
  EXPECT_EQ(wing.find("/bus/3/name")->text, name63);
  EXPECT_EQ(wing.set("/bus/17/name", text("Bass")), SetResult::UnknownAddress);
  EXPECT_EQ(wing.find("/bus/17/name"), nullptr);  // a set never creates an address
}

TEST(cutName, NeverSplitsAUtf8Sequence) {
  struct CutCase {
    std::string_view text;
    std::size_t limit;
    std::string_view kept;
  };
  const std::array<CutCase, 5> cases{{
      {"abcdef", 4, "abcd"},
      {"abc", 3, "abc"},
      {"ab\xC3\xA9z", 3, "ab"},          // é would be cut in half: dropped whole
      {"ab\xC3\xA9z", 4, "ab\xC3\xA9"},  // é fits
      {"a\xE2\x82\xAC", 3, "a"},         // € is three bytes
  }};
  for (const CutCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(cutName(c.text, c.limit), c.kept);
  }
}
