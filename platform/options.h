// Command-line options in the getopt manner on every platform: POSIX has getopt in its
// C library; Windows gets the same behaviour from options_win32.cc.
#pragma once

#ifdef _WIN32
extern char* optarg;
extern int optind;
extern int opterr;
extern int optopt;

/// Returns the next option letter of `optstring` found in argv, '?' for an unknown option
/// or one missing its argument (after a message on standard error), or -1 at the first
/// argument that is not an option.
int getopt(int argc, char* const argv[], const char* optstring);
#else
#include <unistd.h>
#endif
