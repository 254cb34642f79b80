#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/files.h"

namespace {

FileStamp stampOf(const struct stat& st) {
  FileStamp stamp;
  stamp.device = static_cast<std::uint64_t>(st.st_dev);
  stamp.inode = static_cast<std::uint64_t>(st.st_ino);
  stamp.size = static_cast<std::int64_t>(st.st_size);
  stamp.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  stamp.changedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
  stamp.regular = S_ISREG(st.st_mode);
  stamp.exact = true;
  return stamp;
}

}  // namespace

bool fileStamp(const char* path, FileStamp& stamp) {
  struct stat st {};
  if (::stat(path, &st) != 0) return false;
  stamp = stampOf(st);
  return true;
}

void FileReader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  stamp_ = FileStamp{};
}

bool FileReader::open(const char* path) {
  close();
  // Non-blocking, so a FIFO or device under the document root cannot stall the server in
  // open; regular files read the same either way.
  fd_ = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  struct stat st {};
  if (fd_ >= 0 && ::fstat(fd_, &st) == 0) stamp_ = stampOf(st);
  return fd_ >= 0;
}

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

std::int64_t FileReader::readAt(std::int64_t offset, char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd_, data + done, size - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
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
