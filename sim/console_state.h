// The small state trees the simulated consoles keep: names and fader levels by OSC
// address, read by an address-only query and changed by a one-argument message.
//
// Pure: no I/O, no clock. Every address a console knows exists from the start with its
// default value, so a query never creates anything and an unknown address stays unknown.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "osc/osc_reader.h"

/// One value of a console. A name ('s') keeps at most `maxLength` bytes; a level ('f')
/// stays within [low, high].
struct StateValue {
  char type = 's';
  std::string text;
  float number = 0;
  std::size_t maxLength = 0;
  float low = 0;
  float high = 0;
};

/// How a set ended. Shortened and Clamped still store the value, cut to fit.
enum class SetResult { Stored, Shortened, Clamped, UnknownAddress, WrongType, NotFinite };

/// Longest name each console keeps, in bytes; a longer name is cut at a character boundary.
inline constexpr std::size_t x32NameLimit = 31;
inline constexpr std::size_t wingNameLimit = 63;

class ConsoleState {
 public:
  /// X32: /ch/NN/config/name "Ch NN" (01..32), /bus/NN/config/name "Bus NN" (01..16),
  /// /ch/NN/mix/fader 0.75 (linear, 0..1).
  static ConsoleState x32();
  /// Wing: /ch/N/name "CH N" and /ch/N/fdr 0.0 dB (1..40), /bus/N/name "BUS N" (1..16),
  /// /main/1/fdr 0.0 dB; levels in dB from -144 to +10.
  static ConsoleState wing();

  /// The value at `address`, or null when the console has no such address.
  const StateValue* find(std::string_view address) const;

  /// Sets `address` from one argument: a name takes 's', a level takes 'f'. A name longer
  /// than its limit is cut (Shortened), a level outside its range is pinned to the nearest
  /// end (Clamped); NaN and infinities are refused (NotFinite) and change nothing.
  SetResult set(std::string_view address, const OscArgument& argument);

 private:
  void addName(std::string address, std::string text, std::size_t maxLength);
  void addLevel(std::string address, float value, float low, float high);

  std::map<std::string, StateValue, std::less<>> values_;
};

/// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence.
std::string_view cutName(std::string_view text, std::size_t limit);

/// Short word for a set result, for the log ("stored", "wrong type", ...).
std::string_view setResultText(SetResult result);
