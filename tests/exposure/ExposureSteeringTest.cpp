#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "camera/sdk/CodeTables.h"
#include "exposure/Brightness.h"
#include "exposure/ExposureSteering.h"
#include "station/Presets.h"

namespace korv {
namespace {

// The simulated PowerShot's lists: 30 s - 1/2000 s, f/2.0 - f/8.0, ISO 50 - `topIso`, ±2 EV.
TRemoteCapabilities PowerShot(uint8_t topIso = 7) {
  TRemoteCapabilities caps{};
  auto mark = [&](CameraSetting s, int from, int to) {
    for (int o = from; o <= to; ++o) caps[static_cast<size_t>(CapabilityBase(s) + o)] = 1;
  };
  mark(CameraSetting::Tv, 2, 49);
  mark(CameraSetting::Av, 7, 19);
  mark(CameraSetting::ISO, 1, topIso);
  mark(CameraSetting::ExposureCompensation, 1, 13);
  return caps;
}

struct Row {
  const char* name;
  int grey;  // the picture's level 0..255; -1 a picture without pixels
  int preset;
  Exposure last;
  std::optional<Exposure> expected;
  std::string line = "";
  uint8_t topIso = 7;
  bool refusedBefore = false;  // a change just proposed was refused
};

TEST(ExposureSteering, NextExposureForAPicture) {
  const Exposure night15{false, 7, 5, 0, 2}, nightTop{false, 7, 5, 0, 7}, metered{true, 7, 0, 0, 1};
  const std::vector<Row> rows = {
      {"on the target", 77, 3, night15, std::nullopt},
      {"inside the dead band", 88, 3, night15, std::nullopt},
      {"a picture that can't be measured", -1, 3, night15, std::nullopt},
      {"dark night: the exposure is the cap, so ISO, 2 stops at most", 31, 5, night15,
       Exposure{false, 7, 5, 0, 4}, "exposure: 15 s ISO 50 → 15 s ISO 200, mean 0.12"},
      {"the top of the camera's ISO list", 10, 5, nightTop, std::nullopt},
      {"a camera listing ISO up to 100 only", 10, 5, Exposure{false, 7, 5, 0, 3}, std::nullopt, "", 3},
      {"too bright: ISO goes down before the exposure shortens", 230, 5, Exposure{false, 7, 5, 0, 4},
       Exposure{false, 7, 5, 0, 2}},
      {"a refused change: steered from the last accepted", 31, 5, night15, Exposure{false, 7, 5, 0, 4}, "", 7,
       true},
      {"day: the metering's compensation", 51, 1, metered, Exposure{true, 11, 0, 0, 1},
       "exposure: auto ±0 EV → auto +1 1/3 EV, mean 0.20"},
      {"day past the metering's limit: manual values", 26, 1, Exposure{true, 13, 0, 0, 1},
       Exposure{false, 13, 5, 7, 4}, "exposure: auto +2 EV → 15 s ISO 200, mean 0.10"},
      {"night begun metered: manual values past the metering's limit", 26, 5, Exposure{true, 13, 0, 0, 1},
       Exposure{false, 13, 5, 7, 4}},
      {"day, manual, bright again: back to metering", 230, 1, Exposure{false, 7, 17, 7, 2},
       Exposure{true, 1, 0, 0, 1}},
      {"dusk: the aperture opens, the exposure shortens", 230, 2, Exposure{false, 7, 14, 19, 1},
       Exposure{false, 7, 29, 7, 2}, "exposure: 2 s f/8.0 ISO auto → 1/15 s f/2.0 ISO 50, mean 0.90"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<uint8_t> pixels(row.grey < 0 ? 0 : 16 * 8 * 3, static_cast<uint8_t>(row.grey));
    const auto mean = MeanBrightness({pixels.empty() ? nullptr : pixels.data(), 16, 8, 16 * 3, 3});
    ExposureSteering steering;
    steering.Accepted(row.last);
    if (row.refusedBefore) steering.Next(0.02, row.preset, PowerShot(row.topIso));
    std::string line;
    EXPECT_EQ(steering.Next(mean, row.preset, PowerShot(row.topIso), &line), row.expected);
    if (!row.line.empty()) {
      EXPECT_EQ(line, row.line);
    }
  }
}

}  // namespace
}  // namespace korv
