// Server start-up: options, banner, the listening socket and the request buffer.
#pragma once

/// What reading the command line decided.
enum class OptionsOutcome { Serve, ExitHelp, ExitBadOption, ExitBadValue };

/// Reads "d:p:s:h" into serverPort, oscMaxSize and appsDir (last one wins). Prints the
/// usage text for -h and bad options, and a message on standard error for out-of-range
/// values.
OptionsOutcome readOptions(int argc, char** argv);

/// Prints the usage text.
void printUsage();

/// Prints the banner.
void printBanner();

/// Opens, binds and listens on serverSocket; prints the listening line. 0, or -1 after
/// reporting the failure.
int openListener();
