#include "server/startup.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/net.h"
#include "platform/options.h"
#include "server/request_loop.h"
#include "server/server_state.h"

namespace {

constexpr int minOscMaxSize = 64;
constexpr int maxOscMaxSize = 16 * 1024 * 1024;

std::string workingDirectory() {
  std::error_code failed;
  const auto dir = std::filesystem::current_path(failed);
  return failed ? std::string(".") : dir.string();
}

// "%d" semantics: a value that does not begin with a number leaves the old one.
void readNumber(const char* text, int& into) {
  int value = 0;
  if (std::sscanf(text, "%d", &value) == 1) into = value;
}

// A dotted IPv4 address, strictly: a typo must not widen what the server listens on.
bool readListenAddress(const char* text, in_addr& into) {
  in_addr parsed{};
  if (inet_pton(AF_INET, text, &parsed) != 1) return false;
  into = parsed;
  return true;
}

}  // namespace

void printUsage() {
  std::puts("usage: Velmora [-p xxx, [8080], listening port value]");
  std::puts("                      [-a <IPv4 address to listen on>, default: every interface]");
  std::puts("                      [-d <absolute path to server apps>, default: ./htdocs/apps]");
  std::puts("                      [-s <buffer allocation size for requests and OSC>, default: 4096]\n");
}

void printBanner() {
  std::puts("Velmora - Server exchanging data with digital consoles from web clients");
  std::puts("             [ver 1.4]");
  std::puts("");
}

OptionsOutcome readOptions(int argc, char** argv) {
  appsDir = workingDirectory() + "/htdocs/apps";
  serverPort = defaultServerPort;
  oscMaxSize = defaultOscMaxSize;
  listenAddress.s_addr = htonl(INADDR_ANY);
  int option;
  while ((option = getopt(argc, argv, "a:d:p:s:h")) != -1) {
    switch (option) {
      case 'a':
        if (!readListenAddress(optarg, listenAddress)) {
          std::fprintf(stderr, "Velmora: -a needs an IPv4 address such as 127.0.0.1, not '%s'\n",
                       optarg);
          return OptionsOutcome::ExitBadValue;
        }
        break;
      case 'd':
        appsDir = optarg;
        break;
      case 'p':
        readNumber(optarg, serverPort);
        break;
      case 's':
        readNumber(optarg, oscMaxSize);
        break;
      case 'h':
        printUsage();
        return OptionsOutcome::ExitHelp;
      default:
        printUsage();
        return OptionsOutcome::ExitBadOption;
    }
  }
  if (serverPort < 1 || serverPort > 65535) {
    std::fprintf(stderr, "Velmora: port %d is out of range (1 to 65535)\n", serverPort);
    return OptionsOutcome::ExitBadValue;
  }
  if (oscMaxSize < minOscMaxSize || oscMaxSize > maxOscMaxSize) {
    std::fprintf(stderr, "Velmora: buffer size %d is out of range (%d to %d)\n", oscMaxSize,
                 minOscMaxSize, maxOscMaxSize);
    return OptionsOutcome::ExitBadValue;
  }
  dataFilePath = appsDir + "/VelmoraDataFile.txt";
  return OptionsOutcome::Serve;
}

int openListener() {
  serverSocket = openSocket(AF_INET, SOCK_STREAM, 0);
  if (serverSocket == invalidSocket) return -1;
  // A restarted server must get its port back at once, not a minute later.
  allowQuickRebind(serverSocket);
  // Connections that never send (browsers' spare ones) then cost the loop nothing; the
  // kernel hands them over after about a second, and the pending bound closes them.
  acceptWhenDataArrives(serverSocket, 1);
  server_addr = sockaddr_in{};
  server_addr.sin_family = AF_INET;
  server_addr.sin_port = htons(static_cast<std::uint16_t>(serverPort));
  server_addr.sin_addr = listenAddress;
  if (bind(serverSocket, reinterpret_cast<sockaddr*>(&server_addr), sizeof server_addr) != 0) {
    netReportError("bind");
    return -1;
  }
  // A deep backlog: with 5, bursts of connections arriving while a console answer is
  // awaited had their SYNs dropped and waited a second for the retry.
  if (listen(serverSocket, SOMAXCONN) != 0) {
    netReportError("listen");
    return -1;
  }
  std::printf("Velmora listening on port %d\n", serverPort);
  std::fflush(stdout);
  return 0;
}

void warnWithoutDocumentRoot() {
  std::error_code failed;
  if (std::filesystem::is_directory("htdocs", failed)) return;
  std::fprintf(stderr,
               "Velmora: there is no htdocs folder in %s, so every page will be 404 Not Found.\n"
               "         Start Velmora in the folder that holds htdocs (./run.sh does).\n",
               workingDirectory().c_str());
}
