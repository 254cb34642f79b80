// consolesim: a UDP peer that answers like the consoles, for tests, benchmarks and demos.
// One thread, one readiness wait over at most three sockets, ended by a stop request
// (Ctrl-C, SIGTERM) as well.
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform/net.h"
#include "platform/std_streams.h"
#include "platform/stop_requests.h"
#include "sim/console_responder.h"
#include "sim/console_state.h"
#include "sim/sim_log.h"
#include "sim/sim_options.h"

namespace {

struct Listener {
  Endpoint endpoint;
  Socket socket;
  ConsoleState* state;
};

void printLine(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string addressText(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

std::string peerText(const sockaddr_in& peer) {
  return addressText(peer.sin_addr) + ":" + std::to_string(ntohs(peer.sin_port));
}

// The address this host would use to reach `peer`: what a console bound to every
// interface reports as its own. Asking the routing table costs one unsent socket.
std::string localAddressFacing(const sockaddr_in& peer) {
  Socket probe(openSocket(AF_INET, SOCK_DGRAM, 0));
  sockaddr_in target = peer;
  if (target.sin_port == 0) target.sin_port = htons(9);
  sockaddr_in local{};
  SockLen length = sizeof local;
  if (!probe.valid() ||
      connect(probe.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 ||
      getsockname(probe.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    return {};
  }
  return addressText(local.sin_addr);
}

std::string ownAddress(const SimOptions& options, const sockaddr_in& peer) {
  if (options.address != "0.0.0.0") return options.address;
  std::string facing = localAddressFacing(peer);
  return facing.empty() ? options.address : facing;
}

// Binds one socket; on failure prints why and returns false.
bool openListener(Endpoint endpoint, const SimOptions& options, int port, ConsoleState* state,
                  std::vector<Listener>& listeners) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, options.address.c_str(), &address.sin_addr);
  Socket socket(openSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (!socket.valid() ||
      bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    std::fprintf(stderr, "consolesim: cannot bind %s to %s:%d: %s\n",
                 std::string(endpointName(endpoint)).c_str(), options.address.c_str(), port,
                 netErrorText(netLastError()).c_str());
    return false;
  }
  listeners.push_back(Listener{endpoint, std::move(socket), state});
  return true;
}

int boundPort(const Listener& listener) {
  sockaddr_in address{};
  SockLen length = sizeof address;
  getsockname(listener.socket.get(), reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

void sendReply(const Listener& listener, const SimOptions& options, const sockaddr_in& peer,
               const std::string& reply) {
  const std::string kind(endpointName(listener.endpoint));
  const auto bytes = std::span(reinterpret_cast<const unsigned char*>(reply.data()), reply.size());
  if (options.verbose) {
    printLine(logLine(kind, Direction::Sent, peerText(peer), bytes,
                      listener.endpoint != Endpoint::WingDiscovery));
  }
  if (sendto(listener.socket.get(), reply.data(), static_cast<int>(reply.size()), 0,
             reinterpret_cast<const sockaddr*>(&peer), sizeof peer) < 0) {
    std::fprintf(stderr, "consolesim: %s: reply to %s failed: %s\n", kind.c_str(),
                 peerText(peer).c_str(), netErrorText(netLastError()).c_str());
  }
}

void handleDatagram(Listener& listener, const SimOptions& options, const sockaddr_in& peer,
                    std::span<const unsigned char> bytes) {
  const std::string kind(endpointName(listener.endpoint));
  const bool osc = listener.endpoint != Endpoint::WingDiscovery;
  if (options.verbose || (options.silent && !options.quiet)) {
    printLine(logLine(kind, Direction::Received, peerText(peer), bytes, osc));
  }
  if (options.silent) return;
  const Response response = respond(listener.endpoint, *listener.state, bytes, ownAddress(options, peer));
  if (options.verbose || (response.ignored && !options.quiet)) {
    printLine(kind + " " + peerText(peer) + ": " + response.note);
  }
  if (!response.reply.empty()) sendReply(listener, options, peer, response.reply);
}

void receiveOne(Listener& listener, const SimOptions& options, std::vector<unsigned char>& buffer) {
  sockaddr_in peer{};
  const long received = receiveDatagram(
      listener.socket.get(), reinterpret_cast<char*>(buffer.data()), buffer.size(), &peer);
  if (received < 0) {
    if (!netWouldBlock()) {
      std::fprintf(stderr, "consolesim: %s: receive failed: %s\n",
                   std::string(endpointName(listener.endpoint)).c_str(),
                   netErrorText(netLastError()).c_str());
    }
    return;
  }
  handleDatagram(listener, options, peer,
                 std::span<const unsigned char>(buffer.data(), static_cast<std::size_t>(received)));
}

// Serves until a stop request; 0 then, 1 when the wait itself fails.
int serve(std::vector<Listener>& listeners, const SimOptions& options) {
  std::vector<unsigned char> buffer(65536);  // the largest UDP payload fits whole
  std::vector<PollFd> waits;
  for (const Listener& listener : listeners)
    waits.push_back(PollFd{listener.socket.get(), POLLIN, 0});
  for (;;) {
    const int ready = waitForSocketsOrStop(waits.data(), static_cast<unsigned>(waits.size()));
    if (ready == 0) return 0;
    if (ready < 0) {
      netReportError("consolesim: wait");
      return 1;
    }
    for (std::size_t i = 0; i < waits.size(); ++i) {
      if (waits[i].revents != 0) receiveOne(listeners[i], options, buffer);
    }
  }
}

bool openListeners(const SimOptions& options, ConsoleState& x32, ConsoleState& wing,
                   std::vector<Listener>& listeners) {
  if (options.x32 && !openListener(Endpoint::X32, options, options.x32Port, &x32, listeners)) {
    return false;
  }
  return !options.wing ||
         (openListener(Endpoint::WingDiscovery, options, options.wingDiscoveryPort, &wing,
                       listeners) &&
          openListener(Endpoint::WingOsc, options, options.wingOscPort, &wing, listeners));
}

}  // namespace

int main(int argc, char** argv) {
  keepStandardStreamsExact();
  SimOptions options;
  const std::string error = parseSimOptions(
      std::span<const char* const>(const_cast<const char* const*>(argv) + 1,
                                   static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)),
      options);
  if (!error.empty()) {
    std::fprintf(stderr, "consolesim: %s\n%s", error.c_str(), simUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(simUsage, stdout);
    return 0;
  }
  if (const int code = netStart(); code != 0) {
    std::fprintf(stderr, "consolesim: the socket layer did not start: %s\n",
                 netErrorText(code).c_str());
    return 1;
  }
  catchStopRequests();
  ConsoleState x32 = ConsoleState::x32();
  ConsoleState wing = ConsoleState::wing();
  std::vector<Listener> listeners;
  if (!openListeners(options, x32, wing, listeners)) return 1;
  for (const Listener& listener : listeners) {
    printLine("consolesim: " + std::string(endpointName(listener.endpoint)) + " listening on " +
              options.address + ":" + std::to_string(boundPort(listener)));
  }
  const int status = serve(listeners, options);
  if (!options.quiet && status == 0) {
    printLine("consolesim: stopped by signal " + std::to_string(stopRequestSignal()));
  }
  return status;
}
