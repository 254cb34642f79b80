// Small files of the document root held in memory, so a page served again costs no open,
// read or close. The folders of a held file are watched, and any change in them forgets
// what was held there at once; a held file is also checked against its stamp at most once
// a second, for what a watch cannot see (a write through a link from elsewhere). Where
// folders cannot be watched, every use checks the stamp.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/files.h"

/// Files up to this size are held.
inline constexpr std::size_t cachedFileLimit = 64 * 1024;

/// All held files together stay within this many bytes.
inline constexpr std::size_t fileCacheCapacity = 4 * 1024 * 1024;

/// The held bytes of `path` when they may be used without asking the file system (its
/// folders are watched and it was checked this second); null otherwise.
std::shared_ptr<const std::string> trustedFile(const char* path);

/// The held bytes of `path` when they are those of the file whose stamp is `now` (taken
/// just before); null otherwise (not held, changed, or a stamp that is not exact).
std::shared_ptr<const std::string> cachedFile(const char* path, const FileStamp& now);

/// Holds `bytes` as the content of `path` in the state `stamp` (when the stamp is exact and
/// the file small enough), replacing what was held for it, and watches its folders.
void keepFile(const char* path, const FileStamp& stamp, std::shared_ptr<const std::string> bytes);

/// A descriptor that is readable when a watched folder changed (-1 without one); the loop
/// then calls forgetChangedFiles before it serves anything.
int fileCacheWatch();

/// Forgets every held file in a folder that changed.
void forgetChangedFiles();
