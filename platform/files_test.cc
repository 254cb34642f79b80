#include "platform/files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

class Folder {
 public:
  Folder()
      : path_(fs::temp_directory_path() /
              ("velmora-files-" + std::to_string(std::random_device{}()))) {
    fs::create_directories(path_);
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string file(const char* name, const char* content = nullptr) const {
    const fs::path at = path_ / name;
    if (content != nullptr) std::ofstream(at, std::ios::binary) << content;
    return at.string();
  }

 private:
  fs::path path_;
};

std::string readWhole(const std::string& path) {
  FileReader file;
  if (!file.open(path.c_str())) return "<cannot open>";
  std::string text(static_cast<std::size_t>(file.size()), '\0');
  text.resize(static_cast<std::size_t>(file.readFully(text.data(), text.size())));
  return text;
}

TEST(replaceFile, ReplacesAFileAlreadyThere) {
  Folder folder;
  const std::string answer = folder.file("answer.txt", "first");
  ASSERT_EQ(replaceFile(folder.file("tmp1.txt", "second").c_str(), answer.c_str()), 0);
  EXPECT_EQ(readWhole(answer), "second");
  EXPECT_FALSE(fs::exists(folder.file("tmp1.txt")));
  EXPECT_EQ(replaceFile(folder.file("missing.txt").c_str(), answer.c_str()), -1);
  EXPECT_EQ(readWhole(answer), "second");
}

// The server may be sending the old answer, or have removed it while a send of it goes on,
// when an app hands back the next one.
TEST(replaceFile, WaitsForAReaderOfTheOldFile) {
  Folder folder;
  const std::string answer = folder.file("answer.txt", "old text\r\n");
  auto reader = std::make_unique<FileReader>();
  ASSERT_TRUE(reader->open(answer.c_str()));
  EXPECT_EQ(removeFile(answer.c_str()), 0);
  int replaced = 1;
  std::thread app(
      [&] { replaced = replaceFile(folder.file("tmp.txt", "new").c_str(), answer.c_str()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  char text[16] = {};
  EXPECT_EQ(reader->readFully(text, sizeof text), 10);
  EXPECT_EQ(std::string(text), "old text\r\n");
  reader.reset();
  app.join();
  EXPECT_EQ(replaced, 0);
  EXPECT_EQ(readWhole(answer), "new");
}

}  // namespace
