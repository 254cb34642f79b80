// OSC packet -> reply text: the one line web pages receive for a console's answer.
#pragma once

#include <span>

/// Decodes `packet` into `text` as a NUL-terminated line and returns the characters
/// written plus one (for the NUL). The text is cut to fit `text`; an empty packet gives
/// the empty text and 1; an empty `text` gets nothing and gives 0. Never reads outside
/// `packet` nor writes outside `text`.
///
/// Bytes show as themselves, except below 32, 127 and 255, which show as '~'. After the
/// first comma that follows a NUL come the type tags and, one per letter, the arguments:
/// 'i' as "[%6d]", 'f' by the float table (decimals fall with each power of ten away
/// from zero), each cut to 8 characters; 's' by the byte rule with its NULs; 'b' as
/// "%4d bytes: " cut to 12, then "%02x" per byte. Other letters use no bytes.
///
/// Where the float table has no row, the field is still 8 characters and always the same
/// for the same value: 100000 and beyond keep the last row's "[%06.0f]" (so 100000 gives
/// [100000] and 1234567 gives [1234567), infinities show as [   inf] and [  -inf], and
/// every NaN shows as [   nan].
///
/// A field that the packet's end cuts short shows only what is inside the packet: a 4-byte
/// number or blob count with fewer than 4 bytes left shows those bytes by the byte rule; a
/// string without its NUL shows its bytes to the end; a blob whose count claims more than
/// is left shows its header (with the count as sent) and the bytes that are there. The walk
/// then ends. Bytes after the announced arguments are shown by the byte rule from the
/// second one on (the first is stepped over; pages parse this fixed layout), and a further
/// comma there begins another type-tag string.
int wDdump(std::span<const unsigned char> packet, std::span<char> text);

/// Decimals a float of value `x` shows with inside the float table (ranges above 10000
/// and below -1000 show none).
int XfloatDecimals(float x);
