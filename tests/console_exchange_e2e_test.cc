// PUT /ServerPutOSC and POST /ServerPostOSC end to end: the real server against scripted
// UDP peers (for exact bytes and odd replies) and against the console simulator.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/e2e.h"
#include "tests/support/expected_replies.h"
#include "tests/support/fake_console.h"
#include "tests/support/hex.h"

namespace {

using namespace std::chrono;

using testsupport::FakeConsole;
using testsupport::hex;
using testsupport::unhex;

using testsupport::Err;
using testsupport::OK;
using testsupport::OutMem;
using testsupport::textReply;

class ConsoleExchangeTest : public ::testing::Test {
 protected:
  void start(const std::vector<std::string>& args = {}) {
    server_ = testsupport::startServer(dir_.path(), args);
  }
  std::string put(const std::string& body) {
    return testsupport::exchange(server_.port, "PUT /ServerPutOSC HTTP/1.1\r\nContent-Length: " +
                                      std::to_string(body.size()) + "\r\n\r\n" + body);
  }
  std::string post(const std::string& body) {
    return testsupport::exchange(server_.port, "POST /ServerPostOSC HTTP/1.1\r\nContent-Length: " +
                                      std::to_string(body.size()) + "\r\n\r\n" + body);
  }
  std::string target(const FakeConsole& console) {
    return "127.0.0.1," + std::to_string(console.port()) + ",";
  }

  testsupport::TempDir dir_;
  testsupport::RunningServer server_;
};

TEST_F(ConsoleExchangeTest, PutSendsTheEncodedCommandOnce) {
  start();
  FakeConsole console;
  EXPECT_EQ(put(target(console) + "/main/1/fdr ,f 0.75"), OK);
  ASSERT_TRUE(console.waitFor(1));
  EXPECT_EQ(hex(console.received()[0]), "2F6D61696E2F312F66647200" "2C660000" "3F400000");
  EXPECT_EQ(put(target(console) + "/ch/1/name"), OK);
  ASSERT_TRUE(console.waitFor(2));
  EXPECT_EQ(console.received()[1], std::string("/ch/1/name\0\0", 12));
}

TEST_F(ConsoleExchangeTest, PostReturnsTheDecodedAnswerFramed) {
  start();
  FakeConsole console;
  console.answerWith({unhex("2F6D61696E2F312F66647200 2C660000 3F400000")});
  const std::string reply = post(target(console) + "/main/1/fdr");
  EXPECT_EQ(reply, textReply(std::string("/main/1/fdr~,f~~[0.7500]") + '\0'));
  ASSERT_TRUE(console.waitFor(1));
  EXPECT_EQ(console.received()[0], std::string("/main/1/fdr\0", 12));
}

TEST_F(ConsoleExchangeTest, SilenceAndEmptyAnswersGiveContentLengthZero) {
  start();
  struct Case {
    const char* name;
    std::vector<std::string> answers;
  };
  const std::array cases = {Case{"no answer", {}}, Case{"empty datagram", {std::string()}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeConsole console;
    console.answerWith(c.answers);
    const auto start = steady_clock::now();
    EXPECT_EQ(post(target(console) + "/xinfo"), textReply(""));
    const auto took = steady_clock::now() - start;
    if (c.answers.empty()) {
      EXPECT_GT(took, milliseconds(400));
      EXPECT_LT(took, milliseconds(2000));
    }
  }
  // Nobody at the port: the system's "unreachable" notice is no answer either, not an error.
  const std::string closed = "127.0.0.1," + std::to_string(testsupport::freeUdpPort()) + ",";
  EXPECT_EQ(post(closed + "/xinfo"), textReply(""));
}

TEST_F(ConsoleExchangeTest, OnlyTheFirstOfTwoAnswersIsDecoded) {
  start();
  FakeConsole console;
  console.answerWith({std::string("/one\0\0\0\0", 8), std::string("/two\0\0\0\0", 8)});
  EXPECT_EQ(post(target(console) + "/x"), textReply(std::string("/one~~~~") + '\0'));
  // The second datagram went with the request's socket: the next request sees its own.
  console.answerWith({std::string("/three\0\0", 8)});
  EXPECT_EQ(post(target(console) + "/x"), textReply(std::string("/three~~") + '\0'));
}

TEST_F(ConsoleExchangeTest, BodiesThatCannotNameAConsoleAreRefused) {
  start();
  FakeConsole console;
  const std::string port = std::to_string(console.port());
  for (const std::string& body :
       {std::string(""), std::string("127.0.0.1"), "127.0.0.1," + port,
        std::string("127.0.0.1,,/x"), std::string("127.0.0.1,0,/x"),
        std::string("127.0.0.1,70000,/x"), std::string("127.0.0.1,65536,/x"),
        std::string("127.0.0.1,port,/x"), std::string("255.255.255.255,9,/x")}) {
    SCOPED_TRACE(body);
    EXPECT_EQ(put(body), Err);
    EXPECT_EQ(post(body), Err);
  }
  EXPECT_FALSE(console.waitFor(1, milliseconds(200)));
}

TEST_F(ConsoleExchangeTest, FieldLimitsSpillAsDocumented) {
  start();
  FakeConsole console;
  const std::string port = std::to_string(console.port());
  // 20-character address, then the port in the field after it.
  EXPECT_EQ(put("127.000.000.00000001," + port + ",/a"), OK);
  ASSERT_TRUE(console.waitFor(1));
  // 21st address character is eaten as the separator.
  EXPECT_EQ(put("127.000.000.00000001X" + port + ",/b"), OK);
  ASSERT_TRUE(console.waitFor(2));
  // A 7th port character is eaten too and the command starts after it.
  const std::string sixPort = std::string(6 - port.size(), '0') + port;
  EXPECT_EQ(put("127.0.0.1," + sixPort + "X/c"), OK);
  ASSERT_TRUE(console.waitFor(3));
  const auto got = console.received();
  EXPECT_EQ(got[0], std::string("/a\0\0", 4));
  EXPECT_EQ(got[1], std::string("/b\0\0", 4));
  EXPECT_EQ(got[2], std::string("/c\0\0", 4));
}

TEST_F(ConsoleExchangeTest, CommandTooLargeForTheBufferIsOutMem) {
  start({"-s", "512"});
  FakeConsole console;
  // Five int tags with no text need 4 bytes each beyond the text: fits. Four hundred do not.
  EXPECT_EQ(put(target(console) + "/x ,iiiii"), OK);
  EXPECT_EQ(put(target(console) + "/x ," + std::string(400, 'i')), OutMem);
  EXPECT_EQ(post(target(console) + "/x ," + std::string(400, 'i')), OutMem);
  ASSERT_TRUE(console.waitFor(1));
  EXPECT_FALSE(console.waitFor(2, milliseconds(200)));
}

TEST_F(ConsoleExchangeTest, LongAnswerIsCutToTheBuffer) {
  start({"-s", "256"});
  FakeConsole console;
  std::string longAnswer = "/x";
  longAnswer.append(998, 'y');
  console.answerWith({longAnswer});
  const std::string reply = post(target(console) + "/x");
  const std::string text = std::string("/x") + std::string(254, 'y');
  EXPECT_EQ(reply, textReply(text.substr(0, 255) + '\0'));
}

TEST_F(ConsoleExchangeTest, NoDescriptorIsLeftBehind) {
  start();
  FakeConsole console;
  console.answerWith({std::string("/ok\0", 4)});
  post(target(console) + "/x");
  const int before = testsupport::openDescriptors(server_.child->pid());
  FakeConsole silent;
  for (int i = 0; i < 200; ++i) {
    switch (i % 5) {
      case 0: put(target(console) + "/x ,i 1"); break;
      case 1: post(target(console) + "/x"); break;
      case 2: put("127.0.0.1,70000,/x"); break;
      case 3: put("255.255.255.255,9,/x"); break;
      case 4: put(target(console) + "/x ," + std::string(5000, 'i')); break;
    }
  }
  post(target(silent) + "/x");
  EXPECT_EQ(testsupport::openDescriptors(server_.child->pid()), before);
}

// The simulator as the console: a PUT changes its state, a POST reads it back.
TEST(ConsoleExchangeWithSimulator, PutChangesStateThatPostReadsBack) {
  testsupport::TempDir dir;
  const std::string address = "127.0.41.7";
  testsupport::Child sim(testsupport::program("consolesim"), {"-a", address, "-c", "x32"},
                         dir.path());
  auto server = testsupport::startServer(dir.path());
  auto post = [&](const std::string& command) {
    const std::string body = address + ",10023," + command;
    return testsupport::exchange(server.port, "POST /ServerPostOSC HTTP/1.1\r\nContent-Length: " +
                                     std::to_string(body.size()) + "\r\n\r\n" + body);
  };
  // Wait for the simulator to answer at all.
  std::string first;
  for (int i = 0; i < 20 && first.find("/xinfo") == std::string::npos; ++i) first = post("/xinfo");
  ASSERT_NE(first.find("/xinfo~~,ssss"), std::string::npos) << first;

  const std::string body = address + ",10023,/ch/05/config/name ,s 'Lead Vox'";
  EXPECT_EQ(testsupport::exchange(server.port, "PUT /ServerPutOSC HTTP/1.1\r\n\r\n" + body), OK);
  EXPECT_EQ(post("/ch/05/config/name"),
            textReply(std::string("/ch/05/config/name~~,s~~Lead Vox~~~~") + '\0'));
  EXPECT_EQ(testsupport::exchange(server.port, "PUT /ServerPutOSC HTTP/1.1\r\n\r\n" + address +
                                      ",10023,/ch/05/mix/fader ,f 0.5"),
            OK);
  EXPECT_EQ(post("/ch/05/mix/fader"), textReply(std::string("/ch/05/mix/fader~~~~,f~~[0.5000]") + '\0'));
}

}  // namespace
