#include "wingtools/wing_cli.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "osc/osc_builder.h"
#include "platform/message_box.h"
#include "platform/net.h"
#include "wingtools/wing_link.h"

ThreadHandle kThread{};
char kBuffer[256];
char* const p_kBuffer = kBuffer;
const std::size_t s_kBuffer = sizeof kBuffer;
std::atomic<int> kBytes{0};
int WCliMode = 0;
int WBlinkOnMessage = 0;
int WScreenSaverIsOn = 0;
char WScreenSaverH[32];
char WScreenSaverL[32];

namespace {

constexpr int blinkPauseMs = 100;
constexpr int pollPauseMs = 10;
constexpr int yesNoBit = 4;
constexpr int answerYes = 6;

// Whether kThread names a reader that has not been joined yet.
bool kThreadLive = false;

int readLine(char* buffer, std::size_t size) {
  std::size_t stored = 0;
  int c = EOF;
  while ((c = std::fgetc(stdin)) != EOF) {
    if (stored + 1 < size) buffer[stored++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[stored] = '\0';
  if (stored == 0) return -1;  // end of input (or an error) before any character
  return static_cast<int>(stored);
}

void sendBlinkMessage(const char (&text)[32]) {
  char argument[sizeof text + 1];
  const auto length = static_cast<std::size_t>(std::find(text, text + sizeof text, '\0') - text);
  std::memcpy(argument, text, length);
  argument[length] = '\0';
  if (XfprintEnd(0, "/", 's', argument) > static_cast<int>(sizeof Wb_s)) return;
  Wb_ls = wFprint(Wb_s, 0, "/", 's', argument);
  wSendto(Wb_s, Wb_ls);
}

// A prompt needs a reader; without one it would wait for ever.
int awaitLine() {
  if (!kThreadLive) wCliCreateKbdThread();
  if (!kThreadLive) return -1;
  int bytes;
  while ((bytes = kBytes.load(std::memory_order_acquire)) == 0) sleepMs(pollPauseMs);
  return bytes;
}

}  // namespace

int KeyboardInput() {
  kBytes.store(0, std::memory_order_relaxed);
  const int bytes = readLine(p_kBuffer, s_kBuffer);
  kBytes.store(bytes, std::memory_order_release);
  return 0;
}

ThreadHandle wCliCreateKbdThread() {
  kThreadLive = startThread(KeyboardInput, kThread);
  return kThreadLive ? kThread : ThreadHandle{};
}

ThreadHandle wCliRelaunchKbdThread() {
  if (kThreadLive) {
    joinThread(kThread);
    kThreadLive = false;
  }
  // Only once the old reader is gone: a line it finished during the join must not be taken
  // later, while the new reader already writes into the buffer.
  kBytes.store(0, std::memory_order_relaxed);
  return wCliCreateKbdThread();
}

void wBlink(int count) {
  const auto& first = WScreenSaverIsOn != 0 ? WScreenSaverH : WScreenSaverL;
  const auto& second = WScreenSaverIsOn != 0 ? WScreenSaverL : WScreenSaverH;
  for (int blink = 0; blink < count; ++blink) {
    sendBlinkMessage(first);
    sleepMs(blinkPauseMs);
    sendBlinkMessage(second);
    if (blink + 1 < count) sleepMs(blinkPauseMs);
  }
}

int wMessage(const char* msg, const char* caption, int type) {
  wBlink(WBlinkOnMessage);
  if (WCliMode == 0) return showMessageBox(msg, caption, type);
  if (caption != nullptr) std::printf("%s", caption);
  if (msg != nullptr) std::printf(caption != nullptr ? " - %s" : "%s", msg);
  const bool yesNo = (type & yesNoBit) != 0;
  std::fputs(yesNo ? ": (y/n)? " : ": (ack)?", stdout);
  std::fflush(stdout);
  const int bytes = awaitLine();
  const int answer = yesNo && bytes > 0 && kBuffer[0] == 'y' ? answerYes : 0;
  wCliRelaunchKbdThread();
  return answer;
}
