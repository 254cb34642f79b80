// Server start-up: options, banner, the listening socket and the request buffer.
#pragma once

/// What reading the command line decided.
enum class OptionsOutcome { Serve, ExitHelp, ExitBadOption, ExitBadValue };

/// Reads "a:d:p:s:h" into listenAddress, serverPort, oscMaxSize and appsDir (last one
/// wins). Prints the usage text for -h and bad options, and a message on standard error
/// for out-of-range values and an -a that is no dotted IPv4 address.
OptionsOutcome readOptions(int argc, char** argv);

/// Prints the usage text.
void printUsage();

/// Prints the banner.
void printBanner();

/// Opens, binds (listenAddress, serverPort) and listens on serverSocket; prints the
/// listening line. 0, or -1 after reporting the failure.
int openListener();

/// Says on standard error, naming the folder, when the working directory has no htdocs
/// folder: every GET would be 404 and nothing else would tell why. Serving goes on.
void warnWithoutDocumentRoot();
