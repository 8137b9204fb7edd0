// Rules of the capture cycle that need no window: the month's day/night
// switch hours and the names of the picture files.
#pragma once

#include <cstdint>
#include <string>

namespace korv {

struct SwitchHours {
  uint16_t Evening;  // the night preset from this hour
  uint16_t Morning;  // day mode from this hour
};

// The switch hours of `month` (1..12).
SwitchHours switch_hours(int month);

// The morning switch fires on the first tick at or after the morning hour
// (before noon), the evening switch on the first tick at or after the
// evening hour (after noon): the previous tick's hour must still be below it.
bool MorningSwitchDue(uint16_t hour, uint16_t lastHour, uint16_t morningHour);
bool EveningSwitchDue(uint16_t hour, uint16_t lastHour, uint16_t eveningHour);

// NNNNNN.jpg: the counter padded with zeros to six digits; longer numbers
// are kept whole.
std::string PictureFileName(int64_t counter);

}  // namespace korv
