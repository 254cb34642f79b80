// load_client: measures an HTTP server that closes every connection and may send no
// Content-Length, which keep-alive load tools count as errors. Each request opens a
// connection, sends the whole request in one send, reads until the server closes, and
// records the time from connect to close. Loopback targets only; every run is bounded by
// a request count and a time limit.
//
//   load_client -a 127.0.0.1:PORT [-p /path] [-X METHOD] [-d body] [-c concurrency]
//               [-n requests] [-t seconds] [-w warm-up requests] [-s expected status]
//               [-m minimum reply bytes] [-l label]
//
// Prints one line of key=value pairs: label, conc, n, secs, rps, p50_us, p90_us, p99_us,
// p999_us, max_us, err (refused, reset, short or unexpected replies), timeouts (5 s).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  sockaddr_in target{};
  std::string request;
  std::string label = "-";
  std::string status;  // expected start of the status line after "HTTP/1.1 ", if any
  int concurrency = 1;
  long requests = 10000;
  long warmup = 0;
  double seconds = 10;
  long minBytes = 0;
};

struct Connection {
  int fd = -1;
  Clock::time_point started;
  std::string reply;
  std::size_t sent = 0;
  bool measured = false;  // started after the warm-up
};

[[noreturn]] void usage(const char* why) {
  std::fprintf(stderr, "load_client: %s\n", why);
  std::fprintf(stderr,
               "usage: load_client -a 127.0.0.1:PORT [-p path] [-X method] [-d body] [-c n]\n"
               "                   [-n requests] [-t seconds] [-w warmup] [-s status] [-m bytes] "
               "[-l label]\n");
  std::exit(2);
}

bool parseTarget(const char* text, sockaddr_in& target) {
  const char* colon = std::strrchr(text, ':');
  if (colon == nullptr) return false;
  const std::string host(text, colon);
  const int port = std::atoi(colon + 1);
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<std::uint16_t>(port));
  if (port < 1 || port > 65535 || inet_pton(AF_INET, host.c_str(), &target.sin_addr) != 1) return false;
  // The measurement never leaves the machine.
  return (ntohl(target.sin_addr.s_addr) >> 24) == 127;
}

Options parseOptions(int argc, char** argv) {
  Options o;
  std::string method = "GET";
  std::string path = "/";
  std::string body;
  bool haveTarget = false;
  int c;
  while ((c = getopt(argc, argv, "a:p:X:d:c:n:t:w:s:m:l:")) != -1) {
    switch (c) {
      case 'a':
        if (!parseTarget(optarg, o.target)) usage("the target must be a loopback address:port");
        haveTarget = true;
        break;
      case 'p': path = optarg; break;
      case 'X': method = optarg; break;
      case 'd': body = optarg; break;
      case 'c': o.concurrency = std::max(1, std::atoi(optarg)); break;
      case 'n': o.requests = std::max(1L, std::atol(optarg)); break;
      case 't': o.seconds = std::max(0.1, std::atof(optarg)); break;
      case 'w': o.warmup = std::max(0L, std::atol(optarg)); break;
      case 's': o.status = optarg; break;
      case 'm': o.minBytes = std::atol(optarg); break;
      case 'l': o.label = optarg; break;
      default: usage("unknown option");
    }
  }
  if (!haveTarget) usage("-a is required");
  o.request = method + " " + path + " HTTP/1.1\r\nHost: bench\r\n";
  if (!body.empty()) o.request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  o.request += "\r\n" + body;
  return o;
}

class Runner {
 public:
  explicit Runner(const Options& o) : o_(o), slots_(static_cast<std::size_t>(o.concurrency)) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    latencies_.reserve(static_cast<std::size_t>(o.requests));
  }
  ~Runner() {
    for (auto& s : slots_) closeSlot(s);
    close(epoll_);
  }

  void run() {
    const auto limit = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o_.seconds));
    const auto begin = Clock::now();
    deadline_ = begin + limit;
    for (std::size_t i = 0; i < slots_.size(); ++i) startNext(i);
    epoll_event events[64];
    while (active_ > 0) {
      const int ready = epoll_wait(epoll_, events, 64, 50);
      const auto now = Clock::now();
      for (int e = 0; e < ready; ++e) step(events[e].data.u32, events[e].events);
      expireSlow(now);
      if (now > deadline_) stopAll();
    }
    elapsed_ = std::chrono::duration<double>(Clock::now() - measuredFrom_).count();
  }

  void report() {
    std::sort(latencies_.begin(), latencies_.end());
    auto pct = [&](double p) {
      if (latencies_.empty()) return 0.0;
      const auto at = static_cast<std::size_t>(p * static_cast<double>(latencies_.size() - 1) + 0.5);
      return latencies_[at];
    };
    const double n = static_cast<double>(latencies_.size());
    std::printf(
        "label=%s conc=%d n=%zu secs=%.3f rps=%.1f p50_us=%.1f p90_us=%.1f p99_us=%.1f "
        "p999_us=%.1f max_us=%.1f err=%ld timeouts=%ld\n",
        o_.label.c_str(), o_.concurrency, latencies_.size(), elapsed_, elapsed_ > 0 ? n / elapsed_ : 0,
        pct(0.5), pct(0.9), pct(0.99), pct(0.999), latencies_.empty() ? 0.0 : latencies_.back(), errors_,
        timeouts_);
  }

 private:
  void closeSlot(Connection& s) {
    if (s.fd >= 0) close(s.fd);
    s.fd = -1;
  }

  void startNext(std::size_t index) {
    Connection& s = slots_[index];
    closeSlot(s);
    if (started_ >= o_.warmup + o_.requests || Clock::now() > deadline_) return;
    if (started_ == o_.warmup) measuredFrom_ = Clock::now();
    s.measured = started_ >= o_.warmup;
    ++started_;
    s.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(s.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    s.reply.clear();
    s.sent = 0;
    s.started = Clock::now();
    if (connect(s.fd, reinterpret_cast<const sockaddr*>(&o_.target), sizeof o_.target) != 0 &&
        errno != EINPROGRESS) {
      ++errors_;
      closeSlot(s);
      return startNext(index);
    }
    epoll_event ev{};
    ev.events = EPOLLOUT | EPOLLIN;
    ev.data.u32 = static_cast<std::uint32_t>(index);
    epoll_ctl(epoll_, EPOLL_CTL_ADD, s.fd, &ev);
    ++active_;
  }

  void finish(std::size_t index, bool ok) {
    Connection& s = slots_[index];
    if (ok && s.measured) {
      latencies_.push_back(std::chrono::duration<double, std::micro>(Clock::now() - s.started).count());
    } else if (!ok) {
      ++errors_;
    }
    epoll_ctl(epoll_, EPOLL_CTL_DEL, s.fd, nullptr);
    --active_;
    startNext(index);
  }

  bool replyAsExpected(const std::string& reply) const {
    if (static_cast<long>(reply.size()) < o_.minBytes) return false;
    if (o_.status.empty()) return reply.rfind("HTTP/1.1 ", 0) == 0;
    return reply.compare(0, 9 + o_.status.size(), "HTTP/1.1 " + o_.status) == 0;
  }

  void step(std::uint32_t index, std::uint32_t events) {
    Connection& s = slots_[index];
    if (s.fd < 0) return;
    if ((events & EPOLLOUT) != 0 && s.sent < o_.request.size()) {
      const ssize_t n = send(s.fd, o_.request.data() + s.sent, o_.request.size() - s.sent, MSG_NOSIGNAL);
      if (n < 0 && errno != EAGAIN) return finish(index, false);
      if (n > 0) s.sent += static_cast<std::size_t>(n);
      if (s.sent == o_.request.size()) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = index;
        epoll_ctl(epoll_, EPOLL_CTL_MOD, s.fd, &ev);
      }
    }
    if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) {
      char buffer[65536];
      for (;;) {
        const ssize_t n = recv(s.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
          s.reply.append(buffer, static_cast<std::size_t>(n));
          continue;
        }
        if (n == 0) return finish(index, replyAsExpected(s.reply));
        if (errno == EAGAIN) return;
        return finish(index, false);
      }
    }
  }

  void expireSlow(Clock::time_point now) {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      if (slots_[i].fd >= 0 && now - slots_[i].started > std::chrono::seconds(5)) {
        ++timeouts_;
        --errors_;  // finish counts it; a time-out is reported on its own
        finish(i, false);
      }
    }
  }

  void stopAll() {
    for (auto& s : slots_) {
      if (s.fd < 0) continue;
      epoll_ctl(epoll_, EPOLL_CTL_DEL, s.fd, nullptr);
      closeSlot(s);
      --active_;
    }
  }

  const Options& o_;
  std::vector<Connection> slots_;
  std::vector<double> latencies_;
  int epoll_ = -1;
  int active_ = 0;
  long started_ = 0;
  long errors_ = 0;
  long timeouts_ = 0;
  double elapsed_ = 0;
  Clock::time_point deadline_;
  Clock::time_point measuredFrom_ = Clock::now();
};

}  // namespace

int main(int argc, char** argv) {
  const Options options = parseOptions(argc, argv);
  Runner runner(options);
  runner.run();
  runner.report();
  return 0;
}
