// The Windows zip as a user gets it: unpacked into an empty folder, its simulator and server
// started from there under wine, on loopback only, and the panel's three kinds of request
// answered. Its programs find no DLL of the build beside them, so this also shows they need
// none.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/e2e.h"
#include "tests/support/expected_replies.h"

namespace {

namespace fs = std::filesystem;
using testsupport::slurp;
using testsupport::textReply;

// Every file under `root`, as paths relative to it with '/' between folders.
std::set<std::string> filesUnder(const fs::path& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file())
      files.insert(entry.path().lexically_relative(root).generic_string());
  }
  return files;
}

class WindowsPackage : public testing::Test {
 protected:
  void SetUp() override {
    const std::string name = "velmora-" VELMORA_VERSION "-win64";
    const fs::path zip = testsupport::binDir().parent_path() / (name + ".zip");
    ASSERT_TRUE(fs::exists(zip)) << zip << " is missing: cpack --preset windows makes it";
    const std::string unpack = "cd '" + unpacked_.path().string() +
                               "' && '" CMAKE_COMMAND "' -E tar xf '" + zip.string() + "'";
    ASSERT_EQ(std::system(unpack.c_str()), 0) << unpack;
    folder_ = unpacked_.path() / name;
  }

  testsupport::TempDir unpacked_;
  fs::path folder_;
};

TEST_F(WindowsPackage, HoldsTheProgramsThePagesAndTheApps) {
  std::set<std::string> expected = {"Velmora.exe",
                                    "wingfader.exe",
                                    "Tessaro.exe",
                                    "consolesim.exe",
                                    "README.txt",
                                    "run.bat",
                                    "htdocs/apps/Quennet.exe",
                                    "htdocs/apps/Dravisk.exe",
                                    "htdocs/apps/Marlune.exe",
                                    "htdocs/apps/Scout.exe"};
  for (const std::string& page : filesUnder(testsupport::sourceDir() / "htdocs")) {
    expected.insert("htdocs/" + page);
  }
  EXPECT_EQ(filesUnder(folder_), expected);
  for (const char* text : {"README.txt", "run.bat"}) {
    SCOPED_TRACE(text);
    const std::string bytes = slurp(folder_ / text);
    ASSERT_FALSE(bytes.empty());
    // Windows line ends throughout, for Notepad and cmd.
    std::size_t bare = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
      bare += bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r');
    EXPECT_EQ(bare, 0u);
  }
}

TEST_F(WindowsPackage, ServesThePanelAndAnswersFromTheSimulator) {
  const auto sim =
      testsupport::startSimulator(folder_, "127.0.0.1", {}, folder_ / "consolesim.exe");
  const auto server =
      testsupport::startServer(folder_, {"-a", "127.0.0.1"}, folder_ / "Velmora.exe");
  auto request = [&](const std::string& method, const std::string& route, const std::string& body) {
    return testsupport::exchange(server.port, method + " " + route +
                                                  " HTTP/1.1\r\nContent-Length: " +
                                                  std::to_string(body.size()) + "\r\n\r\n" + body);
  };
  const std::string page = request("GET", "/", "");
  EXPECT_EQ(page.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << page.substr(0, 200);
  const std::string index = slurp(testsupport::sourceDir() / "htdocs/index.html");
  EXPECT_TRUE(page.size() > index.size() &&
              page.compare(page.size() - index.size(), index.size(), index) == 0);
  EXPECT_NE(
      request("POST", "/ServerPostOSC", "127.0.0.1,10023,/xinfo").find("/xinfo~~,ssss~~~127.0.0.1"),
      std::string::npos);
  EXPECT_EQ(request("POST", "/Dravisk", "127.0.0.1,5"), textReply("Ch 05"));
  // Scout asks the one address it is given (never the whole network, here).
  const std::string found = request("POST", "/Scout", "127.0.0.1");
  EXPECT_NE(found.find("\r\n\r\nWing\t127.0.0.1\t"), std::string::npos) << found;
  EXPECT_NE(found.find("\nX32\t127.0.0.1\t"), std::string::npos) << found;
}

// The names of this network namespace's interfaces (from /proc/net/dev).
std::set<std::string> interfaces() {
  std::istringstream table(slurp("/proc/net/dev"));
  std::set<std::string> names;
  std::string line;
  while (std::getline(table, line)) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::size_t first = line.find_first_not_of(' ');
    names.insert(line.substr(first, colon - first));
  }
  return names;
}

// The Wing tools search the LAN before anything else, and wine shares the host's network:
// they run here only where loopback is the only interface, which has no 255.255.255.0
// subnet, so the adapter list gives them nothing to search and they send nothing.
TEST_F(WindowsPackage, WingToolsFindNoWingWithoutALan) {
  if (interfaces() != std::set<std::string>{"lo"}) {
    GTEST_SKIP() << "runs only in a private network namespace with loopback alone";
  }
  for (const char* tool : {"wingfader.exe", "Tessaro.exe"}) {
    SCOPED_TRACE(tool);
    testsupport::Child child(folder_ / tool, {"-h"}, folder_);
    EXPECT_EQ(child.wait(), 255);
    EXPECT_EQ(child.out(), "Cannot find a Wing on the network\n");
  }
}

}  // namespace
