#include "server/request_loop.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "platform/net.h"
#include "platform/process.h"
#include "server/dispatch.h"
#include "server/file_cache.h"
#include "server/http_replies.h"
#include "server/http_request.h"
#include "server/reply_stream.h"
#include "server/server_state.h"

namespace {

// A connection whose request has not come whole yet. Its bytes so far are kept aside
// only in this rare case; a request that arrives in one segment is read straight into
// `request` and never copied.
struct Pending {
  Socket socket;
  std::int64_t deadline = 0;
  std::unique_ptr<char[]> partial;
  int length = 0;
};

// A connection whose reply the socket did not take at once; the rest goes out as the
// client reads, and a client that takes nothing for `sendStallMs` is given up.
struct Sending {
  Socket socket;
  std::int64_t deadline = 0;
  std::unique_ptr<ReplyStream> reply;
};

std::vector<Pending> pending;
std::vector<Sending> sending;
std::vector<PollFd> pollSet;

int requestCapacity() { return oscMaxSize - 1; }

bool bufferIsFull(int length) { return length >= requestCapacity(); }

// Keeps a connection whose reply is not all sent; the oldest such goes when there are too
// many, so the memory of replies in flight stays bounded.
void keepSending(Socket connection, std::unique_ptr<ReplyStream> reply) {
  if (sending.size() >= maxSendingConnections) sending.erase(sending.begin());
  // A reply to a slow reader then keeps at most this much in the kernel, instead of the
  // megabytes its buffer would grow to. Set here, not on every connection: a fixed buffer
  // costs each reply that the kernel takes at once.
  setSendBuffer(connection.get(), connectionSendBuffer);
  sending.push_back(Sending{std::move(connection), monotonicMs() + sendStallMs, std::move(reply)});
}

// Serves the request now in `request` on `connection`, then closes it, or keeps it while
// its reply is still going out.
void serveAndClose(Socket connection, int length) {
  reqlen = length;
  request[reqlen] = '\0';
  clientSocket = connection.get();
  serveRequest();
  std::unique_ptr<ReplyStream> rest = takeUnsentReply();
  releaseReplyBuffer();
  if (bufferIsFull(length)) {
    // The rest of an over-long request is never read; draining what is queued keeps the
    // close from turning into a reset that could discard the reply at the client.
    char sink[4096];
    for (int i = 0; i < 64 && recvNow(connection.get(), sink, sizeof sink) > 0; ++i) {
    }
  }
  clientSocket = invalidSocket;
  if (rest) keepSending(std::move(connection), std::move(rest));
}

// Appends what the connection has queued to `buffer`; false when the peer closed or failed
// before anything usable came (the connection is then dropped).
enum class ReadState { Waiting, Complete, Dropped };

ReadState readMore(SocketHandle socket, char* buffer, int& length) {
  const long got = recvNow(socket, buffer + length, static_cast<std::size_t>(requestCapacity() - length));
  if (got < 0) return netWouldBlock() ? ReadState::Waiting : ReadState::Dropped;
  if (got == 0) return length > 0 ? ReadState::Complete : ReadState::Dropped;
  length += static_cast<int>(got);
  if (bufferIsFull(length) ||
      requestIsComplete(std::string_view(buffer, static_cast<std::size_t>(length)))) {
    return ReadState::Complete;
  }
  return ReadState::Waiting;
}

void dropOldestPending() {
  if (!pending.empty()) pending.erase(pending.begin());
}

void keepPending(Socket connection, int length) {
  if (pending.size() >= maxPendingConnections) dropOldestPending();
  Pending p;
  p.socket = std::move(connection);
  p.deadline = monotonicMs() + requestDeadlineMs;
  p.length = length;
  if (length > 0) {
    p.partial.reset(new (std::nothrow) char[static_cast<std::size_t>(oscMaxSize)]);
    if (!p.partial) return;  // no room to wait for it: the connection is closed
    std::memcpy(p.partial.get(), request, static_cast<std::size_t>(length));
  }
  pending.push_back(std::move(p));
}

// A fresh connection: most requests are already there and are served at once.
void admit(Socket connection) {
  int length = 0;
  switch (readMore(connection.get(), request, length)) {
    case ReadState::Complete:
      serveAndClose(std::move(connection), length);
      break;
    case ReadState::Waiting:
      keepPending(std::move(connection), length);
      break;
    case ReadState::Dropped:
      break;
  }
}

// Accepts the connections waiting, at most maxAcceptsPerTurn of them, so connections
// already in the loop get their turn during a burst; -1 when accept failed for good. With
// no other connection in the loop, a turn takes one: the next poll tells whether more wait
// as cheaply as another accept would, and a lone client is not made to pay for asking.
int acceptSome() {
  const unsigned limit = pending.empty() && sending.empty() ? 1 : maxAcceptsPerTurn;
  for (unsigned accepted = 0; accepted < limit; ++accepted) {
    Socket connection(acceptNow(serverSocket, &client_addr));
    if (connection.valid()) {
      admit(std::move(connection));
      continue;
    }
    const AcceptFailure failure = lastAcceptFailure();
    if (failure == AcceptFailure::TryAgain) return 0;
    if (failure == AcceptFailure::OutOfDescriptors && !(pending.empty() && sending.empty())) {
      // Out of descriptors: give up the oldest connection in the loop rather than the server.
      if (!pending.empty()) dropOldestPending();
      else sending.erase(sending.begin());
      return 0;
    }
    netReportError("accept");
    return -1;
  }
  return 0;
}

// Reads what a pending connection has sent. Until its first bytes come, it reads straight
// into `request` like a fresh connection; only a request still unfinished is kept aside.
ReadState readPending(Pending& p) {
  if (p.partial) return readMore(p.socket.get(), p.partial.get(), p.length);
  const ReadState state = readMore(p.socket.get(), request, p.length);
  if (state == ReadState::Waiting && p.length > 0) {
    p.partial.reset(new (std::nothrow) char[static_cast<std::size_t>(oscMaxSize)]);
    if (!p.partial) return ReadState::Dropped;
    std::memcpy(p.partial.get(), request, static_cast<std::size_t>(p.length));
  }
  return state;
}

// Sends more of each reply whose connection poll reported writable (their entries start at
// `first`); closes the finished, the failed and the stalled.
void serviceSending(std::size_t first, std::size_t polled) {
  const std::int64_t now = monotonicMs();
  std::size_t kept = 0;
  for (std::size_t i = 0; i < sending.size(); ++i) {
    Sending& s = sending[i];
    if (i < polled && pollSet[first + i].revents != 0) {
      std::size_t sent = 0;
      const PushOutcome outcome = pushReply(s.socket.get(), *s.reply, replyPushBudget, sent);
      if (outcome != PushOutcome::Waiting) continue;
      if (sent > 0) s.deadline = now + sendStallMs;
    }
    if (now >= s.deadline) continue;
    if (kept != i) sending[kept] = std::move(s);
    ++kept;
  }
  sending.resize(kept);
}

// Serves or drops each pending connection that poll reported (their entries start at 1).
void servicePending(std::size_t polled) {
  const std::int64_t now = monotonicMs();
  std::size_t kept = 0;
  for (std::size_t i = 0; i < pending.size(); ++i) {
    Pending& p = pending[i];
    if (i < polled && pollSet[i + 1].revents != 0) {
      const ReadState state = readPending(p);
      if (state == ReadState::Dropped) continue;
      if (state == ReadState::Complete) {
        if (p.partial) std::memcpy(request, p.partial.get(), static_cast<std::size_t>(p.length));
        serveAndClose(std::move(p.socket), p.length);
        continue;
      }
    }
    if (now >= p.deadline) {
      // A request begun but never finished gets the time-out reply; an idle spare
      // connection is closed silently.
      if (p.length > 0) {
        clientSocket = p.socket.get();
        sendReply(Timeout);
        clientSocket = invalidSocket;
      }
      continue;
    }
    if (kept != i) pending[kept] = std::move(p);
    ++kept;
  }
  pending.resize(kept);
}

int nextWaitMs() {
  if (pending.empty() && sending.empty()) return -1;
  std::int64_t soonest = INT64_MAX;
  for (const auto& p : pending) soonest = p.deadline < soonest ? p.deadline : soonest;
  for (const auto& s : sending) soonest = s.deadline < soonest ? s.deadline : soonest;
  const std::int64_t wait = soonest - monotonicMs();
  return wait < 0 ? 0 : static_cast<int>(wait);
}

}  // namespace

int runRequestLoop() {
  setNonBlocking(serverSocket);
  pending.reserve(maxPendingConnections);
  sending.reserve(maxSendingConnections);
  const int appEnded = appEndedDescriptor();
  for (;;) {
    pollSet.clear();
    pollSet.push_back(PollFd{serverSocket, POLLIN, 0});
    for (const auto& p : pending) pollSet.push_back(PollFd{p.socket.get(), POLLIN, 0});
    for (const auto& s : sending) pollSet.push_back(PollFd{s.socket.get(), POLLOUT, 0});
    // Children of apps are reaped as they end, not at the next request.
    const std::size_t appEndedAt = pollSet.size();
    if (appEnded >= 0) pollSet.push_back(PollFd{static_cast<SocketHandle>(appEnded), POLLIN, 0});
    // A page edited on disk is forgotten before anything more is served.
    const int pagesChanged = fileCacheWatch();
    const std::size_t pagesChangedAt = pollSet.size();
    if (pagesChanged >= 0) pollSet.push_back(PollFd{static_cast<SocketHandle>(pagesChanged), POLLIN, 0});
    const std::size_t pendingPolled = pending.size();
    const std::size_t sendingPolled = sending.size();
    const int ready = pollSockets(pollSet.data(), static_cast<unsigned>(pollSet.size()), nextWaitMs());
    if (ready < 0 && !netWouldBlock()) {
      netReportError("poll");
      return -1;
    }
    if (pagesChanged >= 0 && pollSet[pagesChangedAt].revents != 0) forgetChangedFiles();
    if (appEnded >= 0 && pollSet[appEndedAt].revents != 0) appsRunning();
    // Replies first: serving a request may add to them, and their entries follow the
    // pending ones.
    if (!sending.empty()) serviceSending(1 + pendingPolled, sendingPolled);
    if (!pending.empty()) servicePending(pendingPolled);
    if (ready > 0 && (pollSet[0].revents & POLLIN) != 0 && acceptSome() < 0) return -1;
  }
}
