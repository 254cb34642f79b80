// A reply in flight: sent at once as far as the socket takes it, and what it does not
// take kept with its connection, so the request loop sends the rest as the client reads
// and a slow reader never holds the server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/net.h"

/// A reply's bytes in four runs, sent in this order: `head`, what is left of `body` from
/// `bodyAt`, the bytes of `file` from `fileAt` to `fileEnd`, then `tail`.
struct ReplyStream {
  /// Bytes that belong to the caller until keep() copies them.
  std::string_view head;
  /// A body shared with whoever else holds it (a cached file); never changed.
  std::shared_ptr<const std::string> body;
  std::size_t bodyAt = 0;
  /// A file streamed in chunks, so a big reply costs no memory of its own.
  FileReader file;
  std::int64_t fileAt = 0;
  std::int64_t fileEnd = 0;
  /// Bytes with static storage (the CR LF LF that ends a text reply).
  std::string_view tail;

  /// True when nothing is left to send.
  bool finished() const;

  /// Takes a copy of what is left of `head`, so the reply outlives the request's buffers.
  /// False when memory ran out (the reply cannot go on).
  bool keep();

  /// Bytes of memory the reply holds for itself (its copied head).
  std::size_t heldBytes() const { return headCopy_ ? head.size() : 0; }

 private:
  std::unique_ptr<char[]> headCopy_;
};

/// How much one push may send: enough that a reply which fits the socket goes in one send,
/// little enough that a client reading a big file fast never holds the loop for long.
inline constexpr std::size_t replyPushBudget = 256 * 1024;

/// The send buffer of a connection whose reply is still going out (the kernel doubles it
/// for its own accounting).
inline constexpr int connectionSendBuffer = 128 * 1024;

/// What one push of a reply achieved.
enum class PushOutcome {
  Done,     // everything has been sent
  Waiting,  // the socket is full, or the budget was used: push again once it is writable
  Failed,   // the connection failed; the reply cannot go on
};

/// Sends as much of `reply` as `socket` takes now, at most about `budget` bytes; `sent`
/// receives the count. A file that ends before `fileEnd` ends the reply there: only bytes
/// actually read go out.
PushOutcome pushReply(SocketHandle socket, ReplyStream& reply, std::size_t budget, std::size_t& sent);
