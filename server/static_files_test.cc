#include "server/static_files.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <regex>
#include <string>

namespace {

struct RouteCase {
  const char* route;
  int result;
  const char* fileURL;
};

TEST(getFileURL, MapsRoutesIntoTheDocumentRoot) {
  const std::string longRoute = "/" + std::string(120, 'a');
  const std::string fitting = "/" + std::string(115, 'b') + ".html";  // htdocs + 121 = 127
  const std::string oneOver = "/" + std::string(116, 'b') + ".html";
  const std::array cases = {
      RouteCase{"/", 0, "htdocs/index.html"},
      RouteCase{"/apps/", 0, "htdocs/apps/index.html"},
      RouteCase{"/style.css?v=2", 0, "htdocs/style.css"},
      RouteCase{"/mixer", 0, "htdocs/mixer.html"},
      RouteCase{"/lib.d/readme", 0, "htdocs/lib.d/readme"},
      RouteCase{"/page?x=1", 0, "htdocs/page.html"},
      RouteCase{"/a?b?c", 0, "htdocs/a?b.html"},
      RouteCase{"x.html", 0, "htdocsx.html"},
      RouteCase{"/dir/?q=/", 0, "htdocs/dir/index.html"},
      RouteCase{"/%20x", 0, "htdocs/%20x.html"},
      RouteCase{longRoute.c_str(), -1, ""},
      RouteCase{fitting.c_str(), 0, nullptr},
      RouteCase{oneOver.c_str(), -1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.route);
    char route[128] = {};
    std::strncpy(route, c.route, sizeof route - 1);
    char fileURL[128];
    std::memset(fileURL, 'Z', sizeof fileURL);
    EXPECT_EQ(getFileURL(route, fileURL), c.result);
    if (c.fileURL != nullptr) {
      EXPECT_STREQ(fileURL, c.fileURL);
    }
    EXPECT_LT(std::strlen(fileURL), sizeof fileURL);
  }
}

TEST(getFileURL, TrailingSlashNeedsRoomInTheRoute) {
  char route[128];
  std::string r = "/" + std::string(120, 'c') + "/";  // 122 + "index.html" > 127
  std::strcpy(route, r.c_str());
  char fileURL[128];
  EXPECT_EQ(getFileURL(route, fileURL), -1);
  EXPECT_STREQ(fileURL, "");
}

struct MimeCase {
  const char* path;
  const char* type;
};

TEST(getMimeType, ChoosesByLastExtensionWithCase) {
  const std::array cases = {
      MimeCase{"htdocs/index.html", "text/html"},  MimeCase{"htdocs/a.css", "text/css"},
      MimeCase{"htdocs/app.js", "application/js"}, MimeCase{"htdocs/p.jpg", "image/jpeg"},
      MimeCase{"htdocs/p.gif", "image/gif"},       MimeCase{"htdocs/p.bmp", "image/bmp"},
      MimeCase{"htdocs/p.webp", "image/webp"},     MimeCase{"htdocs/doc.pdf", "image/pdf"},
      MimeCase{"htdocs/p.png", "image/png"},       MimeCase{"htdocs/p.tif", "image/tiff"},
      MimeCase{"htdocs/p.tiff", "image/tiff"},     MimeCase{"htdocs/logo.PNG", "text/html"},
      MimeCase{"htdocs/photo.jpeg", "text/html"},  MimeCase{"htdocs/a.txt", "text/html"},
      MimeCase{"htdocs/a.svg", "text/html"},       MimeCase{"htdocs/noext", "text/html"},
      MimeCase{"htdocs/lib.d/readme", "text/html"}, MimeCase{"htdocs/a.css.map", "text/html"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    char type[32];
    std::memset(type, 'Z', sizeof type);
    getMimeType(c.path, type);
    EXPECT_STREQ(type, c.type);
  }
}

TEST(getTimeString, FormatsLocalTimeInThePosixLocale) {
  char buf[100];
  const int n = getTimeString(buf, sizeof buf);
  EXPECT_EQ(n, static_cast<int>(std::strlen(buf)));
  EXPECT_TRUE(std::regex_match(
      buf, std::regex(R"((Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-3][0-9] )"
                      R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} )"
                      R"([0-2][0-9]:[0-5][0-9]:[0-6][0-9])")))
      << buf;
  char tiny[8];
  EXPECT_EQ(getTimeString(tiny, sizeof tiny), 7);
  EXPECT_EQ(std::string(tiny), std::string(buf, 7));
}

TEST(hasParentSegment, FindsDotDotSegmentsOnly) {
  struct Case {
    const char* path;
    bool parent;
  };
  const std::array cases = {
      Case{"htdocs/../etc/passwd", true}, Case{"htdocs/a/..", true},
      Case{"htdocs/..\\x", true},         Case{"..", true},
      Case{"htdocs/a..b.html", false},    Case{"htdocs/...", false},
      Case{"htdocs/.hidden", false},      Case{"htdocs/index.html", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(hasParentSegment(c.path), c.parent);
  }
}

}  // namespace
