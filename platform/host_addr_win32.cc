#include "platform/host_addr.h"

// winsock2.h first: iphlpapi.h needs its types.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// The adapter list, or null when it cannot be read. The size it needs can grow between
// two calls (an adapter coming up), so a few attempts are made.
std::unique_ptr<unsigned char[]> readAdapters() {
  constexpr ULONG flags =
      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ULONG size = 16 * 1024;
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size]);
    if (!buffer) return nullptr;
    auto* first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get());
    const ULONG result = GetAdaptersAddresses(AF_INET, flags, nullptr, first, &size);
    if (result == ERROR_SUCCESS) return buffer;
    if (result != ERROR_BUFFER_OVERFLOW) return nullptr;
  }
  return nullptr;
}

void addAddresses(const IP_ADAPTER_ADDRESSES& adapter, std::vector<InterfaceAddress>& into) {
  for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter.FirstUnicastAddress; unicast != nullptr;
       unicast = unicast->Next) {
    const SOCKADDR* address = unicast->Address.lpSockaddr;
    if (address == nullptr || address->sa_family != AF_INET) continue;
    sockaddr_in in;
    std::memcpy(&in, address, sizeof in);
    into.push_back(InterfaceAddress{in.sin_addr.s_addr,
                                    ipv4MaskOfPrefix(unicast->OnLinkPrefixLength),
                                    adapter.OperStatus == IfOperStatusUp});
  }
}

}  // namespace

int hostAddressOn24BitSubnet() {
  const std::unique_ptr<unsigned char[]> buffer = readAdapters();
  if (!buffer) return 0;
  std::vector<InterfaceAddress> interfaces;
  for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.get());
       adapter != nullptr; adapter = adapter->Next) {
    addAddresses(*adapter, interfaces);
  }
  return addressOn24BitSubnet(interfaces);
}
