// The fixed replies every handler answers with, and the text reply framing.
//
// A fixed reply goes out as its text alone: a status line, a header block that ends with
// CR LF LF, no Content-Type, no Content-Length and no body. With nothing to sniff, a browser
// that navigates to one shows its own error page for the status; fetch() sees the status
// and an empty text. The sizes below count the array's NUL, which is never sent.
#pragma once

#include <cstddef>

#include "server/reply_stream.h"

inline constexpr char OK[] = "HTTP/1.1 200 OK\r\n\n";
inline constexpr char NotFound[] = "HTTP/1.1 404 Not Found\r\n\n";
inline constexpr char Timeout[] = "HTTP/1.1 408 Request Timeout\r\nConnection: Close\r\n\n";
inline constexpr char Err[] = "HTTP/1.1 500 Internal Server Error\r\n\n";
inline constexpr char Bad[] = "HTTP/1.1 501 Bad Request\r\n\n";
inline constexpr char OutMem[] = "HTTP/1.1 507 Insufficient Storage\r\n\n";
inline constexpr char NotImpl[] = "HTTP/1.1 510 Request Not Implemented\r\n\n";

static_assert(sizeof OK == 19);
static_assert(sizeof NotFound == 26);
static_assert(sizeof Timeout == 51);
static_assert(sizeof Err == 38);
static_assert(sizeof Bad == 28);
static_assert(sizeof OutMem == 37);
static_assert(sizeof NotImpl == 40);

/// Sends `reply` to the current connection with one send as far as the socket takes it
/// now; what it does not take is kept (takeUnsentReply) for the request loop to send as
/// the client reads. A failure ends the reply; nothing else is done about it.
void sendStream(ReplyStream&& reply);

/// Sends `size` bytes to the current connection, as sendStream does.
void sendToClient(const char* data, std::size_t size);

/// The part of the current request's reply that the socket did not take, or null. The
/// loop calls it once after each request and keeps it with the connection.
std::unique_ptr<ReplyStream> takeUnsentReply();

/// Sends a fixed reply's text, without the array's terminating NUL.
template <std::size_t N>
void sendReply(const char (&reply)[N]) {
  sendToClient(reply, N - 1);
}

/// Replies up to this size are built in one buffer kept for the whole run.
inline constexpr std::size_t smallReplySize = 64 * 1024;

/// A buffer of at least `size` bytes for building one reply; null when it cannot be had.
/// Small replies reuse one buffer for the whole run, so the request path allocates nothing.
char* replyBuffer(std::size_t size);

/// Frees a buffer that replyBuffer made for one big reply; called once the reply is sent.
void releaseReplyBuffer();

/// Sends OutMem, frees the request buffer and ends the server with status -1: what an
/// allocation failure while building a reply does.
[[noreturn]] void failOutOfMemory();

/// Sends the text reply: a 200 header whose Content-Length is `length`, the `length`
/// bytes at `body`, then CR LF LF, in one buffer and one send. Ends the server through
/// failOutOfMemory when the buffer cannot be had.
void sendTextReply(const char* body, std::size_t length);

/// Bytes of the text reply header for `length` (without its NUL), for sizing buffers.
int textReplyHeader(char* out, std::size_t room, std::size_t length);
