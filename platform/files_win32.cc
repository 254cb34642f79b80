#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>

#include "platform/files.h"

// Windows gives no change time to the nanosecond through these calls, so its stamps are
// not exact: every request reads the file afresh.
bool fileStamp(const char* path, FileStamp& stamp) {
  struct _stat64 st {};
  if (::_stat64(path, &st) != 0) return false;
  stamp = FileStamp{};
  stamp.size = static_cast<std::int64_t>(st.st_size);
  stamp.regular = (st.st_mode & _S_IFREG) != 0;
  return true;
}

void FileReader::close() {
  if (fd_ >= 0) ::_close(fd_);
  fd_ = -1;
  stamp_ = FileStamp{};
}

bool FileReader::open(const char* path) {
  close();
  fd_ = ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  struct _stat64 st {};
  if (fd_ >= 0 && ::_fstat64(fd_, &st) == 0) {
    stamp_.size = static_cast<std::int64_t>(st.st_size);
    stamp_.regular = (st.st_mode & _S_IFREG) != 0;
  }
  return fd_ >= 0;
}

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

std::int64_t FileReader::readAt(std::int64_t offset, char* data, std::size_t size) {
  // Only the loop's one thread reads a file, so seeking and reading cannot interleave.
  if (::_lseeki64(fd_, offset, SEEK_SET) < 0) return -1;
  return readFully(data, size);
}

int removeFile(const char* path) { return std::remove(path); }

bool fileReadable(const char* path) {
  const int fd = ::_open(path, _O_RDONLY | _O_BINARY);
  if (fd < 0) return false;
  ::_close(fd);
  return true;
}
