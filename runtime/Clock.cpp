#include "runtime/Clock.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>

namespace korv {

namespace {

constexpr const char* kFastClockVariable = "KORV_CLOCK";
constexpr const char* kAnchorVariable = "KORV_CLOCK_ANCHOR";

int64_t WallMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// The fast clock of the environment and its wall anchor, read once; a malformed
// setting ends the program: a station on a wrong clock would keep wrong pictures.
struct FastClockSetting {
  std::optional<FastClock> Clock;
  int64_t AnchorMs = 0;
};

FastClockSetting ReadFastClockSetting() {
  FastClockSetting setting;
  const char* text = std::getenv(kFastClockVariable);
  if (!text || !*text) return setting;
  setting.Clock = ParseFastClock(text);
  if (!setting.Clock) {
    std::fprintf(stderr, "%s=\"%s\" is not of the form \"YYYY-MM-DD HH:MM xN\"\n", kFastClockVariable, text);
    std::exit(2);
  }
  const char* anchor = std::getenv(kAnchorVariable);
  char* end = nullptr;
  setting.AnchorMs = anchor ? std::strtoll(anchor, &end, 10) : 0;
  if (!anchor || *end || setting.AnchorMs <= 0) {
    setting.AnchorMs = WallMilliseconds();
    setenv(kAnchorVariable, std::to_string(setting.AnchorMs).c_str(), 1);
  }
  return setting;
}

const FastClockSetting& TheFastClockSetting() {
  static const FastClockSetting setting = ReadFastClockSetting();
  return setting;
}

class SystemClock final : public Clock {
public:
  LocalTime Now() override {
    const FastClockSetting& fast = TheFastClockSetting();
    if (fast.Clock) return LocalTimeAt(FastClockTime(*fast.Clock, fast.AnchorMs, WallMilliseconds()));
    return LocalTimeAt(static_cast<int64_t>(std::time(nullptr)));
  }
  void Sleep(uint32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

SystemClock systemClock;
std::atomic<Clock*> current{&systemClock};

}  // namespace

int64_t ClockTimeAt(int64_t wallUnixTime) {
  const FastClockSetting& fast = TheFastClockSetting();
  return fast.Clock ? FastClockTime(*fast.Clock, fast.AnchorMs, wallUnixTime * 1000) : wallUnixTime;
}

std::optional<FastClock> ParseFastClock(const std::string& text) {
  std::tm parts{};
  int speed = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d x%d%c", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                  &parts.tm_hour, &parts.tm_min, &speed, &tail) != 6)
    return std::nullopt;
  if (parts.tm_year < 1970 || parts.tm_mon < 1 || parts.tm_mon > 12 || parts.tm_mday < 1 || parts.tm_mday > 31 ||
      parts.tm_hour > 23 || parts.tm_min > 59 || parts.tm_hour < 0 || parts.tm_min < 0 || speed < 1 ||
      speed > 100000)
    return std::nullopt;
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  parts.tm_isdst = -1;
  std::time_t start = std::mktime(&parts);
  if (start == -1) return std::nullopt;
  return FastClock{static_cast<int64_t>(start), speed};
}

int64_t FastClockTime(const FastClock& clock, int64_t anchorMs, int64_t wallMs) {
  return clock.StartUnixTime + (wallMs - anchorMs) * clock.Speed / 1000;
}

LocalTime LocalTimeAt(int64_t unixTime) {
  std::time_t t = static_cast<std::time_t>(unixTime);
  std::tm parts{};
  localtime_r(&t, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
          unixTime};
}

Clock& TheClock() { return *current.load(); }

Clock* SetClock(Clock* clock) { return current.exchange(clock ? clock : &systemClock); }

}  // namespace korv
