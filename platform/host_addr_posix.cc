#include "platform/host_addr.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>
#include <vector>

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
  std::vector<InterfaceAddress> interfaces;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_netmask == nullptr) continue;
    if (entry->ifa_addr->sa_family != AF_INET) continue;
    interfaces.push_back(InterfaceAddress{ipv4Of(entry->ifa_addr), ipv4Of(entry->ifa_netmask),
                                          (entry->ifa_flags & IFF_UP) != 0});
  }
  ::freeifaddrs(list);
  return addressOn24BitSubnet(interfaces);
}
