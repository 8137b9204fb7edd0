#include "station/Presets.h"

#include <array>
#include <span>

#include "runtime/Exception.h"

namespace korv {

namespace {

constexpr std::array<Preset, 5> kPresets{{
    {5, 0, 0, 0, {false, false, false}, 0},
    {7, 2, 50, 8, {false, true, true}, 0},
    {10, 5, 50, 0, {true, false, true}, 5},
    {20, 10, 50, 0, {true, false, true}, 10},
    {30, 15, 50, 0, {true, false, true}, 15},
}};

// What no preset has: a night exposure that none remembers (a settings file
// written by hand) gets the night presets' ISO, aperture and lists.
constexpr Preset kOtherNight{0, 0, 50, 0, {true, false, true}, 0};

// Item 0 is "Auto" where it leaves the camera's value: its code is 0.
constexpr uint8_t kImageSizes[] = {1, 2, 4, 5, 6, 3};
constexpr uint8_t kAvs[] = {0, 10, 13, 16, 19, 22};
constexpr uint8_t kTvs[] = {0, 17, 14, 10, 7, 5, 2};
constexpr uint8_t kIsos[] = {1, 2, 3, 4, 5, 6, 7};

constexpr int32_t kExposureItems[] = {0, 1, 2, 5, 10, 15, 30};
constexpr int32_t kIsoItems[] = {0, 50, 100, 200, 400, 800, 1600};

std::optional<uint8_t> CodeOf(std::span<const uint8_t> codes, int item) {
  if (item < 0 || item >= static_cast<int>(codes.size()) || codes[static_cast<size_t>(item)] == 0) return std::nullopt;
  return codes[static_cast<size_t>(item)];
}

std::optional<int> ItemOf(std::span<const int32_t> values, int32_t value) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i] == value) return static_cast<int>(i);
  }
  return std::nullopt;
}

}  // namespace

const Preset& PresetOf(int button) {
  if (button < 1 || button > 5) throw EAssertionFailed::At("Presets", __LINE__);
  return kPresets[static_cast<size_t>(button - 1)];
}

int NightPresetOf(uint16_t nightExposure) {
  for (size_t i = 0; i < kPresets.size(); ++i) {
    if (kPresets[i].NightExposure != 0 && kPresets[i].NightExposure == nightExposure) return static_cast<int>(i) + 1;
  }
  return 0;
}

Preset NightValuesOf(uint16_t nightExposure) {
  if (int button = NightPresetOf(nightExposure)) return PresetOf(button);
  Preset night = kOtherNight;
  night.MinInterval = 2 * int32_t{nightExposure};
  night.ExposureS = nightExposure;
  night.NightExposure = nightExposure;
  return night;
}

std::optional<uint8_t> ImageSizeOfItem(int item) { return CodeOf(kImageSizes, item); }
std::optional<uint8_t> AvOfItem(int item) { return CodeOf(kAvs, item); }
std::optional<uint8_t> TvOfItem(int item) { return CodeOf(kTvs, item); }
std::optional<uint8_t> IsoOfItem(int item) { return CodeOf(kIsos, item); }

std::optional<int> ExposureItemOf(int32_t seconds) { return ItemOf(kExposureItems, seconds); }

std::optional<int> ApertureItemOf(int32_t fNumber) {
  if (fNumber == 0) return 0;
  if (fNumber == 8) return 4;  // "F8.0"
  return std::nullopt;
}

std::optional<int> IsoItemOf(int32_t iso) { return ItemOf(kIsoItems, iso); }

}  // namespace korv
