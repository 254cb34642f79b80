#include "server/http_replies.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "server/server_state.h"

namespace {

// Replies up to this size reuse one buffer; larger ones (big files) are allocated for
// the request alone so the server does not keep their memory.
constexpr std::size_t retainedReplySize = 64 * 1024;

std::unique_ptr<char[]> retained;
std::unique_ptr<char[]> oneOff;

}  // namespace

void sendToClient(const char* data, std::size_t size) {
  // One send carries the common reply. A reply bigger than the socket's buffer goes on for
  // as long as the client keeps reading; each send is bounded by the connection's send
  // time-out, so a client that stops reading is given up rather than holding the server.
  while (size > 0) {
    const long sent = sendNoSignal(clientSocket, data, size);
    if (sent <= 0) return;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
}

void releaseReplyBuffer() { oneOff.reset(); }

char* replyBuffer(std::size_t size) {
  oneOff.reset();
  if (size > retainedReplySize) {
    oneOff.reset(new (std::nothrow) char[size]);
    return oneOff.get();
  }
  if (!retained) retained.reset(new (std::nothrow) char[retainedReplySize]);
  return retained.get();
}

void failOutOfMemory() {
  sendReply(OutMem);
  delete[] request;
  request = nullptr;
  std::exit(-1);
}

int textReplyHeader(char* out, std::size_t room, std::size_t length) {
  return std::snprintf(out, room,
                       "HTTP/1.1 200 OK\r\nContent-Length: %zu\r\nContent-Type: text/plain\r\n\r\n",
                       length);
}

void sendTextReply(const char* body, std::size_t length) {
  constexpr std::size_t headerRoom = 128;
  char* reply = replyBuffer(length + headerRoom);
  if (reply == nullptr) failOutOfMemory();
  const int header = textReplyHeader(reply, headerRoom, length);
  std::memcpy(reply + header, body, length);
  std::memcpy(reply + header + length, "\r\n\n", 3);
  sendToClient(reply, header + length + 3);
}
