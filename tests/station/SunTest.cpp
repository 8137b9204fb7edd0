#include "station/Sun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "runtime/ScopeExit.h"

namespace korv::test {
namespace {

struct ScheduleCase {
  const char* Zone;
  GeoPlace Place;
  CivilDate Date;
  double Altitude;
  std::optional<int64_t> Morning, Evening;  // UTC, from PyEphem without refraction
  const char* MorningText;
  const char* EveningText;
};

void SetZone(const char* zone) {
  zone ? setenv("TZ", zone, 1) : unsetenv("TZ");
  tzset();
}

TEST(SunTest, SwitchTimesAgreeWithAnIndependentEphemerisWithinTwoMinutes) {
  const ScheduleCase cases[] = {
      {"UTC", {0, 0}, {2026, 3, 20}, -6, 1773985411, 1774031481, "05:44", "18:31"},
      {"Europe/Budapest", {47.5, 19.05}, {2026, 12, 9}, -6, 1796795025, 1796830094, "06:44", "16:28"},
      // Summer time begins and ends on these days.
      {"Europe/Budapest", {47.5, 19.05}, {2026, 3, 29}, -6, 1774756682, 1774806005, "05:58", "19:40"},
      {"Europe/Budapest", {47.5, 19.05}, {2026, 10, 25}, -6, 1792903516, 1792944586, "05:45", "17:10"},
      {"America/Argentina/Ushuaia", {-60, -45}, {2026, 6, 21}, -6, 1782040079, 1782068143, "08:08", "15:56"},
      // The sun barely dips below the altitude: both crossings near midnight.
      {"America/Argentina/Ushuaia", {-60, -45}, {2026, 12, 21}, -6, 1797824726, 1797905453, "00:45", "23:11"},
      {"Europe/Oslo", {70, 19}, {2026, 6, 21}, -6, std::nullopt, std::nullopt, "none", "none"},
      {"Europe/Oslo", {70, 19}, {2026, 12, 21}, -6, 1797842303, 1797857140, "09:38", "13:46"},
      {"Europe/Oslo", {70, 19}, {2026, 12, 21}, 0, std::nullopt, std::nullopt, "none", "none"},
      {"Asia/Tokyo", {35.7, 139.7}, {2026, 7, 1}, 10, 1782851275, 1782896521, "05:28", "18:02"},
      {"America/New_York", {40.7, -74}, {2026, 1, 15}, -18, 1768473673, 1768519803, "05:41", "18:30"},
  };
  std::string machineZone = std::getenv("TZ") ? std::getenv("TZ") : "";
  auto restoreZone = ScopeExit([&] { SetZone(machineZone.empty() ? nullptr : machineZone.c_str()); });
  for (const ScheduleCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Zone << " " << c.Place.Latitude << "," << c.Place.Longitude << " "
                                    << c.Date.Year << "-" << c.Date.Month << "-" << c.Date.Day << " at "
                                    << c.Altitude);
    SetZone(c.Zone);
    SwitchTimes times = SwitchTimesOn(c.Date, c.Place, c.Altitude);
    EXPECT_NEAR(times.Morning.value_or(0), c.Morning.value_or(0), 120);
    EXPECT_NEAR(times.Evening.value_or(0), c.Evening.value_or(0), 120);
    EXPECT_EQ(ScheduleText(times), std::string("morning ") + c.MorningText + "\nevening " + c.EveningText + "\n");
  }
}

}  // namespace
}  // namespace korv::test
