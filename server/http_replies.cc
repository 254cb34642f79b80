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

// Sends bigger than a socket buffer can block on a client that stops reading; bound them.
constexpr std::size_t boundedSendSize = 64 * 1024;
constexpr int boundedSendMs = 2000;

std::unique_ptr<char[]> retained;
std::unique_ptr<char[]> oneOff;

}  // namespace

void sendToClient(const char* data, std::size_t size) {
  if (size > boundedSendSize) setSendTimeout(clientSocket, boundedSendMs);
  sendNoSignal(clientSocket, data, size);
}

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
