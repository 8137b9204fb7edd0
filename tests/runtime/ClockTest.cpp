#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "runtime/Clock.h"

namespace korv {

TEST(FastClock, ParsesOnlyItsOwnForm) {
  struct Case {
    const char* text;
    bool valid;
    int speed;
  } cases[] = {{"2026-12-09 15:00 x240", true, 240}, {"2026-01-31 23:59 x1", true, 1},
               {"2026-12-09 15:00", false, 0},      {"2026-12-09 15:00 x0", false, 0},
               {"2026-13-09 15:00 x2", false, 0},   {"2026-12-09 24:00 x2", false, 0},
               {"2026-12-09 15:00 x2 ", false, 0},  {"tomorrow", false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto clock = ParseFastClock(c.text);
    ASSERT_EQ(clock.has_value(), c.valid);
    if (c.valid) {
      EXPECT_EQ(clock->Speed, c.speed);
    }
  }
}

TEST(FastClock, RunsFromItsLocalStartAtItsSpeed) {
  auto clock = ParseFastClock("2026-12-09 15:00 x240");
  ASSERT_TRUE(clock);
  LocalTime start = LocalTimeAt(FastClockTime(*clock, 1000, 1000));
  EXPECT_EQ(start.Year, 2026);
  EXPECT_EQ(start.Day, 9);
  EXPECT_EQ(start.Hour, 15);
  EXPECT_EQ(start.Minute, 0);
  // 45 wall seconds at x240 are three hours.
  LocalTime later = LocalTimeAt(FastClockTime(*clock, 1000, 46000));
  EXPECT_EQ(later.Hour, 18);
  EXPECT_EQ(later.UnixTime - start.UnixTime, 3 * 3600);
}

// The environment is read once per process: each case runs in a fresh one.
TEST(FastClockDeathTest, EnvironmentSetsTheSystemClockOrEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  using namespace std::chrono;
  int64_t minuteAgo = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() - 60000;
  setenv("KORV_CLOCK", "2026-12-09 15:00 x240", 1);
  setenv("KORV_CLOCK_ANCHOR", std::to_string(minuteAgo).c_str(), 1);
  // A minute after the shared anchor at x240 is four hours on.
  EXPECT_EXIT(std::exit(TheClock().Now().Hour), testing::ExitedWithCode(19), "");
  // A file stamped a second after the anchor was stamped at 15:04 by the clock.
  EXPECT_EXIT(std::exit(LocalTimeAt(ClockTimeAt(minuteAgo / 1000 + 1)).Hour), testing::ExitedWithCode(15), "");
  setenv("KORV_CLOCK", "2026-12-09 15:00", 1);
  EXPECT_EXIT(TheClock().Now(), testing::ExitedWithCode(2), "not of the form \"YYYY-MM-DD HH:MM xN\"");
  unsetenv("KORV_CLOCK");
  unsetenv("KORV_CLOCK_ANCHOR");
}

}  // namespace korv
