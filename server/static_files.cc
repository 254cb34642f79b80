#include "server/static_files.h"

#include <array>
#include <cstring>
#include <ctime>
#include <string_view>

#include "platform/files.h"
#include "server/file_cache.h"
#include "server/http_replies.h"
#include "server/server_state.h"

namespace {

constexpr std::size_t pathRoom = 128;
constexpr std::string_view documentRoot = "htdocs";

struct MimeType {
  std::string_view extension;
  const char* type;
};

constexpr std::array mimeTypes = {
    MimeType{".html", "text/html"},  MimeType{".css", "text/css"},
    MimeType{".js", "application/js"}, MimeType{".jpg", "image/jpeg"},
    MimeType{".gif", "image/gif"},   MimeType{".bmp", "image/bmp"},
    MimeType{".webp", "image/webp"}, MimeType{".pdf", "image/pdf"},
    MimeType{".png", "image/png"},   MimeType{".tif", "image/tiff"},
    MimeType{".tiff", "image/tiff"},
};

std::tm localNow(std::time_t now) {
  std::tm parts{};
#ifdef _WIN32
  localtime_s(&parts, &now);
#else
  localtime_r(&now, &parts);
#endif
  return parts;
}

}  // namespace

int getFileURL(char* route, char* fileURL) {
  fileURL[0] = '\0';
  if (char* query = std::strrchr(route, '?')) *query = '\0';
  std::size_t length = std::strlen(route);
  if (length > 0 && route[length - 1] == '/') {
    constexpr std::string_view index = "index.html";
    if (length + index.size() >= pathRoom) return -1;
    std::memcpy(route + length, index.data(), index.size() + 1);
    length += index.size();
  }
  const bool hasDot = std::strchr(route, '.') != nullptr;
  const std::size_t total = documentRoot.size() + length + (hasDot ? 0 : 5);
  if (total >= pathRoom) return -1;
  std::memcpy(fileURL, documentRoot.data(), documentRoot.size());
  std::memcpy(fileURL + documentRoot.size(), route, length + 1);
  if (!hasDot) std::memcpy(fileURL + documentRoot.size() + length, ".html", 6);
  return 0;
}

void getMimeType(const char* path, char* type) {
  const char* dot = std::strrchr(path, '.');
  const char* chosen = "text/html";
  if (dot != nullptr) {
    for (const auto& m : mimeTypes) {
      if (m.extension == dot) {
        chosen = m.type;
        break;
      }
    }
  }
  std::strcpy(type, chosen);
}

int getTimeString(char* buf, std::size_t size) {
  // The date changes once a second; formatting it once per second keeps it off the
  // per-request cost.
  static std::time_t cachedSecond = -1;
  static char cached[100];
  static std::size_t cachedLength = 0;
  const std::time_t now = std::time(nullptr);
  if (now != cachedSecond) {
    const std::tm parts = localNow(now);
    cachedLength = std::strftime(cached, sizeof cached, "%a, %d %b %Y %H:%M:%S", &parts);
    cachedSecond = now;
  }
  if (size == 0) return 0;
  const std::size_t n = cachedLength < size ? cachedLength : size - 1;
  std::memcpy(buf, cached, n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

bool hasParentSegment(const char* path) {
  const char* segment = path;
  for (const char* at = path;; ++at) {
    if (*at != '/' && *at != '\\' && *at != '\0') continue;
    if (at - segment == 2 && segment[0] == '.' && segment[1] == '.') return true;
    if (*at == '\0') return false;
    segment = at + 1;
  }
}

namespace {

// The bytes of a small file, read now and kept for the next request; null when the file is
// bigger than the cache holds.
std::shared_ptr<const std::string> smallFileBytes(FileReader& file) {
  const std::int64_t size = file.size();
  if (size < 0 || static_cast<std::size_t>(size) > cachedFileLimit) return nullptr;
  auto bytes = std::make_shared<std::string>(static_cast<std::size_t>(size), '\0');
  // Only bytes actually read go out: a file that shrank since its size was taken is sent
  // as far as it could be read.
  const std::int64_t got = file.readFully(bytes->data(), bytes->size());
  bytes->resize(static_cast<std::size_t>(got > 0 ? got : 0));
  if (got == size) keepFile(fileURL, file.stamp(), bytes);
  return bytes;
}

// Fills the body of the page at `fileURL`: held bytes, trusted as they are or after one
// status query, else the file read now (and held) or streamed. False when there is no such
// ordinary file.
bool findPage(ReplyStream& reply) {
  reply.body = trustedFile(fileURL);
  if (reply.body) return true;
  FileStamp stamp;
  if (!fileStamp(fileURL, stamp) || !stamp.regular) return false;
  reply.body = cachedFile(fileURL, stamp);
  if (reply.body) return true;
  if (!reply.file.open(fileURL) || !reply.file.isRegular()) return false;
  reply.body = smallFileBytes(reply.file);
  if (reply.body) {
    reply.file.close();
  } else {
    reply.fileEnd = reply.file.size();  // streamed: a big file costs no memory of its own
  }
  return true;
}

}  // namespace

void serveFile() {
  ReplyStream reply;
  // A route without its leading "/" would be joined to the root's own name and reach
  // files beside it.
  if (route[0] != '/' || getFileURL(route, fileURL) != 0 || hasParentSegment(fileURL) ||
      !findPage(reply)) {
    sendReply(NotFound);
    return;
  }
  char date[100];
  char type[32];
  getTimeString(date, sizeof date);
  getMimeType(fileURL, type);
  // "HTTP/1.1 200 OK\r\nDate: %s\r\nContent-Type: %s\r\n\n", put together by hand: it is
  // built for every page served. The parts are bounded (99 and 31 characters), so it fits.
  char header[200];
  std::size_t headerLength = 0;
  for (const std::string_view part : {std::string_view("HTTP/1.1 200 OK\r\nDate: "), std::string_view(date),
                                      std::string_view("\r\nContent-Type: "), std::string_view(type),
                                      std::string_view("\r\n\n")}) {
    std::memcpy(header + headerLength, part.data(), part.size());
    headerLength += part.size();
  }
  reply.head = std::string_view(header, headerLength);
  sendStream(std::move(reply));
}
