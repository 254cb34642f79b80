#include "platform/process.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

TEST(QuoteWindowsArgument, TheCommandLineSplitGivesTheTextBack) {
  struct Case {
    const char* text;
    const char* quoted;
  };
  const Case cases[] = {
      {"192.0.2.10,5", R"("192.0.2.10,5")"},
      {"", R"("")"},
      {"a b", R"("a b")"},
      {R"(say "hi")", R"("say \"hi\"")"},
      {R"(C:\dir\)", R"("C:\dir\\")"},  // backslashes before the closing quote double
      {R"(a\"b)", R"("a\\\"b")"},       // and those before a quote, plus its own escape
      {R"(a\\b)", R"("a\\b")"},         // elsewhere they stay as they are
      {R"(\\")", R"("\\\\\"")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    char out[64] = {};
    const std::size_t size = quoteWindowsArgument(c.text, out);
    EXPECT_EQ(size, quotedWindowsArgumentSize(c.text));
    EXPECT_EQ(std::string(out, size), c.quoted);
#ifdef _WIN32
    // The system's own split of a launch's command line gives the text back whole.
    const std::string line = std::string("app.exe -d ") + out;
    std::wstring wide(line.begin(), line.end());
    int count = 0;
    wchar_t** words = CommandLineToArgvW(wide.c_str(), &count);
    ASSERT_NE(words, nullptr);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(std::wstring(words[2]), std::wstring(c.text, c.text + std::strlen(c.text)));
    LocalFree(words);
#endif
  }
}

}  // namespace
