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

/// Folder of the built programs: build/bin, or the Windows build's when the environment
/// variable VELMORA_WINDOWS_BUILD names that build's folder (build-windows). The same
/// tests then drive the .exe programs under wine, through the build's `wine` wrapper.
std::filesystem::path binDir();

/// True when the tests drive the Windows build (VELMORA_WINDOWS_BUILD is set).
bool windowsBuild();

/// The built program `name` in binDir(), with ".exe" for the Windows build.
std::filesystem::path program(const std::string& name);

/// `path` as the programs under test name it: itself, or under wine the drive Z: form
/// (Z:\tmp\x for /tmp/x).
std::string asSeenByPrograms(const std::filesystem::path& path);

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
  /// `cwd` named after the program. A Windows program (.exe) of the Windows build runs
  /// under wine; its pid is then wine's process, which is the program's.
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
                          const std::vector<std::string>& args = {},
                          const std::filesystem::path& velmora = program("Velmora"));

/// Starts the console simulator (`consolesim`) in `cwd` on `address` with the `extra`
/// options and waits until its three sockets listen; a test failure when they do not.
std::unique_ptr<Child> startSimulator(
    const std::filesystem::path& cwd, const std::string& address,
    const std::vector<std::string>& extra = {},
    const std::filesystem::path& consolesim = program("consolesim"));

/// Number of open descriptors of process `pid` (from /proc).
int openDescriptors(pid_t pid);

}  // namespace testsupport
