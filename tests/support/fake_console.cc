#include "tests/support/fake_console.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {

FakeConsole::FakeConsole(const std::string& address, int port) {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = inet_addr(address.c_str());
  if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd_);
    throw std::runtime_error("fake console cannot bind " + address);
  }
  socklen_t len = sizeof a;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { run(); });
}

FakeConsole::~FakeConsole() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  thread_.join();
  close(fd_);
}

void FakeConsole::answerWith(std::vector<std::string> replies) {
  std::lock_guard lock(mutex_);
  replies_ = std::move(replies);
}

bool FakeConsole::waitFor(std::size_t n, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, limit, [&] { return received_.size() >= n; });
}

std::vector<std::string> FakeConsole::received() {
  std::lock_guard lock(mutex_);
  return received_;
}

int FakeConsole::lastSenderPort() {
  std::lock_guard lock(mutex_);
  return lastSenderPort_;
}

void FakeConsole::run() {
  char buffer[65536];
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
    }
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) continue;
    std::vector<std::string> replies;
    {
      std::lock_guard lock(mutex_);
      received_.emplace_back(buffer, static_cast<std::size_t>(n));
      lastSenderPort_ = ntohs(from.sin_port);
      replies = replies_;
    }
    for (const auto& r : replies) {
      sendto(fd_, r.data(), r.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
    arrived_.notify_all();
  }
}

}  // namespace testsupport
