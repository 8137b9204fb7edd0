// The status record read back as the page reads it: every field describes
// the picture it was written for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include <nlohmann/json.hpp>

#include "page/LiveStatus.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

// Seconds since 1970 of "YYYY-MM-DDTHH:MM:SS+HH:MM", whatever the machine's zone.
int64_t UtcOf(const std::string& iso) {
  struct tm t {};
  int offsetHours = 0, offsetMinutes = 0;
  EXPECT_EQ(std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%3d:%2d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                        &t.tm_min, &t.tm_sec, &offsetHours, &offsetMinutes), 8) << iso;
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  const int sign = iso[19] == '-' ? -1 : 1;
  return timegm(&t) - sign * (std::abs(offsetHours) * 3600 + offsetMinutes * 60);
}

TEST(LiveStatusTest, DescribesThePictureItWasWrittenFor) {
  TempDir dir;
  const std::string picture = RandomBytes(123457, 3);
  WriteFile(dir.file("000042.jpg"), picture);
  const struct {
    const char* Name;
    std::optional<GeoPlace> Place;
    std::string Failure;
  } rows[] = {{"no place, no failure", std::nullopt, ""},
              {"a place and a failure", GeoPlace{47.5, 19.05}, "koftplive.jpg: 550 Permission denied \xff\xfe"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    LiveStatus status{.TakenUtc = 1796860800, .Number = 42, .Bytes = static_cast<int64_t>(picture.size()),
                      .Preset = 5, .IntervalS = 30, .PeriodS = 41.5, .ExposureS = 15, .Iso = 800,
                      .Aperture = 0, .Place = row.Place, .DiskFreeBytes = DiskFreeBytes(dir.path()),
                      .LastUploadFailure = row.Failure};
    WriteLiveStatus(dir.file("koftplive.json"), status);
    const auto json = nlohmann::json::parse(ReadFile(dir.file("koftplive.json")));
    EXPECT_EQ(json["picture"]["number"], 42);
    EXPECT_EQ(json["picture"]["bytes"], picture.size());
    EXPECT_EQ(UtcOf(json["picture"]["taken"]), 1796860800);
    for (const char* zone : {"<-0330>3:30", "<+0545>-5:45", "UTC0"}) {  // the offset, whatever the zone
      SCOPED_TRACE(zone);
      const char* before = std::getenv("TZ");
      const std::string saved = before ? before : "";
      setenv("TZ", zone, 1);
      tzset();
      EXPECT_EQ(UtcOf(LocalIsoTime(1796860800)), 1796860800) << LocalIsoTime(1796860800);
      before ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
      tzset();
    }
    EXPECT_EQ(json["preset"], nlohmann::json({{"number", 5}, {"name", "éjszakai 3"}}));
    EXPECT_EQ(json["interval_s"], 30);
    EXPECT_EQ(json["period_s"], 41.5);
    EXPECT_EQ(json["exposure"], nlohmann::json({{"exposure_s", 15}, {"iso", 800}, {"aperture", 0}}));
    EXPECT_GT(json["disk_free_bytes"].get<uint64_t>(), 0u);
    EXPECT_EQ(json["version"], KORV_VERSION);
    EXPECT_EQ(json.contains("sun_altitude_deg"), row.Place.has_value());
    if (row.Place) {
      EXPECT_DOUBLE_EQ(json["sun_altitude_deg"], SunAltitude(1796860800, *row.Place));
    }
    EXPECT_EQ(json.contains("last_upload_failure"), !row.Failure.empty());
  }
}

}  // namespace
}  // namespace korv::test
