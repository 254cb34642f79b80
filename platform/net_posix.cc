#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/uio.h>

#include "platform/net.h"

int netStart() { return 0; }

void netStop() {}

int netLastError() { return errno; }

std::string netErrorText(int code) { return std::strerror(code); }

void netReportError(const char* what) { std::perror(what); }

SocketHandle openSocket(int domain, int type, int protocol) {
  return ::socket(domain, type | SOCK_CLOEXEC, protocol);
}

SocketHandle acceptNow(SocketHandle listener, sockaddr_in* peer) {
  socklen_t length = sizeof *peer;
  return ::accept4(listener, reinterpret_cast<sockaddr*>(peer), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
}

AcceptFailure lastAcceptFailure() {
  switch (errno) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
      return AcceptFailure::TryAgain;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
      return AcceptFailure::OutOfDescriptors;
    default:
      return AcceptFailure::Fatal;
  }
}

int setNonBlocking(SocketHandle socket) {
  const int flags = ::fcntl(socket, F_GETFL, 0);
  return flags < 0 ? -1 : ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);
}

void closeSocket(SocketHandle socket) {
  if (socket != invalidSocket) ::close(socket);
}

int waitReadable(SocketHandle socket, int timeoutMs) {
  // select rather than poll: it is the wait the consoles' exchanges are defined by, and a
  // fresh timeval per call keeps every wait at its full length.
  if (socket < 0 || socket >= FD_SETSIZE) return -1;
  fd_set readSet;
  FD_ZERO(&readSet);
  FD_SET(socket, &readSet);
  timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int status = ::select(socket + 1, &readSet, nullptr, nullptr, &timeout);
  if (status < 0) return -1;
  return status > 0 && FD_ISSET(socket, &readSet) ? 1 : 0;
}

int pollSockets(PollFd* entries, unsigned count, int timeoutMs) {
  return ::poll(entries, count, timeoutMs);
}

long sendPieces(SocketHandle socket, const SendPiece* pieces, unsigned count) {
  constexpr unsigned maxPieces = 8;
  iovec runs[maxPieces];
  if (count > maxPieces) count = maxPieces;
  for (unsigned i = 0; i < count; ++i) runs[i] = iovec{const_cast<char*>(pieces[i].data), pieces[i].size};
  msghdr message{};
  message.msg_iov = runs;
  message.msg_iovlen = count;
  return ::sendmsg(socket, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
}

long recvNow(SocketHandle socket, char* data, std::size_t size) {
  return ::recv(socket, data, size, MSG_DONTWAIT);
}

long receiveDatagram(SocketHandle socket, char* data, std::size_t size, sockaddr_in* from) {
  socklen_t length = sizeof *from;
  return ::recvfrom(socket, data, size, 0, reinterpret_cast<sockaddr*>(from),
                    from != nullptr ? &length : nullptr);
}

bool netWouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

void ignoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

int allowQuickRebind(SocketHandle socket) {
  const int on = 1;
  return ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

int acceptWhenDataArrives(SocketHandle listener, int seconds) {
#ifdef TCP_DEFER_ACCEPT
  return ::setsockopt(listener, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
#else
  (void)listener;
  (void)seconds;
  return -1;
#endif
}

int enableBroadcast(SocketHandle socket) {
  const int on = 1;
  return ::setsockopt(socket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

int setSendBuffer(SocketHandle socket, int bytes) {
  return ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

std::int64_t monotonicMs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void sleepMs(int ms) {
  timespec pause{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}
