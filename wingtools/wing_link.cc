#include "wingtools/wing_link.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/host_addr.h"
#include "wingtools/wing_cli.h"

int wsa = 0;
SocketHandle Wfd = invalidSocket;
sockaddr_in WWIP{};
sockaddr* const WWIP_pt = reinterpret_cast<sockaddr*>(&WWIP);
SockLen WWIP_len = sizeof WWIP;
const char Winfo[8] = {'W', 'I', 'N', 'G', '?', 0, 0, 0};
timeval WTimeout{1, 0};
int broadcast = 1;
int w_status = 0;
char Wb_r[32768];
int Wb_lr = 0;
char Wb_s[8096];
int Wb_ls = 0;
int WMyPCIP = 0;
char Wip_str[32];
const char WDiscoveryPort[] = "2222";
const char WOscPort[] = "2223";

namespace {

constexpr int searchAttempts = 5;
constexpr int addressOffset = 5;  // after "WING" and one separator
constexpr int maxAddressLength = 16;
constexpr int errorMessageType = 16;

std::uint16_t portOf(const char* text) {
  return htons(static_cast<std::uint16_t>(std::atoi(text)));
}

void aimLink(std::uint32_t address, const char* port) {
  WWIP = sockaddr_in{};
  WWIP.sin_family = AF_INET;
  WWIP.sin_port = portOf(port);
  WWIP.sin_addr.s_addr = address;
}

int sendIdentification() {
  return static_cast<int>(::sendto(Wfd, Winfo, sizeof Winfo, 0, WWIP_pt, sizeof WWIP));
}

// The wait is handed its own copy of WTimeout, so no wait is shortened by an earlier one.
int waitForReply() {
  const timeval interval = WTimeout;
  const long ms = static_cast<long>(interval.tv_sec) * 1000 + interval.tv_usec / 1000;
  return waitReadable(Wfd, static_cast<int>(ms));
}

int receiveReply(sockaddr* from, SockLen* fromLength) {
  return static_cast<int>(::recvfrom(Wfd, Wb_r, sizeof Wb_r, 0, from, fromLength));
}

// Judged by what this receive delivered: a failed or short receive is no reply, whatever
// an earlier one left in the buffer.
bool isWingReply() { return Wb_lr >= 4 && std::memcmp(Wb_r, "WING", 4) == 0; }

void takeReplyAddress(char* ip) {
  int length = 0;
  while (length < maxAddressLength && addressOffset + length < Wb_lr &&
         Wb_r[addressOffset + length] != ',') {
    ++length;
  }
  std::memcpy(ip, Wb_r + addressOffset, static_cast<std::size_t>(length));
  ip[length] = '\0';
}

int endSearch(int result) {
  closeSocket(Wfd);
  Wfd = invalidSocket;
  netStop();
  return result;
}

[[noreturn]] void fail(const char* report, int pauseMs) {
  wMessage(report, nullptr, errorMessageType);
  sleepMs(pauseMs);
  std::exit(1);
}

}  // namespace

int wGetMyIP() { return hostAddressOn24BitSubnet(); }

int wSearchWing(char* ip) {
  wsa = netStart();
  if (wsa != 0) return 0;
  WMyPCIP = wGetMyIP();
  if (WMyPCIP == 0) {
    netStop();
    return 0;
  }
  Wfd = openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (Wfd == invalidSocket) {
    netStop();
    return 0;
  }
  aimLink(htonl(INADDR_BROADCAST), WDiscoveryPort);
  if (::setsockopt(Wfd, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&broadcast),
                   sizeof broadcast) != 0) {
    netReportError("setsockopt (SO_BROADCAST) failed\n");
    std::exit(1);
  }
  for (int attempt = 0; attempt < searchAttempts; ++attempt) {
    if (sendIdentification() < 0) {
      netReportError("Can't send data to WING\n");
      std::exit(1);
    }
    w_status = waitForReply();
    if (w_status <= 0) continue;
    Wb_lr = receiveReply(nullptr, nullptr);
    if (isWingReply()) {
      takeReplyAddress(ip);
      return endSearch(1);
    }
  }
  return endSearch(0);
}

int wConnect(const char* ip) {
  wsa = netStart();
  if (wsa != 0) fail("WSA Startup Error", 5000);
  const SocketHandle fresh = openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (fresh == invalidSocket) return 0;
  // One link per process: the socket of an earlier identification has no further use.
  closeSocket(Wfd);
  Wfd = fresh;
  aimLink(::inet_addr(ip != nullptr ? ip : ""), WDiscoveryPort);
  if (sendIdentification() < 0) fail("Error sending WING identification data", 5);
  w_status = waitForReply();
  if (w_status <= 0) return 0;
  WWIP_len = sizeof WWIP;
  Wb_lr = receiveReply(WWIP_pt, &WWIP_len);
  if (!isWingReply()) {
    wMessage("Unexpected answer to WING identification data", nullptr, errorMessageType);
    return 0;
  }
  WWIP.sin_port = portOf(WOscPort);
  return 1;
}

int wSendto(const char* buf, int len) {
  if (buf == nullptr || len < 0) return -1;
  return static_cast<int>(::sendto(Wfd, buf, static_cast<std::size_t>(len), 0, WWIP_pt, WWIP_len));
}

int wStartAndSearch() {
  wsa = netStart();
  if (wsa != 0) return 0;
  if (wSearchWing(Wip_str) == 0) {
    std::puts("Cannot find a Wing on the network");
    return 0;
  }
  return 1;
}

int wConnectOrSay(const char* ip) {
  if (wConnect(ip) != 0) return 1;
  std::printf("Cannot connect to Wing IP %s\n", ip);
  return 0;
}
