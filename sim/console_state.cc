#include "sim/console_state.h"

#include <cmath>
#include <cstdio>

namespace {

std::string numbered(const char* format, int number) {
  char text[32];
  std::snprintf(text, sizeof text, format, number);
  return text;
}

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

SetResult setName(StateValue& value, std::string_view text) {
  const std::string_view kept = cutName(text, value.maxLength);
  value.text.assign(kept);
  return kept.size() == text.size() ? SetResult::Stored : SetResult::Shortened;
}

SetResult setLevel(StateValue& value, float number) {
  if (!std::isfinite(number)) return SetResult::NotFinite;
  if (number < value.low || number > value.high) {
    value.number = number < value.low ? value.low : value.high;
    return SetResult::Clamped;
  }
  value.number = number;
  return SetResult::Stored;
}

}  // namespace

std::string_view cutName(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && isContinuationByte(text[end])) --end;
  return text.substr(0, end);
}

ConsoleState ConsoleState::x32() {
  ConsoleState state;
  for (int n = 1; n <= 32; ++n) {
    state.addName(numbered("/ch/%02d/config/name", n), numbered("Ch %02d", n), x32NameLimit);
    state.addLevel(numbered("/ch/%02d/mix/fader", n), 0.75f, 0.0f, 1.0f);
  }
  for (int n = 1; n <= 16; ++n) {
    state.addName(numbered("/bus/%02d/config/name", n), numbered("Bus %02d", n), x32NameLimit);
  }
  return state;
}

ConsoleState ConsoleState::wing() {
  ConsoleState state;
  for (int n = 1; n <= 40; ++n) {
    state.addName(numbered("/ch/%d/name", n), numbered("CH %d", n), wingNameLimit);
    state.addLevel(numbered("/ch/%d/fdr", n), 0.0f, -144.0f, 10.0f);
  }
  for (int n = 1; n <= 16; ++n) {
    state.addName(numbered("/bus/%d/name", n), numbered("BUS %d", n), wingNameLimit);
  }
  state.addLevel("/main/1/fdr", 0.0f, -144.0f, 10.0f);
  return state;
}

const StateValue* ConsoleState::find(std::string_view address) const {
  const auto found = values_.find(address);
  return found == values_.end() ? nullptr : &found->second;
}

SetResult ConsoleState::set(std::string_view address, const OscArgument& argument) {
  const auto found = values_.find(address);
  if (found == values_.end()) return SetResult::UnknownAddress;
  StateValue& value = found->second;
  if (argument.type != value.type) return SetResult::WrongType;
  return value.type == 's' ? setName(value, argument.text) : setLevel(value, argument.number);
}

void ConsoleState::addName(std::string address, std::string text, std::size_t maxLength) {
  values_[std::move(address)] = StateValue{'s', std::move(text), 0, maxLength, 0, 0};
}

void ConsoleState::addLevel(std::string address, float value, float low, float high) {
  values_[std::move(address)] = StateValue{'f', {}, value, 0, low, high};
}

std::string_view setResultText(SetResult result) {
  switch (result) {
    case SetResult::Stored: return "stored";
    case SetResult::Shortened: return "stored, cut to the name limit";
    case SetResult::Clamped: return "stored, pinned to the fader range";
    case SetResult::UnknownAddress: return "unknown address";
    case SetResult::WrongType: return "wrong argument type";
    case SetResult::NotFinite: return "not a finite number";
  }
  return "?";
}
