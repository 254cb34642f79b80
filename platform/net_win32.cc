#include "platform/net.h"

#include <mswsock.h>

#include <cstdio>
#include <string_view>

int netStart() {
  WSADATA wsa;
  return WSAStartup(MAKEWORD(2, 2), &wsa);
}

void netStop() { WSACleanup(); }

int netLastError() { return WSAGetLastError(); }

std::string netErrorText(int code) {
  char text[512];
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  std::string_view message(text, length);
  // The system's messages end in blanks or a line end; perror's texts end with the words.
  while (!message.empty() &&
         (message.back() == ' ' || message.back() == '\r' || message.back() == '\n')) {
    message.remove_suffix(1);
  }
  // The code as well: the text is in the user's language, the code the same everywhere.
  const std::string number = "Winsock error " + std::to_string(code);
  if (message.empty()) return number;
  return std::string(message) + " (" + number + ")";
}

void netReportError(const char* what) {
  const std::string text = netErrorText(WSAGetLastError());
  std::fprintf(stderr, "%s: %s\n", what, text.c_str());
}

SocketHandle openSocket(int domain, int type, int protocol) {
  const SocketHandle s = ::socket(domain, type, protocol);
  if (s == invalidSocket) return s;
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  if (type == SOCK_DGRAM) {
    // Windows turns the "port unreachable" notice for an earlier datagram into a failed
    // receive on an unconnected socket; POSIX never does. A console that is not there is
    // no answer, not an error, on both.
    BOOL report = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr,
               nullptr);
  }
  return s;
}

SocketHandle acceptNow(SocketHandle listener, sockaddr_in* peer) {
  int length = sizeof *peer;
  const SocketHandle s = ::accept(listener, reinterpret_cast<sockaddr*>(peer), &length);
  if (s == invalidSocket) return s;
  // Accepted sockets inherit the listener's non-blocking mode, which the loop relies on.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return s;
}

AcceptFailure lastAcceptFailure() {
  switch (WSAGetLastError()) {
    // A client that gave up between its connect and our accept shows as one of the
    // connection errors; it is that client's failure, not the listening socket's.
    case WSAEWOULDBLOCK:
    case WSAEINTR:
    case WSAEINPROGRESS:
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENOTCONN:
    case WSAENETRESET:
    case WSAETIMEDOUT:
    case WSAENETDOWN:
      return AcceptFailure::TryAgain;
    case WSAEMFILE:
    case WSAENOBUFS:
      return AcceptFailure::OutOfDescriptors;
    default:
      return AcceptFailure::Fatal;
  }
}

int setNonBlocking(SocketHandle socket) {
  u_long on = 1;
  return ::ioctlsocket(socket, FIONBIO, &on);
}

void closeSocket(SocketHandle socket) {
  if (socket != invalidSocket) ::closesocket(socket);
}

int waitReadable(SocketHandle socket, int timeoutMs) {
  fd_set readSet;
  FD_ZERO(&readSet);
  FD_SET(socket, &readSet);
  timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int status = ::select(0, &readSet, nullptr, nullptr, &timeout);
  if (status == SOCKET_ERROR) return -1;
  return status > 0 && FD_ISSET(socket, &readSet) ? 1 : 0;
}

int pollSockets(PollFd* entries, unsigned count, int timeoutMs) {
  return ::WSAPoll(entries, count, timeoutMs);
}

long sendPieces(SocketHandle socket, const SendPiece* pieces, unsigned count) {
  constexpr unsigned maxPieces = 8;
  WSABUF runs[maxPieces];
  if (count > maxPieces) count = maxPieces;
  for (unsigned i = 0; i < count; ++i) {
    // A piece is bounded by what one buffer can name; the rest goes with the next send.
    const std::size_t size = pieces[i].size < (1u << 30) ? pieces[i].size : (1u << 30);
    runs[i] = WSABUF{static_cast<ULONG>(size), const_cast<char*>(pieces[i].data)};
  }
  DWORD sent = 0;
  if (::WSASend(socket, runs, count, &sent, 0, nullptr, nullptr) != 0) return -1;
  return static_cast<long>(sent);
}

long recvNow(SocketHandle socket, char* data, std::size_t size) {
  return ::recv(socket, data, static_cast<int>(size), 0);
}

long receiveDatagram(SocketHandle socket, char* data, std::size_t size, sockaddr_in* from) {
  int length = sizeof *from;
  const int got =
      ::recvfrom(socket, data, static_cast<int>(size), 0, reinterpret_cast<sockaddr*>(from),
                 from != nullptr ? &length : nullptr);
  // The buffer holds the datagram's first `size` bytes, as POSIX would deliver them.
  if (got == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE) return static_cast<long>(size);
  return got;
}

bool netWouldBlock() {
  const int error = WSAGetLastError();
  return error == WSAEWOULDBLOCK || error == WSAEINTR;
}

void ignoreBrokenPipe() {}

int allowQuickRebind(SocketHandle socket) {
  const BOOL on = TRUE;
  return ::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
                      sizeof on);
}

int acceptWhenDataArrives(SocketHandle, int) { return -1; }

int enableBroadcast(SocketHandle socket) {
  const BOOL on = TRUE;
  return ::setsockopt(socket, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                      sizeof on);
}

int setSendBuffer(SocketHandle socket, int bytes) {
  return ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

std::int64_t monotonicMs() { return static_cast<std::int64_t>(GetTickCount64()); }

void sleepMs(int ms) { Sleep(static_cast<DWORD>(ms)); }
