// Sockets behind one small interface: the only socket code that differs between POSIX
// and Windows lives in net_posix.cc and net_win32.cc.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#ifdef _WIN32
using SocketHandle = SOCKET;
using PollFd = WSAPOLLFD;
using SockLen = int;
inline constexpr SocketHandle invalidSocket = INVALID_SOCKET;
#else
using SocketHandle = int;
using PollFd = pollfd;
using SockLen = socklen_t;
inline constexpr SocketHandle invalidSocket = -1;
#endif

/// Starts the socket layer where its user must (WSAStartup 2.2); 0 on success, else the
/// layer's error code. Every call counts; POSIX has nothing to start and returns 0.
int netStart();

/// Ends one start of the socket layer.
void netStop();

/// The socket layer's last error code (errno, or WSAGetLastError).
int netLastError();

/// The socket layer's description of error `code`, without a line end: strerror's, or
/// on Windows the system's message followed by "(Winsock error <code>)".
std::string netErrorText(int code);

/// Reports the socket layer's last error in the manner of perror: `what`, a colon, a
/// blank, netErrorText of netLastError and a line end, on standard error. perror itself
/// would say "Success" on Windows, where Winsock sets no errno.
void netReportError(const char* what);

/// Creates a socket that a launched app never inherits; invalidSocket on failure.
SocketHandle openSocket(int domain, int type, int protocol);

/// Accepts one waiting connection without blocking; invalidSocket when none is waiting
/// or on error (netWouldBlock tells the two apart). The connection never blocks either:
/// its reads and sends return at once.
SocketHandle acceptNow(SocketHandle listener, sockaddr_in* peer);

/// Why the last acceptNow returned no connection.
enum class AcceptFailure {
  TryAgain,          // nothing waiting, or a connection that failed before it was taken
  OutOfDescriptors,  // the process or system ran out of descriptors or buffers
  Fatal,             // the listening socket itself is broken
};
AcceptFailure lastAcceptFailure();

/// Makes a listening socket's accept non-blocking. 0 on success.
int setNonBlocking(SocketHandle socket);

/// Closes a socket handle; invalid handles are ignored.
void closeSocket(SocketHandle socket);

/// Waits until `socket` is readable or `timeoutMs` has passed, with select.
/// Returns 1 when readable, 0 on time-out, -1 when the wait failed.
int waitReadable(SocketHandle socket, int timeoutMs);

/// poll/WSAPoll over `count` entries; the result of the call (ready count, 0, -1).
int pollSockets(PollFd* entries, unsigned count, int timeoutMs);

/// One run of bytes of a gathered send.
struct SendPiece {
  const char* data;
  std::size_t size;
};

/// Sends the pieces in order with one call, as far as the socket takes them now, without
/// blocking and without ever raising a signal that could end the process when the peer
/// has gone. Bytes sent, or -1 (netWouldBlock tells "nothing taken now" from a failure).
long sendPieces(SocketHandle socket, const SendPiece* pieces, unsigned count);

/// Receives what is there without blocking; bytes, 0 at end of stream, -1 when nothing
/// is waiting or on error (netWouldBlock tells the two apart).
long recvNow(SocketHandle socket, char* data, std::size_t size);

/// Receives one datagram into `data`; one longer than `size` bytes arrives cut to them and
/// its rest is dropped, on Windows too (where the receive reports such a datagram as an
/// error). The sender goes to `from` unless it is null. Bytes received, or -1.
long receiveDatagram(SocketHandle socket, char* data, std::size_t size,
                     sockaddr_in* from = nullptr);

/// True when the last error only means "try again later".
bool netWouldBlock();

/// Keeps a send to a closed peer from ending the process (SIGPIPE on POSIX).
void ignoreBrokenPipe();

/// Lets a restarted server bind its port at once after serving traffic (SO_REUSEADDR on
/// POSIX; the exclusive-address option on Windows, never port sharing). 0 on success.
int allowQuickRebind(SocketHandle socket);

/// Asks the kernel to hand over a connection only once its first bytes have come (where
/// the platform can), so the common request is read with one receive. 0 on success.
int acceptWhenDataArrives(SocketHandle listener, int seconds);

/// Lets a UDP socket send to broadcast addresses (SO_BROADCAST). 0 on success.
int enableBroadcast(SocketHandle socket);

/// Sets the socket's send buffer to about `bytes` (connections accepted from a listener
/// inherit it). 0 on success.
int setSendBuffer(SocketHandle socket, int bytes);

/// Milliseconds from an arbitrary fixed point, for time-outs; never goes backwards.
std::int64_t monotonicMs();

/// Sleeps for `ms` milliseconds.
void sleepMs(int ms);

/// Owns one socket handle and closes it on every path.
class Socket {
 public:
  Socket() = default;
  explicit Socket(SocketHandle handle) : handle_(handle) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, invalidSocket)) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, invalidSocket));
    return *this;
  }
  ~Socket() { closeSocket(handle_); }

  SocketHandle get() const { return handle_; }
  bool valid() const { return handle_ != invalidSocket; }
  SocketHandle release() { return std::exchange(handle_, invalidSocket); }
  void reset(SocketHandle handle = invalidSocket) {
    closeSocket(handle_);
    handle_ = handle;
  }

 private:
  SocketHandle handle_ = invalidSocket;
};
