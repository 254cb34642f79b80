// A scripted UDP peer for end-to-end tests: records every datagram it receives and answers
// each with the replies it was given (none, one, several, or an empty datagram).
#pragma once

#include <arpa/inet.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class FakeConsole {
 public:
  /// Binds UDP `address`:`port` (port 0: any free port).
  explicit FakeConsole(const std::string& address = "127.0.0.1", int port = 0);
  ~FakeConsole();
  FakeConsole(const FakeConsole&) = delete;
  FakeConsole& operator=(const FakeConsole&) = delete;

  int port() const { return port_; }
  /// What every later datagram is answered with, in order, to its sender.
  void answerWith(std::vector<std::string> replies);
  /// Waits for the `n`th datagram (1-based) to have arrived; false on time-out.
  bool waitFor(std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(3));
  /// Copies of the datagrams received so far.
  std::vector<std::string> received();
  /// Source port of the last datagram received.
  int lastSenderPort();

 private:
  void run();

  int fd_ = -1;
  int port_ = 0;
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<std::string> replies_;
  std::vector<std::string> received_;
  int lastSenderPort_ = 0;
  std::thread thread_;
};

}  // namespace testsupport
