// A private network for tests of programs that broadcast: this process moves into a network
// namespace of its own that holds only the loopback interface, so nothing it or its
// children send can leave the machine.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

/// The names of the network interfaces this process sees.
std::vector<std::string> interfaceNames();

/// Runs "ip <args>" in the current namespace; its exit status, 127 when it cannot run.
int runIp(const std::vector<std::string>& args);

enum class Network {
  Ready,        // inside a fresh namespace holding only "lo"
  Unavailable,  // no namespace could be made here: skip the test
  Unsafe,       // something is not as it must be: fail the test, send nothing
};

/// Leaves the current network namespace for a new one with only "lo", brings it up with
/// `addresses` (CIDR) and a default route over it, so that a broadcast stays inside. `why`
/// says what went wrong when the result is not Ready.
Network enterPrivateNetwork(const std::vector<std::string>& addresses, std::string& why);

/// True while this process is inside a namespace whose only interface is "lo": checked
/// again right before anything that broadcasts starts.
bool onlyLoopback();

}  // namespace testsupport
