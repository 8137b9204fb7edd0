#include "runtime/Clock.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

namespace korv {

namespace {

class SystemClock final : public Clock {
public:
  LocalTime Now() override {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
            static_cast<int64_t>(now)};
  }
  void Sleep(uint32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

SystemClock systemClock;
std::atomic<Clock*> current{&systemClock};

}  // namespace

Clock& TheClock() { return *current.load(); }

Clock* SetClock(Clock* clock) { return current.exchange(clock ? clock : &systemClock); }

}  // namespace korv
