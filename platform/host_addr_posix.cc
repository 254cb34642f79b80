#include "platform/host_addr.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

std::uint32_t ipv4Of(const sockaddr* address) {
  sockaddr_in in;
  std::memcpy(&in, address, sizeof in);
  return in.sin_addr.s_addr;
}

}  // namespace

int hostAddressOn24BitSubnet() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return 0;
  int found = 0;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    // Only interfaces that are up carry an address the way "ipconfig" lists it.
    if (entry->ifa_addr == nullptr || entry->ifa_netmask == nullptr) continue;
    if (entry->ifa_addr->sa_family != AF_INET || (entry->ifa_flags & IFF_UP) == 0) continue;
    if (ipv4Of(entry->ifa_netmask) != htonl(0xFFFFFF00u)) continue;
    found = std::bit_cast<int>(ipv4Of(entry->ifa_addr));
    break;
  }
  ::freeifaddrs(list);
  return found;
}
