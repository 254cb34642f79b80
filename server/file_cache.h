// Small files of the document root held in memory. Each use checks the file's stamp with
// one status query, so an edited page is served fresh at once; a hit saves the open, the
// read and the close of the file on every request for the same page.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/files.h"

/// Files up to this size are held.
inline constexpr std::size_t cachedFileLimit = 64 * 1024;

/// All held files together stay within this many bytes; the oldest go first.
inline constexpr std::size_t fileCacheCapacity = 4 * 1024 * 1024;

/// The held bytes of `path` when they are those of the file whose stamp is `now`; null
/// otherwise (not held, changed, or not exact).
std::shared_ptr<const std::string> cachedFile(const char* path, const FileStamp& now);

/// Holds `bytes` as the content of `path` in the state `stamp` (when the stamp is exact and
/// the file small enough), replacing what was held for it.
void keepFile(const char* path, const FileStamp& stamp, std::shared_ptr<const std::string> bytes);
