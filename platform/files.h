// Reading files for the server: opened without line-end translation and never inherited
// by a launched app.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

/// What tells one state of a file from another: which file it is and when it last changed.
/// Equal stamps of one path mean its bytes have not changed. `exact` is false where the
/// platform cannot tell (a stamp that is not exact never equals another).
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = -1;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;
  bool regular = false;
  bool exact = false;

  friend bool operator==(const FileStamp& a, const FileStamp& b) {
    return a.exact && b.exact && a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.modifiedNs == b.modifiedNs && a.changedNs == b.changedNs && a.regular == b.regular;
  }
};

/// The stamp of `path` from one status query, following links; false when it has none.
bool fileStamp(const char* path, FileStamp& stamp);

/// One file opened for reading; closed on every path. Movable, so a reply that streams from
/// it can outlive the request that opened it.
class FileReader {
 public:
  FileReader() = default;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  FileReader(FileReader&& other) noexcept
      : fd_(std::exchange(other.fd_, -1)), stamp_(other.stamp_) {}
  FileReader& operator=(FileReader&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = std::exchange(other.fd_, -1);
      stamp_ = other.stamp_;
    }
    return *this;
  }
  ~FileReader() { close(); }

  /// Opens `path` for reading bytes and takes its status once; false when it cannot be
  /// opened.
  bool open(const char* path);

  /// Closes the file (if open).
  void close();

  /// True for an ordinary file (not a directory, device or pipe).
  bool isRegular() const { return stamp_.regular; }

  /// Size in bytes from the file system, or -1.
  std::int64_t size() const { return stamp_.size; }

  /// The file's stamp as taken at open.
  const FileStamp& stamp() const { return stamp_; }

  /// Reads up to `size` bytes, repeating short reads; bytes read (0 at end, -1 on error).
  std::int64_t readFully(char* data, std::size_t size);

  /// Reads up to `size` bytes from `offset`, repeating short reads, without moving the file
  /// position; bytes read (0 at the end, -1 on error).
  std::int64_t readAt(std::int64_t offset, char* data, std::size_t size);

 private:
  int fd_ = -1;
  FileStamp stamp_;
};

/// Removes a file; the result is 0 or -1, and callers that may ignore it do.
int removeFile(const char* path);

/// Renames `from` to `to` in one step, replacing a file already at `to` (a plain rename
/// refuses that on Windows). Readers see the old file or the new one, never a part. Where
/// the system refuses to replace a file that is open (Windows), it waits up to about a
/// second for the file to be closed. 0 on success, -1 on failure.
int replaceFile(const char* from, const char* to);

/// True when `path` names something that can be opened for reading now.
bool fileReadable(const char* path);
