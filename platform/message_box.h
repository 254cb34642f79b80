// The message box of the Wing tools' error reports.
#pragma once

/// Shows `text` under the title `caption` (the system's default title when null) in a
/// message box with the type flags `type` (16: error with an OK button; bit 4: Yes and
/// No buttons) and returns the button pressed (1 OK, 6 Yes, 7 No). Either text may be
/// null. Where there is no message box (POSIX), the text goes to the standard error
/// stream, after the caption and " - " when there is one, and the answer is OK (1) at
/// once: the tools run without a terminal, so nothing waits for a user.
int showMessageBox(const char* text, const char* caption, int type);
