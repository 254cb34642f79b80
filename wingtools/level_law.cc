#include "wingtools/level_law.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

float Lin2dB(float x) {
  const double v = x;
  if (v <= 0.01) return -144.0f;
  if (v < 0.062561095) return static_cast<float>((v - 0.1875) * 30 * 16);
  if (v < 0.250244379) return static_cast<float>((v - 0.4375) / 0.00625);
  if (v < 0.500488759) return static_cast<float>((v - 0.625) / 0.0125);
  if (v < 0.99) return static_cast<float>((v - 0.75) / 0.025);
  return 10.0f;
}

bool readFaderPosition(const char* text, float& position) {
  if (text == nullptr) return false;
  char* end = nullptr;
  const float value = std::strtof(text, &end);
  if (end == text) return false;
  while (std::isspace(static_cast<unsigned char>(*end))) ++end;
  if (*end != '\0' || !std::isfinite(value)) return false;
  position = value;
  return true;
}
