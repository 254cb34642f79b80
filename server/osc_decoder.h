// OSC packet -> reply text: the one line web pages receive for a console's answer.
#pragma once

#include <span>

/// Decodes `packet` into `text` as a NUL-terminated line and returns the characters
/// written plus one (for the NUL). The text is cut to fit `text`; an empty packet gives
/// the empty text and 1. Never reads outside `packet` nor writes outside `text`.
int wDdump(std::span<const unsigned char> packet, std::span<char> text);
