#include "sim/console_responder.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/support/hex.h"

using testsupport::hex;
using testsupport::unhex;

namespace {

struct Consoles {
  ConsoleState x32 = ConsoleState::x32();
  ConsoleState wing = ConsoleState::wing();

  Response send(Endpoint endpoint, std::string_view requestHex) {
    const std::string request = unhex(requestHex);
    const std::vector<unsigned char> bytes(request.begin(), request.end());
    return respond(endpoint, endpoint == Endpoint::X32 ? x32 : wing, bytes, "127.0.0.2");
  }
};

struct Exchange {
  const char* name;
  Endpoint endpoint;
  const char* request;
  const char* reply;  // hex; empty when nothing is answered
  bool ignored;
};

}  // namespace

TEST(respond, AnswersQueriesAndIgnoresWhatItCannotRead) {
  const std::array<Exchange, 13> exchanges{{
      {"xinfo", Endpoint::X32, "2F78696E 666F0000",
       "2F78696E 666F0000 2C737373 73000000 3132372E 302E302E 32000000 636F6E73 6F6C6573"
       "696D0000 58333200 312E3000",
       false},
      {"x32 channel name, name at offset 24", Endpoint::X32,
       "2F63682F 30312F63 6F6E6669 672F6E61 6D650000",
       "2F63682F 30312F63 6F6E6669 672F6E61 6D650000 2C730000 43682030 31000000", false},
      {"x32 bus name", Endpoint::X32, "2F627573 2F30352F 636F6E66 69672F6E 616D6500",
       "2F627573 2F30352F 636F6E66 69672F6E 616D6500 2C730000 42757320 30350000", false},
      {"x32 fader", Endpoint::X32, "2F63682F 30372F6D 69782F66 61646572 00000000",
       "2F63682F 30372F6D 69782F66 61646572 00000000 2C660000 3F400000", false},
      {"wing channel name, name at offset 16", Endpoint::WingOsc, "2F63682F 312F6E61 6D650000",
       "2F63682F 312F6E61 6D650000 2C730000 43482031 00000000", false},
      {"wing main fader", Endpoint::WingOsc, "2F6D6169 6E2F312F 66647200",
       "2F6D6169 6E2F312F 66647200 2C660000 00000000", false},
      {"x32 unknown channel", Endpoint::X32, "2F63682F 33332F63 6F6E6669 672F6E61 6D650000", "",
       true},
      {"wing has no xinfo", Endpoint::WingOsc, "2F78696E 666F0000", "", true},
      {"x32 fed a discovery query", Endpoint::X32, "57494E47 3F000000", "", true},
      {"x32 set answers nothing", Endpoint::X32,
       "2F63682F 30312F63 6F6E6669 672F6E61 6D650000 2C730000 4B69636B 00000000", "", false},
      {"x32 wrong type for a name", Endpoint::X32,
       "2F63682F 30312F63 6F6E6669 672F6E61 6D650000 2C690000 00000001", "", true},
      {"two arguments", Endpoint::WingOsc, "2F6D6169 6E2F312F 66647200 2C666600 00000000 00000000",
       "", true},
      {"discovery query cut to 5 bytes", Endpoint::WingDiscovery, "57494E47 3F", "", true},
  }};
  for (const Exchange& e : exchanges) {
    SCOPED_TRACE(e.name);
    Consoles consoles;
    const Response response = consoles.send(e.endpoint, e.request);
    EXPECT_EQ(hex(response.reply), hex(unhex(e.reply)));
    EXPECT_EQ(response.ignored, e.ignored);
    EXPECT_FALSE(response.note.empty());
  }
}

TEST(respond, DiscoveryReportsTheOwnAddress) {
  Consoles consoles;
  const Response response = consoles.send(Endpoint::WingDiscovery, "57494E47 3F000000");
  EXPECT_EQ(response.reply, "WING,127.0.0.2,consolesim,NGC-FULL,SIM000001,1.0");
  EXPECT_FALSE(response.ignored);
}

TEST(respond, SetThenQueryReadsTheNewValue) {
  Consoles consoles;
  // The bus-name tool's message: /bus/3/name ,s "Bass".
  EXPECT_EQ(consoles.send(Endpoint::WingOsc,
                          "2F627573 2F332F6E 616D6500 2C730000 42617373 00000000")
                .reply,
            "");
  EXPECT_EQ(hex(consoles.send(Endpoint::WingOsc, "2F627573 2F332F6E 616D6500").reply),
            hex(unhex("2F627573 2F332F6E 616D6500 2C730000 42617373 00000000")));
  // The fader tool's message: /main/1/fdr ,f -10.0.
  consoles.send(Endpoint::WingOsc, "2F6D6169 6E2F312F 66647200 2C660000 C1200000");
  EXPECT_EQ(hex(consoles.send(Endpoint::WingOsc, "2F6D6169 6E2F312F 66647200").reply),
            hex(unhex("2F6D6169 6E2F312F 66647200 2C660000 C1200000")));
  // The two consoles keep separate trees: the X32's channel 1 is untouched.
  consoles.send(Endpoint::WingOsc, "2F63682F 312F6E61 6D650000 2C730000 566F7800");
  EXPECT_EQ(consoles.x32.find("/ch/01/config/name")->text, "Ch 01");
  EXPECT_EQ(consoles.wing.find("/ch/1/name")->text, "Vox");
}
