#include "server/reply_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// File replies are read in chunks of this size into one buffer for the whole run: a reply
// in flight holds no file bytes of its own between pushes.
constexpr std::size_t fileChunk = 128 * 1024;

char* chunkBuffer() {
  static std::unique_ptr<char[]> buffer(new (std::nothrow) char[fileChunk]);
  return buffer.get();
}

// Advances `run` past up to `count` of its bytes; what is left of `count`.
std::size_t consume(std::string_view& run, std::size_t count) {
  const std::size_t used = std::min(count, run.size());
  run.remove_prefix(used);
  return count - used;
}

}  // namespace

bool ReplyStream::finished() const {
  return head.empty() && (!body || bodyAt >= body->size()) && fileAt >= fileEnd && tail.empty();
}

bool ReplyStream::keep() {
  if (head.empty() || headCopy_) return true;
  headCopy_.reset(new (std::nothrow) char[head.size()]);
  if (!headCopy_) return false;
  std::memcpy(headCopy_.get(), head.data(), head.size());
  head = std::string_view(headCopy_.get(), head.size());
  return true;
}

PushOutcome pushReply(SocketHandle socket, ReplyStream& reply, std::size_t budget, std::size_t& sent) {
  sent = 0;
  while (!reply.finished()) {
    if (sent >= budget) return PushOutcome::Waiting;
    SendPiece pieces[4];
    unsigned count = 0;
    std::size_t offered = 0;
    auto offer = [&](const char* data, std::size_t size) {
      if (size == 0) return;
      pieces[count++] = SendPiece{data, size};
      offered += size;
    };
    offer(reply.head.data(), reply.head.size());
    if (reply.body && reply.bodyAt < reply.body->size()) {
      offer(reply.body->data() + reply.bodyAt, reply.body->size() - reply.bodyAt);
    }
    std::string_view chunk;
    if (reply.fileAt < reply.fileEnd) {
      char* buffer = chunkBuffer();
      if (buffer == nullptr) return PushOutcome::Failed;
      const auto want = static_cast<std::size_t>(std::min<std::int64_t>(reply.fileEnd - reply.fileAt, fileChunk));
      const std::int64_t got = reply.file.readAt(reply.fileAt, buffer, want);
      if (got < static_cast<std::int64_t>(want)) reply.fileEnd = reply.fileAt + std::max<std::int64_t>(got, 0);
      chunk = std::string_view(buffer, static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
      offer(chunk.data(), chunk.size());
    }
    const bool lastRun = reply.fileAt + static_cast<std::int64_t>(chunk.size()) >= reply.fileEnd;
    if (lastRun) offer(reply.tail.data(), reply.tail.size());
    if (count == 0) break;  // a file that ended early leaves nothing more to send
    const long got = sendPieces(socket, pieces, count);
    if (got < 0) return netWouldBlock() ? PushOutcome::Waiting : PushOutcome::Failed;
    auto left = static_cast<std::size_t>(got);
    sent += left;
    left = consume(reply.head, left);
    if (reply.body) {
      const std::size_t fromBody = std::min(left, reply.body->size() - std::min(reply.bodyAt, reply.body->size()));
      reply.bodyAt += fromBody;
      left -= fromBody;
    }
    const std::size_t fromFile = std::min(left, chunk.size());
    reply.fileAt += static_cast<std::int64_t>(fromFile);
    left -= fromFile;
    if (lastRun) consume(reply.tail, left);
    if (static_cast<std::size_t>(got) < offered) return PushOutcome::Waiting;
  }
  return PushOutcome::Done;
}
