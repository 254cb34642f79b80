// The Wing link's user-interaction layer: a keyboard reader thread that reads one line
// of the standard input at a time, the blink of the console's screen, and wMessage,
// which shows a message in a message box or, in console mode, on the console.
//
// The only thing the two threads share is the hand-over through kBytes: the reader fills
// kBuffer, then stores kBytes (release); the main thread sees kBytes non-zero (acquire)
// before it reads kBuffer. Only one reader exists at a time.
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/threads.h"

/// The current keyboard reader thread.
extern ThreadHandle kThread;
/// The reader's line buffer, the pointer and the size given to the line reader.
extern char kBuffer[256];
extern char* const p_kBuffer;
extern const std::size_t s_kBuffer;
/// 0 while no line is ready; then the number of characters stored (newline included),
/// or -1 at end of input or on a read error.
extern std::atomic<int> kBytes;
/// 0: wMessage shows a message box; anything else: console mode.
extern int WCliMode;
/// How many blinks wMessage asks of wBlink.
extern int WBlinkOnMessage;
/// Chooses which of the two blink texts goes first.
extern int WScreenSaverIsOn;
/// String arguments of the two blink messages (their meaning belongs to the console).
extern char WScreenSaverH[32];
extern char WScreenSaverL[32];

/// Thread procedure: sets kBytes to 0, reads one line of the standard input into kBuffer
/// (newline included, NUL-terminated), stores the count or -1 in kBytes, returns 0.
/// A line longer than 255 characters keeps its first 255; the rest of it is dropped so
/// that it cannot answer a later prompt. At end of input kBuffer holds an empty text.
int KeyboardInput();

/// Starts a reader thread running KeyboardInput; its handle is also kept in kThread.
ThreadHandle wCliCreateKbdThread();

/// Sets kBytes to 0, waits without a time limit for the current reader to end, then
/// starts a new one. A line read while this waits is dropped.
ThreadHandle wCliRelaunchKbdThread();

/// Blinks the console's screen `count` times: each time the messages "/" ,s with
/// WScreenSaverL and with WScreenSaverH (WScreenSaverH first when WScreenSaverIsOn),
/// 100 ms apart, and 100 ms between blinks. A count of 0 or less sends nothing.
void wBlink(int count);

/// Blinks WBlinkOnMessage times, then shows `msg` under `caption` (either may be null):
/// with WCliMode 0 in a message box, returning its answer (see message_box.h); otherwise
/// on the standard output, as "caption - msg" followed by ": (y/n)? " when `type` has the
/// bit of value 4, else ": (ack)?", waiting for a line from the reader thread. Console
/// mode returns 6 when that line begins with a lower-case 'y', else 0, and starts the
/// next reader before it returns.
int wMessage(const char* msg, const char* caption, int type);
