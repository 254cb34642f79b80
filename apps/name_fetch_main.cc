// A name-fetch app (Quennet, Dravisk or Marlune, chosen at build time by NAME_FETCH_VARIANT):
// checks that the console at the -d address answers, asks it for one name and leaves the
// name in the server's data file.

#include <cstdio>
#include <string>

#include "apps/hand_back.h"
#include "apps/name_fetch.h"
#include "osc/osc_builder.h"
#include "platform/net.h"
#include "platform/options.h"
#include "platform/process.h"
#include "platform/std_streams.h"

#ifndef NAME_FETCH_VARIANT
#error "NAME_FETCH_VARIANT selects the app: 0 Quennet, 1 Dravisk, 2 Marlune"
#endif

namespace {

const NameFetchVariant& variant = nameFetchVariants[NAME_FETCH_VARIANT];

constexpr int replyWaitMs = 500;

// Sends `text` as one OSC string field to `console`:`port` and receives one datagram into
// `reply` (from anyone). The reply's length, or -1 when the send was refused or nothing
// came within half a second.
int askOnce(SocketHandle socket, sockaddr_in console, int port, const char* text,
            unsigned char (&reply)[packetSize]) {
  char packet[packetSize];
  const int length = Xsprint(packet, 0, 's', text);
  console.sin_port = htons(static_cast<std::uint16_t>(port));
  if (sendto(socket, packet, length, 0, reinterpret_cast<const sockaddr*>(&console), sizeof console) < 0) {
    return -1;
  }
  if (waitReadable(socket, replyWaitMs) != 1) return -1;
  const long got = receiveDatagram(socket, reinterpret_cast<char*>(reply), sizeof reply);
  return got > 0 ? static_cast<int>(got) : -1;
}

// Options "d:h". 1 to go on, 0 after the usage text, -1 for a bad option (getopt has
// already complained).
int readOptions(int argc, char** argv, AppTarget& target) {
  int option;
  while ((option = getopt(argc, argv, "d:h")) != -1) {
    switch (option) {
      case 'd':
        parseAppArgument(optarg, target);
        break;
      case 'h':
        std::fputs(usageText(variant).c_str(), stdout);
        return 0;
      default:
        return -1;
    }
  }
  return 1;
}

int fetchName(const AppTarget& target) {
  Socket socket(openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (!socket.valid()) {
    netReportError(variant.socketFailure);
    return -1;
  }
  sockaddr_in console{};
  console.sin_family = AF_INET;
  // The address is read the classic way (short and octal forms included), but a text
  // that is no address at all, which that reading turns into the broadcast address,
  // sends nothing.
  console.sin_addr.s_addr = inet_addr(target.address.c_str());
  if (console.sin_addr.s_addr == INADDR_NONE && target.address != "255.255.255.255") return -1;

  unsigned char reply[packetSize];
  const int handshake = askOnce(socket.get(), console, variant.handshakePort, variant.handshake, reply);
  if (handshake < 1 || !handshakeAccepted(variant, std::span(reply, static_cast<std::size_t>(handshake)))) {
    return -1;
  }
  char command[commandSize];
  if (formatQuery(variant, target.number, command) < 0) return -1;
  const int answer = askOnce(socket.get(), console, variant.queryPort, command, reply);
  if (answer < 1) return -1;
  // The name was received: that is the app's success, whether or not the file could be
  // written.
  handBack(replyName(variant, std::span(reply, static_cast<std::size_t>(answer))));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  keepStandardStreamsExact();
  AppTarget target;
  const int options = readOptions(argc, argv, target);
  if (options <= 0) return options;
  if (const int code = netStart(); code != 0) {
    std::printf("Failed. Error Code : %d", code);
    return -1;
  }
  const int status = fetchName(target);
  netStop();
  return status;
}
