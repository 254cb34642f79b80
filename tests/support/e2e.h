// End-to-end test support: run the built programs in a scratch directory and talk to
// them over loopback with real sockets.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

/// Folder of the built programs (build/bin).
std::filesystem::path binDir();

/// Folder of the project's sources.
std::filesystem::path sourceDir();

/// A fresh directory under the system's temporary folder, removed with its content.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  /// Writes `content` to `relative` (folders are made as needed).
  void write(const std::string& relative, const std::string& content) const;

 private:
  std::filesystem::path path_;
};

/// A running program; stopped (SIGTERM, then SIGKILL) and reaped when it goes.
class Child {
 public:
  /// Starts `program` with `args` in `cwd`; standard output and error go to files in
  /// `cwd` named after the program.
  Child(const std::filesystem::path& program, const std::vector<std::string>& args,
        const std::filesystem::path& cwd);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  /// Waits for the program to end by itself (up to `limit`); its exit status as the
  /// program returned it (-1 shows as 255), or -1000 on a time-out, -2000 on a signal.
  int wait(std::chrono::milliseconds limit = std::chrono::seconds(10));
  /// Stops the program with SIGTERM; true when it ended within the limit.
  bool stop();
  bool running();
  std::string out() const;
  std::string err() const;

 private:
  pid_t pid_ = -1;
  std::filesystem::path outPath_;
  std::filesystem::path errPath_;
};

/// The whole content of `file`; empty when it cannot be read.
std::string slurp(const std::filesystem::path& file);

/// A TCP port on 127.0.0.1 that was free a moment ago.
int freeTcpPort();
/// A UDP port on 127.0.0.1 that was free a moment ago.
int freeUdpPort();

/// Waits until something accepts TCP connections on 127.0.0.1:`port`.
bool waitForTcpPort(int port, std::chrono::milliseconds limit = std::chrono::seconds(10));

/// Connects to 127.0.0.1:`port`, sends `request` (in one send), and returns everything
/// received until the server closes the connection (or `limit` passes).
std::string exchange(int port, const std::string& request,
                     std::chrono::milliseconds limit = std::chrono::seconds(5));

/// Starts Velmora in `cwd` on a free port with the extra `args`; waits until it listens.
struct RunningServer {
  int port = 0;
  std::unique_ptr<Child> child;
};
RunningServer startServer(const std::filesystem::path& cwd,
                          const std::vector<std::string>& args = {});

/// Number of open descriptors of process `pid` (from /proc).
int openDescriptors(pid_t pid);

}  // namespace testsupport
