// minimal_server: the floor a single-threaded server that closes every connection can
// reach: a blocking accept, one receive, one send of a reply held in memory, close. It
// serves every request with the one file named on its command line, for load comparison.
//
//   minimal_server PORT FILE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: minimal_server PORT FILE\n");
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  std::ostringstream body;
  body << in.rdbuf();
  const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\n" + body.str();
  std::signal(SIGPIPE, SIG_IGN);
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[1])));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, SOMAXCONN) != 0) {
    std::perror("minimal_server");
    return 1;
  }
  char request[4096];
  for (;;) {
    const int connection = accept(listener, nullptr, nullptr);
    if (connection < 0) continue;
    if (recv(connection, request, sizeof request, 0) > 0) {
      if (send(connection, reply.data(), reply.size(), 0) < 0) std::perror("send");
    }
    close(connection);
  }
}
