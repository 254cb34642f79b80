#include "sim/console_responder.h"

#include <algorithm>
#include <array>

#include "osc/osc_builder.h"

namespace {

std::string valueReply(std::string_view address, const StateValue& value) {
  const std::string path(address);
  const void* argument = value.type == 's' ? static_cast<const void*>(value.text.c_str())
                                           : static_cast<const void*>(&value.number);
  std::string reply(static_cast<std::size_t>(XfprintEnd(0, path.c_str(), value.type, argument)),
                    '\0');
  Xfprint(reply.data(), 0, path.c_str(), value.type, argument);
  return reply;
}

std::string xinfoReply(std::string_view ownAddress) {
  const std::string own(ownAddress);
  const std::array<const char*, 6> fields{"/xinfo", ",ssss", own.c_str(), simName, x32Model,
                                          simVersion};
  int end = 0;
  for (const char* field : fields) end = XsprintEnd(end, 's', field);
  std::string reply(static_cast<std::size_t>(end), '\0');
  int index = 0;
  for (const char* field : fields) index = Xsprint(reply.data(), index, 's', field);
  return reply;
}

Response ignore(std::string note) { return Response{{}, std::move(note), true}; }

Response query(const ConsoleState& state, const OscMessage& message) {
  const StateValue* value = state.find(message.address);
  if (value == nullptr) return ignore("ignored: unknown address " + std::string(message.address));
  return Response{valueReply(message.address, *value),
                  "query " + std::string(message.address), false};
}

Response set(ConsoleState& state, const OscMessage& message) {
  const SetResult result = state.set(message.address, message.arguments[0]);
  std::string note = "set " + std::string(message.address) + ": ";
  note += setResultText(result);
  const bool stored = result == SetResult::Stored || result == SetResult::Shortened ||
                      result == SetResult::Clamped;
  if (!stored) return ignore("ignored: " + note);
  return Response{{}, std::move(note), false};
}

Response oscMessage(Endpoint endpoint, ConsoleState& state,
                    std::span<const unsigned char> datagram, std::string_view ownAddress) {
  OscMessage message;
  if (readOscMessage(datagram, message) < 0) {
    return ignore("ignored: not OSC (" + std::string(message.problem) + ")");
  }
  if (endpoint == Endpoint::X32 && message.address == "/xinfo") {
    return Response{xinfoReply(ownAddress), "query /xinfo", false};
  }
  if (message.count == 0) return query(state, message);
  if (message.count == 1) return set(state, message);
  return ignore("ignored: more than one argument for " + std::string(message.address));
}

Response discovery(std::span<const unsigned char> datagram, std::string_view ownAddress) {
  if (!std::ranges::equal(datagram, wingQuery)) return ignore("ignored: not a WING? query");
  std::string reply = "WING,";
  reply.append(ownAddress);
  for (const char* field : {simName, wingModel, wingSerial, simVersion}) {
    reply += ',';
    reply += field;
  }
  return Response{std::move(reply), "discovery query", false};
}

}  // namespace

std::string_view endpointName(Endpoint endpoint) {
  switch (endpoint) {
    case Endpoint::X32: return "x32";
    case Endpoint::WingDiscovery: return "wing-discovery";
    case Endpoint::WingOsc: return "wing-osc";
  }
  return "?";
}

Response respond(Endpoint endpoint, ConsoleState& state, std::span<const unsigned char> datagram,
                 std::string_view ownAddress) {
  if (endpoint == Endpoint::WingDiscovery) return discovery(datagram, ownAddress);
  return oscMessage(endpoint, state, datagram, ownAddress);
}
