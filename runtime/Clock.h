// The one source of local time and of pauses, replaceable by tests so that
// hour-dependent behaviour and waits can be exercised without waiting.
#pragma once

#include <cstdint>

namespace korv {

struct LocalTime {
  int Year = 0;
  int Month = 0;  // 1..12
  int Day = 0;    // 1..31
  int Hour = 0;   // 0..23
  int Minute = 0;
  int Second = 0;
  int64_t UnixTime = 0;  // the same instant in seconds since 1970 UTC
};

class Clock {
public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
};

// The clock in use: the system clock unless a test installed its own.
Clock& TheClock();
// Installs `clock` (nullptr restores the system clock); returns the previous one.
Clock* SetClock(Clock* clock);

inline void Sleep(uint32_t milliseconds) { TheClock().Sleep(milliseconds); }

}  // namespace korv
