#include "apps/hand_back.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the test body in a scratch working directory, as the server runs its apps.
class HandBack : public testing::Test {
 protected:
  void SetUp() override {
    before_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("velmora-hand-back-" + std::to_string(std::random_device()()));
    ASSERT_TRUE(fs::create_directory(dir_));
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(before_);
    fs::remove_all(dir_);
  }

  fs::path dir_;
  fs::path before_;
};

TEST(TemporaryFileName, OneOfItsOwnPerProcessBesideTheDataFile) {
  EXPECT_EQ(temporaryFileName(4242), "htdocs/apps/tmp.4242.txt");
  EXPECT_NE(temporaryFileName(1), temporaryFileName(11));
  EXPECT_NE(temporaryFileName(4242), appDataFile);
}

TEST_F(HandBack, ReplacesTheDataFileWholeAndLeavesNoTemporaryFile) {
  fs::create_directories("htdocs/apps");
  std::ofstream(appDataFile) << "an earlier, longer answer";
  for (const std::string text : {"Wing\t127.0.0.1\tdesk\tNGC-FULL\t1.0\n", ""}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(handBack(text));
    EXPECT_EQ(slurp(appDataFile), text);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator("htdocs/apps"), fs::directory_iterator()), 1);
}

TEST_F(HandBack, FailsWithoutTheAppsFolder) {
  EXPECT_FALSE(handBack("x"));
  EXPECT_FALSE(fs::exists("htdocs"));
}

}  // namespace
