// The status record read back as the page reads it: every field describes
// the picture it was written for.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "page/LiveStatus.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

// Seconds since 1970 of "YYYY-MM-DDTHH:MM:SS+HH:MM", whatever the machine's zone.
int64_t UtcOf(const std::string& iso) {
  int y, mo, d, h, mi, s, oh, om;
  char sign;
  EXPECT_EQ(std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%2d:%2d", &y, &mo, &d, &h, &mi, &s, &sign, &oh, &om), 9)
      << iso;
  y -= mo <= 2;  // days from civil (Howard Hinnant's algorithm)
  const int64_t era = (y >= 0 ? y : y - 399) / 400, yoe = y - era * 400;
  const int64_t doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1, doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t offset = (sign == '-' ? -1 : 1) * (oh * 3600 + om * 60);
  return (era * 146097 + doe - 719468) * 86400 + h * 3600 + mi * 60 + s - offset;
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
