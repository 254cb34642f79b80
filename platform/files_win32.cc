#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdint>
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
  // Shared for deletion too, as POSIX files are: an app may replace the data file, and
  // the server may remove it, while a reply from it is being sent.
  const HANDLE handle =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    fd_ = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd_ < 0) CloseHandle(handle);
  }
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

int replaceFile(const char* from, const char* to) {
  // Windows refuses to replace a file that someone still has open (the server sending it,
  // or a removal that waits for that send to end); such a reader lets go soon, so the
  // replacement is tried again for a while before it counts as failed.
  constexpr int attempts = 100;
  constexpr DWORD pauseMs = 10;
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return 0;
    const DWORD error = GetLastError();
    if (attempt == attempts || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
      return -1;
    }
    Sleep(pauseMs);
  }
}

bool fileReadable(const char* path) {
  const int fd = ::_open(path, _O_RDONLY | _O_BINARY);
  if (fd < 0) return false;
  ::_close(fd);
  return true;
}
