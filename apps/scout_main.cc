// Scout: finds Wing and X32 consoles, every one on the local network by broadcast or the one
// at the -d address, and leaves one line per console in the server's data file.

#include <cstdio>
#include <string>
#include <vector>

#include "apps/hand_back.h"
#include "apps/scout.h"
#include "osc/osc_builder.h"
#include "platform/net.h"
#include "platform/options.h"
#include "platform/std_streams.h"

namespace {

// Reports a failure of the socket layer in the perror manner and gives the app's status.
int socketFailure(const char* what) {
  netReportError(what);
  return -1;
}

// Options "d:h". 1 to go on, 0 after the usage text, -1 for a bad option (getopt has
// already complained).
int readOptions(int argc, char** argv, std::string& body) {
  int option;
  while ((option = getopt(argc, argv, "d:h")) != -1) {
    switch (option) {
      case 'd':
        body = optarg;
        break;
      case 'h':
        std::fputs(scoutUsage().c_str(), stdout);
        return 0;
      default:
        return -1;
    }
  }
  return 1;
}

bool sendTo(SocketHandle socket, std::uint32_t address, int port, const char* packet, int length) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(address);
  return sendto(socket, packet, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) == length;
}

// Sends both questions; the number that went out.
int askConsoles(SocketHandle socket, std::uint32_t address) {
  char packet[16];
  int sent = 0;
  const int wing = Xsprint(packet, 0, 's', "WING?");
  if (sendTo(socket, address, wingDiscoveryPort, packet, wing)) ++sent;
  else netReportError("Scout: cannot send the Wing question");
  const int x32 = Xsprint(packet, 0, 's', "/xinfo");
  if (sendTo(socket, address, x32Port, packet, x32)) ++sent;
  else netReportError("Scout: cannot send the X32 question");
  return sent;
}

std::vector<FoundConsole> collectAnswers(SocketHandle socket) {
  std::vector<FoundConsole> consoles;
  unsigned char reply[2048];
  const std::int64_t deadline = monotonicMs() + collectMs;
  for (std::int64_t left = collectMs; left > 0; left = deadline - monotonicMs()) {
    if (waitReadable(socket, static_cast<int>(left)) != 1) break;
    sockaddr_in from{};
    const long got = receiveDatagram(socket, reinterpret_cast<char*>(reply), sizeof reply, &from);
    FoundConsole console;
    if (got > 0 && readDiscoveryReply(std::span(reply, static_cast<std::size_t>(got)),
                                      ntohl(from.sin_addr.s_addr), console)) {
      addConsole(consoles, std::move(console));
    }
  }
  return consoles;
}

int scout(const ScoutTarget& target) {
  Socket socket(openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (!socket.valid()) return socketFailure("Scout: cannot make a UDP socket");
  if (target.broadcast && enableBroadcast(socket.get()) != 0) {
    return socketFailure("Scout: cannot enable broadcasting");
  }
  const std::uint32_t address = target.broadcast ? INADDR_BROADCAST : target.address;
  if (askConsoles(socket.get(), address) == 0) return -1;
  if (!handBack(consoleListText(collectAnswers(socket.get())))) {
    std::fprintf(stderr, "Scout: cannot write %s\n", appDataFile);
    return -1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  keepStandardStreamsExact();
  std::string body;
  const int options = readOptions(argc, argv, body);
  if (options <= 0) return options;
  ScoutTarget target;
  if (!parseScoutBody(body, target)) {
    std::fprintf(stderr, "Scout: \"%s\" is neither empty nor an IPv4 address\n", body.c_str());
    return -1;
  }
  if (const int code = netStart(); code != 0) {
    std::fprintf(stderr, "Scout: the socket layer did not start (error %d)\n", code);
    return -1;
  }
  const int status = scout(target);
  netStop();
  return status;
}
