#include "server/http_replies.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "server/server_state.h"

namespace {

std::unique_ptr<char[]> retained;
std::unique_ptr<char[]> oneOff;

// What the socket did not take of the current reply, until the loop takes it over.
std::unique_ptr<ReplyStream> unsent;

}  // namespace

void sendStream(ReplyStream&& reply) {
  std::size_t sent = 0;
  // A reply that fits the socket goes out with this one send and costs nothing more.
  if (pushReply(clientSocket, reply, replyPushBudget, sent) != PushOutcome::Waiting) return;
  if (!reply.keep()) return;
  unsent.reset(new (std::nothrow) ReplyStream(std::move(reply)));
}

void sendToClient(const char* data, std::size_t size) {
  ReplyStream reply;
  reply.head = std::string_view(data, size);
  sendStream(std::move(reply));
}

std::unique_ptr<ReplyStream> takeUnsentReply() { return std::move(unsent); }

void releaseReplyBuffer() { oneOff.reset(); }

char* replyBuffer(std::size_t size) {
  oneOff.reset();
  if (size > smallReplySize) {
    oneOff.reset(new (std::nothrow) char[size]);
    return oneOff.get();
  }
  if (!retained) retained.reset(new (std::nothrow) char[smallReplySize]);
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
