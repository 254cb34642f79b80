// The Wing main fader's level law: a linear position from 0 to 1 to a level in dB.
#pragma once

/// The level in dB for the linear fader position `x`. The limits are compared in double,
/// in this order, the first match deciding:
///   x <= 0.01          -144
///   x <  0.062561095   (x - 0.1875) * 30 * 16
///   x <  0.250244379   (x - 0.4375) / 0.00625
///   x <  0.500488759   (x - 0.625) / 0.0125
///   x <  0.99          (x - 0.75) / 0.025
///   otherwise          +10 (also for NaN)
/// Each segment is computed in double as written and rounded to float.
float Lin2dB(float x);

/// Reads a fader position from the text of a -d option: a decimal (or "%f"-style)
/// number, blanks around it allowed. False for anything else, and for NaN and the
/// infinities, which the law would turn into the loudest level or silence.
bool readFaderPosition(const char* text, float& position);
