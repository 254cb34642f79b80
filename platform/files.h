// Reading whole files for the server: opened without line-end translation and never
// inherited by a launched app.
#pragma once

#include <cstddef>
#include <cstdint>

/// One file opened for reading; closed on every path.
class FileReader {
 public:
  FileReader() = default;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  ~FileReader();

  /// Opens `path` for reading bytes and takes its status once; false when it cannot be
  /// opened.
  bool open(const char* path);

  /// True for an ordinary file (not a directory, device or pipe).
  bool isRegular() const;

  /// Size in bytes from the file system, or -1.
  std::int64_t size() const;

  /// Reads up to `size` bytes, repeating short reads; bytes read (0 at end, -1 on error).
  std::int64_t readFully(char* data, std::size_t size);

 private:
  int fd_ = -1;
  bool regular_ = false;
  std::int64_t size_ = -1;
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
