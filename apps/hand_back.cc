#include "apps/hand_back.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/process.h"

std::string temporaryFileName(int processId) {
  return "htdocs/apps/tmp." + std::to_string(processId) + ".txt";
}

bool handBack(std::string_view text) {
  const std::string temporary = temporaryFileName(currentProcessId());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return false;
  bool whole = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  whole = std::fclose(file) == 0 && whole;
  if (whole && replaceFile(temporary.c_str(), appDataFile) == 0) return true;
  std::remove(temporary.c_str());
  return false;
}
