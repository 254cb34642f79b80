// The GET branch: files from the document root "htdocs" under the working directory.
#pragma once

#include <cstddef>

/// Maps `route` (edited in place: cut at its last '?', "index.html" added after a
/// trailing '/') to the path "htdocs" + route, with ".html" added when the path holds no
/// '.'. Returns 0, or -1 when the mapped path would not fit `route` or `fileURL` (128
/// bytes each); `fileURL` is then empty.
int getFileURL(char* route, char* fileURL);

/// Writes the Content-Type for `path`'s extension (from its last '.', compared with case)
/// into `type`, which has room for at least 15 bytes.
void getMimeType(const char* path, char* type);

/// Writes the local date and time as "%a, %d %b %Y %H:%M:%S" into `buf` (at most `size`
/// bytes with the NUL); returns the characters written.
int getTimeString(char* buf, std::size_t size);

/// True when a path segment of `path` is ".." (segments split at '/' and '\\').
bool hasParentSegment(const char* path);

/// Serves the current GET request from `route`: the file with its header, or NotFound
/// (also for a route without its leading "/", a ".." segment, or what is not a file).
void serveFile();
