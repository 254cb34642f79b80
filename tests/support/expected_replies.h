// The server's reply bytes as a client sees them, written out independently of the server's
// own definitions so a change on either side shows up in every test that pins them.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

// The fixed replies: status line and header block, no body.
inline const std::string OK = "HTTP/1.1 200 OK\r\n\n";
inline const std::string NotFound = "HTTP/1.1 404 Not Found\r\n\n";
inline const std::string Timeout = "HTTP/1.1 408 Request Timeout\r\nConnection: Close\r\n\n";
inline const std::string Err = "HTTP/1.1 500 Internal Server Error\r\n\n";
inline const std::string Bad = "HTTP/1.1 501 Bad Request\r\n\n";
inline const std::string OutMem = "HTTP/1.1 507 Insufficient Storage\r\n\n";
inline const std::string NotImpl = "HTTP/1.1 510 Request Not Implemented\r\n\n";

/// The text reply of /ServerPostOSC and the app routes around `body` (which carries its
/// own NUL where the route sends one).
inline std::string textReply(std::string_view body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nContent-Type: text/plain\r\n\r\n" + std::string(body) + "\r\n\n";
}

}  // namespace testsupport
