#include "server/http_request.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "server/server_state.h"

namespace {

struct CompletionCase {
  const char* name;
  std::string received;
  bool complete;
};

TEST(requestIsComplete, WaitsForHeaderEndAndDeclaredBody) {
  const std::array cases = {
      CompletionCase{"header not ended", "GET / HTTP/1.1\r\nHost: x\r\n", false},
      CompletionCase{"header ended, no body", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", true},
      CompletionCase{"hand-typed LF only", "GET / HTTP/1.0\n\n", true},
      CompletionCase{"body still coming", "PUT /a HTTP/1.1\r\nContent-Length: 10\r\n\r\n12345", false},
      CompletionCase{"body whole", "PUT /a HTTP/1.1\r\nContent-Length: 5\r\n\r\n12345", true},
      CompletionCase{"header name in any case", "PUT /a HTTP/1.1\r\ncontent-LENGTH:3\r\n\r\nab", false},
      CompletionCase{"zero length", "POST /a HTTP/1.1\r\nContent-Length: 0\r\n\r\n", true},
      CompletionCase{"no length: body is what came", "PUT /a HTTP/1.1\r\n\r\nxyz", true},
      CompletionCase{"length in the body is not a header",
                     "PUT /a HTTP/1.1\r\n\r\nContent-Length: 99\r\n", true},
      CompletionCase{"unreadable length counts as none", "PUT /a HTTP/1.1\r\nContent-Length: x\r\n\r\n", true},
      CompletionCase{"a length no long can hold still waits",
                     "PUT /a HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\nab", false},
      CompletionCase{"hand-typed with a body", "PUT /a HTTP/1.0\nContent-Length: 2\n\nab", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(requestIsComplete(c.received), c.complete);
  }
}

struct SplitCase {
  const char* text;
  bool ok;
  const char* method;
  const char* route;
  const char* body;
};

TEST(splitRequestLine, SplitsWordsAndFindsBodyInPlace) {
  const std::array cases = {
      SplitCase{"GET /index.html HTTP/1.1\r\n\r\n", true, "GET", "/index.html", ""},
      SplitCase{"PUT /ServerPutOSC HTTP/1.1\r\nX: y\r\n\r\n1.2.3.4,5,/x", true, "PUT",
                "/ServerPutOSC", "1.2.3.4,5,/x"},
      SplitCase{"POST /a HTTP/1.1\r\n", true, "POST", "/a", ""},
      SplitCase{"ABCDEFGHIJKLMNOPQRS /x", true, "ABCDEFGHIJKLMNO", "PQRS", ""},
      SplitCase{"GET", false, "GET", "", ""},
      SplitCase{"", false, "", "", ""},
      SplitCase{"GET /a\r\n\r\nfirst\r\n\r\nsecond", true, "GET", "/a", "first\r\n\r\nsecond"},
      SplitCase{"PUT /a HTTP/1.0\nContent-Length: 2\n\nab", true, "PUT", "/a", "ab"},
      SplitCase{"PUT /a\n\nab\r\n\r\ncd", true, "PUT", "/a", "ab\r\n\r\ncd"},
  };
  std::array<char, 256> buffer{};
  request = buffer.data();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::strcpy(request, c.text);
    reqlen = static_cast<int>(std::strlen(c.text));
    EXPECT_EQ(splitRequestLine(), c.ok);
    EXPECT_STREQ(method, c.method);
    EXPECT_STREQ(route, c.route);
    EXPECT_STREQ(findBody(), c.body);
  }
  request = nullptr;
}

// The scan is sscanf's "%15s %127s" written out; on any text both must read the same words.
TEST(splitRequestLine, ReadsWhatScanfWouldRead) {
  constexpr char alphabet[] = " \t\n\v\f\rGET/x?.";
  std::mt19937 random(7);
  std::array<char, 512> buffer{};
  request = buffer.data();
  for (int round = 0; round < 3000; ++round) {
    const std::size_t length = random() % 300;
    for (std::size_t i = 0; i < length; ++i) buffer[i] = alphabet[random() % (sizeof alphabet - 1)];
    buffer[length] = '\0';
    reqlen = static_cast<int>(length);
    char scannedMethod[16] = {};
    char scannedRoute[128] = {};
    const bool scanned = std::sscanf(request, "%15s %127s", scannedMethod, scannedRoute) == 2;
    SCOPED_TRACE(std::string(request));
    EXPECT_EQ(splitRequestLine(), scanned);
    EXPECT_STREQ(method, scannedMethod);
    EXPECT_STREQ(route, scannedRoute);
  }
  request = nullptr;
}

TEST(splitRequestLine, CutsAnOverlongRouteAt127) {
  std::string text = "GET /" + std::string(200, 'a') + " HTTP/1.1\r\n\r\n";
  std::array<char, 512> buffer{};
  request = buffer.data();
  std::strcpy(request, text.c_str());
  reqlen = static_cast<int>(text.size());
  ASSERT_TRUE(splitRequestLine());
  EXPECT_EQ(std::strlen(route), 127u);
  request = nullptr;
}

}  // namespace
