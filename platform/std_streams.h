// The programs' standard streams: their bytes are part of the contract (usage texts,
// banners, reply logs), so they go out exactly as written on every platform.
#pragma once

/// Writes standard output and standard error without line-end translation (Windows would
/// turn every "\n" into CR LF); nothing to do on POSIX. Call once, first thing in main.
void keepStandardStreamsExact();
