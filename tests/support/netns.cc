#include "tests/support/netns.h"

#include <net/if.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace testsupport {

namespace {

std::string netnsId() {
  std::error_code ignored;
  return std::filesystem::read_symlink("/proc/self/ns/net", ignored).string();
}

}  // namespace

std::vector<std::string> interfaceNames() {
  std::vector<std::string> names;
  if (struct if_nameindex* list = if_nameindex()) {
    for (const struct if_nameindex* entry = list; entry->if_index != 0; ++entry) {
      names.emplace_back(entry->if_name);
    }
    if_freenameindex(list);
  }
  return names;
}

bool onlyLoopback() { return interfaceNames() == std::vector<std::string>{"lo"}; }

int runIp(const std::vector<std::string>& args) {
  const pid_t child = fork();
  if (child == 0) {
    std::vector<std::string> all{"ip"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp("ip", argv.data());
    execv("/usr/sbin/ip", argv.data());
    execv("/sbin/ip", argv.data());
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 127;
  return WEXITSTATUS(status);
}

Network enterPrivateNetwork(const std::vector<std::string>& addresses, std::string& why) {
  const std::string before = netnsId();
  if (unshare(CLONE_NEWNET) != 0) {
    why = std::string("network namespaces unavailable: unshare: ") + std::strerror(errno);
    return Network::Unavailable;
  }
  if (before.empty() || netnsId() == before) {
    why = "unshare reported success but the network namespace did not change";
    return Network::Unsafe;
  }
  if (!onlyLoopback()) {
    why = "the new network namespace holds more than the loopback interface";
    return Network::Unsafe;
  }
  if (runIp({"link", "set", "lo", "up"}) == 127) {
    why = "the ip command is unavailable";
    return Network::Unavailable;
  }
  for (const auto& address : addresses) {
    if (runIp({"addr", "add", address, "dev", "lo"}) != 0) {
      why = "ip addr add " + address + " failed";
      return Network::Unsafe;
    }
  }
  if (runIp({"route", "add", "default", "dev", "lo"}) != 0) {
    why = "ip route add default failed";
    return Network::Unsafe;
  }
  return Network::Ready;
}

}  // namespace testsupport
