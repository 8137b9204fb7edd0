// The five exposure presets and the tables between the correction lists'
// items and the camera settings ordinals.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace korv {

// Which correction lists a preset lets the user change.
struct ListsEnabled {
  bool Iso;
  bool Aperture;
  bool Exposure;
};

struct Preset {
  int32_t MinInterval;  // interval := the larger of base_interval and this
  int32_t ExposureS;
  int32_t Iso;
  int32_t Aperture;
  ListsEnabled Lists;
  uint16_t NightExposure;  // for the night presets: what the evening switch remembers; else 0
};

inline constexpr int kDayPreset = 1;
inline constexpr int kDuskPreset = 2;

// Preset of RadioButton1 (day) .. RadioButton5 (night 3); `button` is 1..5.
const Preset& PresetOf(int button);
// The night preset that remembers `nightExposure`; 0 for a value none does.
int NightPresetOf(uint16_t nightExposure);
// The values the evening switch sets for the remembered `nightExposure`:
// its night preset's, or for an exposure no preset has, the night presets'
// with that exposure and twice it as the interval.
Preset NightValuesOf(uint16_t nightExposure);

// Shooting modes the station asks of the camera.
inline constexpr uint8_t kShootingModeManual = 2;        // dusk
inline constexpr uint8_t kShootingModeShutterPriority = 17;  // night
inline constexpr uint8_t kIsoAutomatic = 1;
inline constexpr uint8_t kColorSaturationHigh = 3;       // one step above normal

// The texts of the lists' items, in order: the tables below read the items
// by index.
inline constexpr std::array<const char*, 6> kImageSizeTexts = {
    "Nagy méret", "Közepes méret", "Közepes méret-1", "Közepes méret-2", "Közepes méret-3", "Kis méret"};
inline constexpr std::array<const char*, 7> kExposureTexts = {"Auto",  "1 mp",  "2 mp", "5 mp",
                                                              "10 mp", "15 mp", "30 mp"};
inline constexpr std::array<const char*, 6> kApertureTexts = {"Auto", "F2.8", "F4.0", "F5.6", "F8.0", "F11.0"};
inline constexpr std::array<const char*, 7> kIsoTexts = {"Auto", "50", "100", "200", "400", "800", "1600"};
inline constexpr int kDefaultImageSizeItem = 3;  // "Közepes méret-2"

// Settings ordinals of the lists' items (by index). Nothing means the field
// keeps the camera's own value: "Auto" in the aperture and exposure lists,
// and a list without a selection.
std::optional<uint8_t> ImageSizeOfItem(int item);
std::optional<uint8_t> AvOfItem(int item);
std::optional<uint8_t> TvOfItem(int item);
std::optional<uint8_t> IsoOfItem(int item);
inline uint8_t FlashModeOf(bool flash) { return flash ? 3 : 1; }

// The list item that shows a preset value; nothing for a value the list lacks.
std::optional<int> ExposureItemOf(int32_t seconds);
std::optional<int> ApertureItemOf(int32_t fNumber);
std::optional<int> IsoItemOf(int32_t iso);

}  // namespace korv
