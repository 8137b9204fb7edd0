// The one source of local time and of pauses, replaceable by tests so that
// hour-dependent behaviour and waits can be exercised without waiting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

// The fast clock for trying the station: KORV_CLOCK="YYYY-MM-DD HH:MM xN" makes the
// system clock start at that local time and run N times as fast; pauses stay wall time.
// Every copy of this library in one process (each camera library links its own) shares
// the start: the first reader records the wall instant in KORV_CLOCK_ANCHOR.
struct FastClock {
  int64_t StartUnixTime = 0;  // the local start time, in seconds since 1970 UTC
  int Speed = 1;
};
// nullopt when `text` is not of the form above (N from 1 to 100000).
std::optional<FastClock> ParseFastClock(const std::string& text);
// The fast clock's time `wallMs` after its anchor `anchorMs` (both ms since 1970 UTC).
int64_t FastClockTime(const FastClock& clock, int64_t anchorMs, int64_t wallMs);
// What the system clock read at the wall instant `wallUnixTime` (a file's time
// stamp): the fast clock's time when one is set, else the same.
int64_t ClockTimeAt(int64_t wallUnixTime);
// The local calendar time of `unixTime`.
LocalTime LocalTimeAt(int64_t unixTime);

inline void Sleep(uint32_t milliseconds) { TheClock().Sleep(milliseconds); }

}  // namespace korv
