// The status record read back as the page reads it: every field describes
// the picture it was written for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <tuple>

#include <nlohmann/json.hpp>

#include "page/LiveStatus.h"
#include "runtime/ScopeExit.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

// Seconds since 1970 of "YYYY-MM-DDTHH:MM:SS+HH:MM", whatever the machine's zone.
int64_t UtcOf(const std::string& iso) {
  struct tm t {};
  if (iso.size() != 25 || !strptime(iso.substr(0, 19).c_str(), "%Y-%m-%dT%H:%M:%S", &t)) return ADD_FAILURE() << iso, 0;
  const int offset = std::stoi(iso.substr(20, 2)) * 3600 + std::stoi(iso.substr(23, 2)) * 60;
  return timegm(&t) - (iso[19] == '-' ? -offset : offset);
}

TEST(LiveStatusTest, DescribesThePictureItWasWrittenFor) {
  TempDir dir;
  const std::string picture = RandomBytes(123457, 3);
  const std::string zone = std::getenv("TZ") ? std::getenv("TZ") : "";
  auto restoreZone = ScopeExit([&] { zone.empty() ? unsetenv("TZ") : setenv("TZ", zone.c_str(), 1), tzset(); });
  const struct {
    const char* Zone;  // the record's time read back is the picture's, whatever the zone
    std::optional<GeoPlace> Place;
    std::string Failure;
    std::string Steered;
  } rows[] = {{"UTC0", std::nullopt, "", ""},
              {"<-0330>3:30", GeoPlace{47.5, 19.05}, "koftplive.jpg: 550 Permission denied \xff\xfe", ""},
              {"<+0545>-5:45", std::nullopt, "", "1/60 s ISO 100"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Zone);
    setenv("TZ", row.Zone, 1);
    tzset();
    WriteLiveStatus(dir.file("koftplive.json"),
                    {.TakenUtc = 1796860800, .Number = 42, .Bytes = static_cast<int64_t>(picture.size()), .Preset = 5,
                     .IntervalS = 30, .PeriodS = 41.5, .ExposureS = 15, .Iso = 800, .Aperture = 0, .Steered = row.Steered,
                     .Place = row.Place,
                     .DiskFreeBytes = DiskFreeBytes(dir.path()), .LastUploadFailure = row.Failure});
    const auto json = nlohmann::json::parse(ReadFile(dir.file("koftplive.json")));
    EXPECT_EQ(std::tuple(json["picture"]["number"], json["picture"]["bytes"]), std::tuple(42, picture.size()));
    EXPECT_EQ(UtcOf(json["picture"]["taken"]), 1796860800);
    EXPECT_EQ(json["preset"], nlohmann::json({{"number", 5}, {"name", "éjszakai 3"}}));
    EXPECT_EQ(std::tuple(json["interval_s"], json["period_s"], json["version"]), std::tuple(30, 41.5, KORV_VERSION));
    nlohmann::json exposure = {{"exposure_s", 15}, {"iso", 800}, {"aperture", 0}};
    if (!row.Steered.empty()) exposure["steered"] = row.Steered;
    EXPECT_EQ(json["exposure"], exposure);
    EXPECT_GT(json["disk_free_bytes"].get<uint64_t>(), 0u);
    EXPECT_EQ(json.value("sun_altitude_deg", 99.0), row.Place ? SunAltitude(1796860800, *row.Place) : 99.0);
    EXPECT_EQ(json.contains("last_upload_failure"), !row.Failure.empty());
  }
}

}  // namespace
}  // namespace korv::test
