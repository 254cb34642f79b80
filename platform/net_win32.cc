#include "platform/net.h"

#pragma comment(lib, "ws2_32.lib")

int netStart() {
  WSADATA wsa;
  return WSAStartup(MAKEWORD(2, 2), &wsa);
}

void netStop() { WSACleanup(); }

int netLastError() { return WSAGetLastError(); }

SocketHandle openSocket(int domain, int type, int protocol) {
  const SocketHandle s = ::socket(domain, type, protocol);
  if (s != invalidSocket) SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
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
    case WSAEWOULDBLOCK:
    case WSAEINTR:
    case WSAECONNRESET:
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

bool netWouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }

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
