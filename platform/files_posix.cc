#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/files.h"

FileReader::~FileReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileReader::open(const char* path) {
  if (fd_ >= 0) ::close(fd_);
  // Non-blocking, so a FIFO or device under the document root cannot stall the server in
  // open; regular files read the same either way.
  fd_ = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  struct stat st {};
  const bool known = fd_ >= 0 && ::fstat(fd_, &st) == 0;
  regular_ = known && S_ISREG(st.st_mode);
  size_ = known ? static_cast<std::int64_t>(st.st_size) : -1;
  return fd_ >= 0;
}

bool FileReader::isRegular() const { return regular_; }

std::int64_t FileReader::size() const { return size_; }

std::int64_t FileReader::readFully(char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd_, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return done > 0 ? static_cast<std::int64_t>(done) : -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

int removeFile(const char* path) { return std::remove(path); }

int replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0 ? 0 : -1; }

bool fileReadable(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}
