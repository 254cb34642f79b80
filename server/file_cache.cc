#include "server/file_cache.h"

#include <ctime>
#include <string_view>
#include <unordered_map>

#include "platform/folder_watch.h"

namespace {

struct Held {
  FileStamp stamp;
  std::shared_ptr<const std::string> bytes;
  std::time_t checked = 0;  // the second of the last stamp check
  bool watched = false;     // every folder on its path is watched
};

// Lookups by the path in the request's own buffer, without building a string for it.
struct PathHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
};

std::unordered_map<std::string, Held, PathHash, std::equal_to<>> held;
std::size_t heldBytes = 0;
FolderChanges folders;

// Watches every folder on `path` ("htdocs/a/b.html": "htdocs/a" and "htdocs"), so a folder
// renamed or replaced on the way to the file is seen too.
bool watchFoldersOf(std::string_view path) {
  bool all = true;
  for (std::size_t slash = path.rfind('/'); slash != std::string_view::npos && slash > 0;
       slash = path.rfind('/', slash - 1)) {
    all = folders.watch(std::string(path.substr(0, slash))) && all;
  }
  return all;
}

}  // namespace

std::shared_ptr<const std::string> trustedFile(const char* path) {
  const auto at = held.find(std::string_view(path));
  if (at == held.end() || !at->second.watched || at->second.checked != std::time(nullptr)) return nullptr;
  return at->second.bytes;
}

std::shared_ptr<const std::string> cachedFile(const char* path, const FileStamp& now) {
  const auto at = held.find(std::string_view(path));
  if (at == held.end() || !(at->second.stamp == now)) return nullptr;
  at->second.checked = std::time(nullptr);
  return at->second.bytes;
}

void keepFile(const char* path, const FileStamp& stamp, std::shared_ptr<const std::string> bytes) {
  if (!stamp.exact || !bytes || bytes->size() > cachedFileLimit) return;
  const Held fresh{stamp, std::move(bytes), std::time(nullptr), watchFoldersOf(path)};
  const auto at = held.find(std::string_view(path));
  if (at != held.end()) {
    heldBytes -= at->second.bytes->size();
    at->second = fresh;
    heldBytes += fresh.bytes->size();
    return;
  }
  // A site bigger than the cache keeps what fits; which pages go first hardly matters.
  while (heldBytes + fresh.bytes->size() > fileCacheCapacity && !held.empty()) {
    heldBytes -= held.begin()->second.bytes->size();
    held.erase(held.begin());
  }
  heldBytes += fresh.bytes->size();
  held.emplace(path, fresh);
}

int fileCacheWatch() { return folders.descriptor(); }

void forgetChangedFiles() {
  folders.take([](std::string_view folder) {
    // A change in a folder may touch anything below it (a sub-folder renamed, say).
    for (auto at = held.begin(); at != held.end();) {
      const std::string_view path = at->first;
      const bool below = folder.empty() || (path.size() > folder.size() && path.starts_with(folder) &&
                                            path[folder.size()] == '/');
      if (below) {
        heldBytes -= at->second.bytes->size();
        at = held.erase(at);
      } else {
        ++at;
      }
    }
  });
}
