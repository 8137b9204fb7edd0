#include "station/Sun.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numbers>

namespace korv {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

double Sin(double degrees) { return std::sin(degrees * kDegree); }
double Cos(double degrees) { return std::cos(degrees * kDegree); }
double Tan(double degrees) { return std::tan(degrees * kDegree); }

// Seconds since 1970 of local midnight starting `date` (day may run past
// the month's end: mktime carries it over).
int64_t LocalMidnight(int year, int month, int day) {
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_isdst = -1;  // whatever the zone's rules say for that day
  return static_cast<int64_t>(std::mktime(&parts));
}

std::tm LocalParts(int64_t utc) {
  std::time_t time = static_cast<std::time_t>(utc);
  std::tm parts{};
  localtime_r(&time, &parts);
  return parts;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysIn(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

}  // namespace

double SunAltitude(int64_t utc, const GeoPlace& place) {
  double julianDay = static_cast<double>(utc) / 86400.0 + 2440587.5;
  double T = (julianDay - 2451545.0) / 36525.0;  // Julian centuries since J2000.0

  double meanLongitude = std::fmod(280.46646 + T * (36000.76983 + T * 0.0003032), 360.0);
  double meanAnomaly = 357.52911 + T * (35999.05029 - 0.0001537 * T);
  double eccentricity = 0.016708634 - T * (0.000042037 + 0.0000001267 * T);
  double centre = Sin(meanAnomaly) * (1.914602 - T * (0.004817 + 0.000014 * T)) +
                  Sin(2 * meanAnomaly) * (0.019993 - 0.000101 * T) + Sin(3 * meanAnomaly) * 0.000289;
  double omega = 125.04 - 1934.136 * T;  // longitude of the Moon's ascending node, for the nutation
  double apparentLongitude = meanLongitude + centre - 0.00569 - 0.00478 * Sin(omega);
  double meanObliquity = 23.0 + (26.0 + (21.448 - T * (46.815 + T * (0.00059 - T * 0.001813))) / 60.0) / 60.0;
  double obliquity = meanObliquity + 0.00256 * Cos(omega);
  double declination = std::asin(Sin(obliquity) * Sin(apparentLongitude)) / kDegree;

  double y = Tan(obliquity / 2) * Tan(obliquity / 2);
  double equationOfTime =  // minutes
      4.0 / kDegree *
      (y * Sin(2 * meanLongitude) - 2 * eccentricity * Sin(meanAnomaly) +
       4 * eccentricity * y * Sin(meanAnomaly) * Cos(2 * meanLongitude) - 0.5 * y * y * Sin(4 * meanLongitude) -
       1.25 * eccentricity * eccentricity * Sin(2 * meanAnomaly));

  double minutesOfDay = static_cast<double>(((utc % 86400) + 86400) % 86400) / 60.0;
  double trueSolarTime = minutesOfDay + equationOfTime + 4 * place.Longitude;
  double hourAngle = trueSolarTime / 4 - 180;  // degrees; any whole turn is the same

  double cosZenith = Sin(place.Latitude) * Sin(declination) + Cos(place.Latitude) * Cos(declination) * Cos(hourAngle);
  return 90 - std::acos(std::fmax(-1.0, std::fmin(1.0, cosZenith))) / kDegree;
}

SwitchTimes SwitchTimesOn(const CivilDate& date, const GeoPlace& place, double altitude) {
  const int64_t start = LocalMidnight(date.Year, date.Month, date.Day);
  const int64_t end = LocalMidnight(date.Year, date.Month, date.Day + 1);
  // The sun crosses a given altitude at most twice a day; ten-minute steps
  // see every crossing but one that grazes the altitude, and bisection then
  // finds the first second on the new side.
  constexpr int64_t kStep = 600;
  auto above = [&](int64_t t) { return SunAltitude(t, place) > altitude; };
  SwitchTimes times;
  bool wasAbove = above(start);
  for (int64_t from = start; from < end;) {
    int64_t to = std::min(from + kStep, end);
    bool isAbove = above(to);
    if (isAbove != wasAbove) {
      int64_t low = from, high = to;
      while (high - low > 1) {
        int64_t middle = low + (high - low) / 2;
        (above(middle) == isAbove ? high : low) = middle;
      }
      std::optional<int64_t>& crossing = isAbove ? times.Morning : times.Evening;
      if (!crossing && high < end) crossing = high;
    }
    wasAbove = isAbove;
    from = to;
  }
  return times;
}

CivilDate LocalDateOf(int64_t utc) {
  std::tm parts = LocalParts(utc);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
}

std::string ScheduleText(const SwitchTimes& times) {
  auto line = [](const char* name, const std::optional<int64_t>& crossing) {
    std::string text = name;
    if (!crossing) return text + " none\n";
    std::tm parts = LocalParts(*crossing + 30);  // to the nearest minute
    char clock[8];
    std::snprintf(clock, sizeof clock, "%02d:%02d", parts.tm_hour % 100, parts.tm_min % 100);
    return text + " " + clock + "\n";
  };
  return line("morning", times.Morning) + line("evening", times.Evening);
}

std::optional<CivilDate> ParseCivilDate(const std::string& text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
  CivilDate date{std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)), std::stoi(text.substr(8, 2))};
  if (date.Year < 1901 || date.Year > 2099 || date.Month < 1 || date.Month > 12) return std::nullopt;
  if (date.Day < 1 || date.Day > DaysIn(date.Year, date.Month)) return std::nullopt;
  return date;
}

}  // namespace korv
