#include "server/file_cache.h"

#include <deque>
#include <string_view>
#include <unordered_map>

namespace {

struct Held {
  FileStamp stamp;
  std::shared_ptr<const std::string> bytes;
};

// Lookups by the path in the request's own buffer, without building a string for it.
struct PathHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
};

std::unordered_map<std::string, Held, PathHash, std::equal_to<>> held;
std::deque<std::string> ageOrder;  // paths in the order they were first held
std::size_t heldBytes = 0;

void forget(const std::string& path) {
  const auto at = held.find(path);
  if (at == held.end()) return;
  heldBytes -= at->second.bytes->size();
  held.erase(at);
}

}  // namespace

std::shared_ptr<const std::string> cachedFile(const char* path, const FileStamp& now) {
  const auto at = held.find(std::string_view(path));
  if (at == held.end() || !(at->second.stamp == now)) return nullptr;
  return at->second.bytes;
}

void keepFile(const char* path, const FileStamp& stamp, std::shared_ptr<const std::string> bytes) {
  if (!stamp.exact || !bytes || bytes->size() > cachedFileLimit) return;
  const auto at = held.find(std::string_view(path));
  if (at != held.end()) {
    heldBytes -= at->second.bytes->size();
    at->second = Held{stamp, std::move(bytes)};
    heldBytes += at->second.bytes->size();
    return;
  }
  while (heldBytes + bytes->size() > fileCacheCapacity && !ageOrder.empty()) {
    forget(ageOrder.front());
    ageOrder.pop_front();
  }
  heldBytes += bytes->size();
  held.emplace(path, Held{stamp, std::move(bytes)});
  ageOrder.emplace_back(path);
}
