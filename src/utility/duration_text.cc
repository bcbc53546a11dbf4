#include "utility/duration_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

std::string DurationText(double seconds) {
  double rounded = std::floor(seconds + 0.5);
  if (!(rounded > 0)) rounded = 0;
  if (rounded > 3.6e9) rounded = 3.6e9;
  int64_t whole = static_cast<int64_t>(rounded);
  int64_t hours = whole / 3600;
  int minutes = static_cast<int>((whole % 3600) / 60);
  int secs = static_cast<int>(whole % 60);
  char text[48];
  if (hours != 0) {
    std::snprintf(text, sizeof(text), "%.2lld:%.2d:%.2d", static_cast<long long>(hours), minutes, secs);
  } else {
    std::snprintf(text, sizeof(text), "%.2d:%.2d", minutes, secs);
  }
  return text;
}

