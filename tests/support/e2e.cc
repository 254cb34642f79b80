#include "tests/support/e2e.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace testsupport {

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

// The Windows build's folder, or empty when the tests drive the native programs.
fs::path windowsBuildDir() {
  const char* dir = std::getenv("VELMORA_WINDOWS_BUILD");
  return dir != nullptr ? fs::path(dir) : fs::path();
}

}  // namespace

bool windowsBuild() { return !windowsBuildDir().empty(); }

fs::path binDir() { return windowsBuild() ? windowsBuildDir() / "bin" : fs::path(VELMORA_BIN_DIR); }

fs::path program(const std::string& name) {
  const fs::path file = binDir() / (windowsBuild() ? name + ".exe" : name);
  if (!fs::exists(file)) {
    throw std::runtime_error(
        file.string() + " is missing" +
        (windowsBuild() ? ": build it with cmake --build --preset windows" : ""));
  }
  return file;
}

std::string asSeenByPrograms(const fs::path& path) {
  if (!windowsBuild()) return path.string();
  std::string text = "Z:" + path.string();
  for (char& c : text) c = c == '/' ? '\\' : c;
  return text;
}

fs::path sourceDir() { return VELMORA_SOURCE_DIR; }

TempDir::TempDir() {
  std::random_device seed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = fs::temp_directory_path() / ("velmora-test-" + std::to_string(seed()));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no temporary directory");
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void TempDir::write(const std::string& relative, const std::string& content) const {
  const fs::path file = path_ / relative;
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

Child::Child(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd) {
  const std::string name = program.filename().string();
  outPath_ = cwd / (name + ".stdout");
  errPath_ = cwd / (name + ".stderr");
  std::vector<std::string> all{program.string()};
  if (windowsBuild() && program.extension() == ".exe") {
    all.insert(all.begin(), (windowsBuildDir() / "wine").string());
  }
  all.insert(all.end(), args.begin(), args.end());
  pid_ = fork();
  if (pid_ == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
    const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
}

Child::~Child() {
  if (pid_ > 0 && running()) stop();
}

bool Child::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    pid_ = -pid_;  // reaped: remember it ended
    return false;
  }
  return r == 0;
}

int Child::wait(milliseconds limit) {
  const auto deadline = steady_clock::now() + limit;
  while (steady_clock::now() < deadline) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      pid_ = -pid_;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return -2000;
    }
    std::this_thread::sleep_for(milliseconds(5));
  }
  return -1000;
}

bool Child::stop() {
  if (pid_ <= 0) return true;
  kill(pid_, SIGTERM);
  if (wait(seconds(3)) != -1000) return true;
  kill(pid_, SIGKILL);
  wait(seconds(3));
  return false;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Child::out() const { return slurp(outPath_); }
std::string Child::err() const { return slurp(errPath_); }

static int freePort(int type) {
  const int s = socket(AF_INET, type, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

int freeTcpPort() { return freePort(SOCK_STREAM); }
int freeUdpPort() { return freePort(SOCK_DGRAM); }

static int connectTo(int port) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(s);
    return -1;
  }
  return s;
}

bool waitForTcpPort(int port, milliseconds limit) {
  const auto deadline = steady_clock::now() + limit;
  while (steady_clock::now() < deadline) {
    const int s = connectTo(port);
    if (s >= 0) {
      close(s);
      return true;
    }
    std::this_thread::sleep_for(milliseconds(10));
  }
  return false;
}

std::string exchange(int port, const std::string& request, milliseconds limit) {
  const int s = connectTo(port);
  if (s < 0) return "<connect failed>";
  send(s, request.data(), request.size(), MSG_NOSIGNAL);
  std::string reply;
  const auto deadline = steady_clock::now() + limit;
  char buffer[65536];
  while (steady_clock::now() < deadline) {
    pollfd p{s, POLLIN, 0};
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (poll(&p, 1, static_cast<int>(left > 0 ? left : 0)) <= 0) break;
    const ssize_t n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  close(s);
  return reply;
}

RunningServer startServer(const fs::path& cwd, const std::vector<std::string>& args,
                          const fs::path& velmora) {
  RunningServer server;
  for (int attempt = 0; attempt < 5; ++attempt) {
    server.port = freeTcpPort();
    std::vector<std::string> all{"-p", std::to_string(server.port)};
    all.insert(all.end(), args.begin(), args.end());
    server.child = std::make_unique<Child>(velmora, all, cwd);
    if (waitForTcpPort(server.port, seconds(5))) return server;
    server.child->stop();
  }
  throw std::runtime_error("Velmora did not start");
}

std::unique_ptr<Child> startSimulator(const fs::path& cwd, const std::string& address,
                                      const std::vector<std::string>& extra,
                                      const fs::path& consolesim) {
  std::vector<std::string> args{"-a", address};
  args.insert(args.end(), extra.begin(), extra.end());
  auto sim = std::make_unique<Child>(consolesim, args, cwd);
  const auto deadline = steady_clock::now() + seconds(10);
  while (steady_clock::now() < deadline && sim->running()) {
    const std::string out = sim->out();
    std::size_t lines = 0;
    for (std::size_t at = out.find("listening on"); at != std::string::npos;
         at = out.find("listening on", at + 1)) {
      ++lines;
    }
    if (lines >= 3) return sim;
    std::this_thread::sleep_for(milliseconds(10));
  }
  ADD_FAILURE() << "consolesim did not listen on " << address << ": " << sim->err();
  return sim;
}

int openDescriptors(pid_t pid) {
  int count = 0;
  std::error_code ec;
  for ([[maybe_unused]] const auto& entry :
       fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    ++count;
  }
  return count;
}

}  // namespace testsupport
