#include "station/CaptureCycle.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "runtime/Exception.h"

namespace korv {

SwitchHours switch_hours(int month) {
  static constexpr std::array<SwitchHours, 12> kHours{{
      {17, 7}, {18, 6}, {19, 5}, {20, 5}, {21, 4}, {22, 4},
      {22, 4}, {21, 5}, {20, 5}, {19, 6}, {18, 6}, {17, 7},
  }};
  if (month < 1 || month > 12) throw EAssertionFailed::At("CaptureCycle", __LINE__);
  return kHours[static_cast<size_t>(month - 1)];
}

bool MorningSwitchDue(uint16_t hour, uint16_t lastHour, uint16_t morningHour) {
  return hour >= morningHour && lastHour < morningHour && hour < 12;
}

bool EveningSwitchDue(uint16_t hour, uint16_t lastHour, uint16_t eveningHour) {
  return hour >= eveningHour && lastHour < eveningHour && hour > 12;
}

std::string PictureFileName(int64_t counter) {
  char text[32];
  std::snprintf(text, sizeof text, "%6lld", static_cast<long long>(counter));
  std::string name = text;
  std::replace(name.begin(), name.end(), ' ', '0');
  return name + ".jpg";
}

}  // namespace korv
