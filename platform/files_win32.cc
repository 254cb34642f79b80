#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>

#include "platform/files.h"

FileReader::~FileReader() {
  if (fd_ >= 0) ::_close(fd_);
}

bool FileReader::open(const char* path) {
  if (fd_ >= 0) ::_close(fd_);
  fd_ = ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  struct _stat64 st {};
  const bool known = fd_ >= 0 && ::_fstat64(fd_, &st) == 0;
  regular_ = known && (st.st_mode & _S_IFREG) != 0;
  size_ = known ? static_cast<std::int64_t>(st.st_size) : -1;
  return fd_ >= 0;
}

bool FileReader::isRegular() const { return regular_; }

std::int64_t FileReader::size() const { return size_; }

std::int64_t FileReader::readFully(char* data, std::size_t size) {
  // _read takes an unsigned count and returns an int: read in chunks an int can report.
  constexpr std::size_t chunk = 1u << 30;
  std::size_t done = 0;
  while (done < size) {
    const std::size_t want = size - done < chunk ? size - done : chunk;
    const int n = ::_read(fd_, data + done, static_cast<unsigned>(want));
    if (n < 0) return done > 0 ? static_cast<std::int64_t>(done) : -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

int removeFile(const char* path) { return std::remove(path); }

bool fileReadable(const char* path) {
  const int fd = ::_open(path, _O_RDONLY | _O_BINARY);
  if (fd < 0) return false;
  ::_close(fd);
  return true;
}
