// Where the sun stands over the station: the altitude of its centre at an
// instant, and the instants of a local day at which it crosses a chosen altitude.
// Everything is computed in UTC from the place alone (NOAA's solar position
// formulas after Meeus, about one arc-minute); only the edges of a local day
// and the printed clock times come from the machine's time zone, through the
// C library, so daylight saving time is the system's business.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korv {

struct GeoPlace {
  double Latitude = 0;   // degrees, north positive, -90..90
  double Longitude = 0;  // degrees, east positive, -180..180
};

struct CivilDate {
  int Year = 0;
  int Month = 0;  // 1..12
  int Day = 0;    // 1..31
};

// The civil twilight: the sun's centre six degrees below the horizon.
inline constexpr double kDefaultNightAltitude = -6.0;
inline constexpr double kLowestNightAltitude = -18.0;
inline constexpr double kHighestNightAltitude = 10.0;

// The altitude of the sun's centre in degrees at `utc` (seconds since
// 1970-01-01 00:00 UTC), from its apparent place (aberration and nutation
// applied), without the air's refraction: twilight altitudes are reckoned
// so (civil twilight at -6), and near the horizon, where refraction lifts
// the sun by about half a degree, it would depend on the weather.
double SunAltitude(int64_t utc, const GeoPlace& place);

// The instants (UTC seconds) in the local day `date` at which the sun's
// centre rises above `altitude` (morning) and sinks below it (evening),
// to a second; nothing for a crossing the day does not hold, as on a day
// of polar day or polar night.
struct SwitchTimes {
  std::optional<int64_t> Morning;
  std::optional<int64_t> Evening;
};
SwitchTimes SwitchTimesOn(const CivilDate& date, const GeoPlace& place, double altitude);

// The local date of `utc`.
CivilDate LocalDateOf(int64_t utc);

// "morning HH:MM\nevening HH:MM\n" in local time, rounded to the minute,
// "none" in place of a crossing that does not happen.
std::string ScheduleText(const SwitchTimes& times);

// "YYYY-MM-DD" of a real calendar day between 1901 and 2099 (the span the
// formulas serve), else nothing.
std::optional<CivilDate> ParseCivilDate(const std::string& text);

}  // namespace korv
