// The app side of the hand-back: an app's whole answer reaches the server's data file in
// one rename, so the server never reads it half-written.
#pragma once

#include <string>
#include <string_view>

/// Where the server looks for the app's answer, relative to the working directory.
inline constexpr char appDataFile[] = "htdocs/apps/VelmoraDataFile.txt";

/// The temporary file an app writes before the rename. It carries the process id so that
/// two apps running at once never write into, or rename, each other's half-written file.
std::string temporaryFileName(int processId);

/// Writes `text` to this process's temporary file and renames it onto the data file,
/// replacing an answer still there (a PUT's answer stays until the next POST removes it).
/// True when the data file now holds `text`; a temporary file that could not be written
/// whole or renamed is removed, and the data file is left as it was.
bool handBack(std::string_view text);
