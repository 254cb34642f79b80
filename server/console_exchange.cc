#include "server/console_exchange.h"

#include <memory>
#include <new>
#include <span>

#include "platform/net.h"
#include "server/console_body.h"
#include "server/http_replies.h"
#include "server/osc_decoder.h"
#include "server/osc_text_parser.h"
#include "server/server_state.h"

namespace {

constexpr int replyWaitMs = 500;

// One packet buffer for the whole run, sized by oscMaxSize: the request path allocates
// nothing once it exists.
char* workBuffer() {
  static std::unique_ptr<char[]> buffer;
  if (!buffer) buffer.reset(new (std::nothrow) char[static_cast<std::size_t>(oscMaxSize)]);
  return buffer.get();
}

char* resultBuffer() {
  static std::unique_ptr<char[]> buffer;
  if (!buffer) buffer.reset(new (std::nothrow) char[static_cast<std::size_t>(oscMaxSize)]);
  return buffer.get();
}

// Encodes and sends the body's command on `socket`; 0, -1 or -2 as the operations report.
int sendCommand(char* body, Socket& socket, char*& work) {
  ConsoleTarget target;
  if (!splitConsoleBody(body, target)) return -1;
  if (netStart() != 0) return -1;
  socket.reset(openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (!socket.valid()) return -1;
  work = workBuffer();
  if (work == nullptr) return -2;
  const int length =
      wCparse(std::span<char>(work, static_cast<std::size_t>(oscMaxSize)), target.command);
  if (length < 0) return -2;
  const auto sent = ::sendto(socket.get(), work, static_cast<std::size_t>(length), 0,
                             reinterpret_cast<const sockaddr*>(&target.destination),
                             sizeof target.destination);
  return sent < 0 ? -1 : 0;
}

}  // namespace

int send_OSC_to_Console(char* body) {
  Socket socket;
  char* work = nullptr;
  return sendCommand(body, socket, work);
}

int send_get_OSC_to_Console(char* body, char* text) {
  text[0] = '\0';
  Socket socket;
  char* work = nullptr;
  const int sent = sendCommand(body, socket, work);
  if (sent != 0) return sent;
  const int ready = waitReadable(socket.get(), replyWaitMs);
  if (ready <= 0) return ready;
  // A datagram longer than the buffer arrives cut to it, and is decoded as far as it came.
  const long got = receiveDatagram(socket.get(), work, static_cast<std::size_t>(oscMaxSize));
  if (got <= 0) return got < 0 ? -1 : 0;
  return wDdump(std::span<const unsigned char>(reinterpret_cast<const unsigned char*>(work),
                                               static_cast<std::size_t>(got)),
                std::span<char>(text, static_cast<std::size_t>(oscMaxSize)));
}

void servePutOSC(char* body) {
  const int result = send_OSC_to_Console(body);
  if (result >= 0) {
    sendReply(OK);
  } else if (result == -2) {
    sendReply(OutMem);
  } else {
    sendReply(Err);
  }
}

void servePostOSC(char* body) {
  char* text = resultBuffer();
  if (text == nullptr) failOutOfMemory();
  const int result = send_get_OSC_to_Console(body, text);
  if (result == -2) {
    sendReply(OutMem);
  } else if (result < 0) {
    sendReply(Err);
  } else {
    sendTextReply(text, static_cast<std::size_t>(result));
  }
}
