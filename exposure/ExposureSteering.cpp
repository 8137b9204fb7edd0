#include "exposure/ExposureSteering.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "camera/sdk/CodeTables.h"
#include "station/Presets.h"

namespace korv {

namespace {

// How many stops of exposure move the mean of a picture by a factor of
// two: the display gamma of the pictures.
constexpr double kStopsPerDoubling = 2.2;
// A third of a stop and a half of it: what the camera's dials can't resolve.
constexpr double kHalfThird = 1.0 / 6;
// The most the camera's own metering gives: 1 s at f/2.8, ISO 400.
constexpr double kMeteringLimitStops = 0 + 2 - 3;
// The aperture assumed where the camera keeps its own: f/2.8.
constexpr uint32_t kOwnApertureCode = 32;
constexpr uint8_t kIso100 = 3;

double Code(CameraSetting setting, uint8_t ordinal) {
  return static_cast<double>(OrdinalToCode(CodeSet::CD, setting, ordinal));
}

// Stops of light each setting lets in, counted from 1 s, f/1 and ISO 100.
double TvStops(uint8_t tv) { return tv < 2 ? 0 : (56 - Code(CameraSetting::Tv, tv)) / 8; }
double AvStops(uint8_t av) {
  return -((av == 0 ? kOwnApertureCode : Code(CameraSetting::Av, av)) - 8) / 8;
}
double IsoStops(uint8_t iso) { return iso < 2 ? 0 : iso - kIso100; }
double CompensationStops(uint8_t ordinal) {
  return ordinal == 0 ? 0 : (Code(CameraSetting::ExposureCompensation, ordinal) - 24) / 8;
}
double Stops(const Exposure& e) { return TvStops(e.Tv) + AvStops(e.Av) + IsoStops(e.Iso); }

// The ordinals of `setting` the camera lists, from `first` on.
std::vector<uint8_t> Listed(const TRemoteCapabilities& available, CameraSetting setting, uint8_t first = 1) {
  std::vector<uint8_t> ordinals;
  const int base = CapabilityBase(setting);
  for (int ordinal = first; ordinal <= OrdinalCount(setting); ++ordinal)
    if (available[static_cast<size_t>(base + ordinal)] != 0) ordinals.push_back(static_cast<uint8_t>(ordinal));
  return ordinals;
}

// The ordinal whose stops lie nearest to `wanted`; `fallback` when none is listed.
template <typename StopsOf>
uint8_t Nearest(const std::vector<uint8_t>& ordinals, double wanted, StopsOf stops, uint8_t fallback) {
  uint8_t best = fallback;
  double distance = 1e9;
  for (uint8_t ordinal : ordinals)
    if (std::abs(stops(ordinal) - wanted) < distance - 1e-9) {
      distance = std::abs(stops(ordinal) - wanted);
      best = ordinal;
    }
  return best;
}

struct Lists {
  std::vector<uint8_t> Tv, Av, Iso, Compensation;
};

Lists ListsOf(const TRemoteCapabilities& available) {
  Lists lists{Listed(available, CameraSetting::Tv, 2), Listed(available, CameraSetting::Av),
              Listed(available, CameraSetting::ISO, 2), Listed(available, CameraSetting::ExposureCompensation)};
  std::erase_if(lists.Tv, [](uint8_t tv) { return TvStops(tv) > std::log2(kLongestSteeredExposureS) + kHalfThird; });
  return lists;
}

// Manual values that let in `wanted` stops: the widest aperture where it is
// steered, the lowest ISO the longest exposure allows, then the exposure;
// stopped down only when even the shortest exposure is too long.
Exposure Manual(double wanted, Exposure from, const Lists& lists, bool aperture) {
  Exposure next = from;
  next.Metered = false;
  if (aperture && !lists.Av.empty()) next.Av = lists.Av.front();
  const double av = AvStops(next.Av);
  double longest = -1e9;
  for (uint8_t tv : lists.Tv) longest = std::max(longest, TvStops(tv));
  if (!lists.Iso.empty()) next.Iso = lists.Iso.front();
  for (size_t i = 1; i < lists.Iso.size() && wanted - IsoStops(next.Iso) - av > longest + kHalfThird; ++i)
    next.Iso = lists.Iso[i];
  next.Tv = Nearest(lists.Tv, wanted - IsoStops(next.Iso) - av, TvStops, from.Tv);
  if (aperture && wanted - Stops(next) < -kHalfThird)
    next.Av = Nearest(lists.Av, wanted - TvStops(next.Tv) - IsoStops(next.Iso), AvStops, next.Av);
  return next;
}

// The day preset: the camera's metering shifted by its compensation while
// that reaches; beyond, manual values from the metering's limit on; back to
// metering once the wanted exposure is within it.
Exposure Day(double step, const Exposure& last, const Lists& lists) {
  double top = lists.Compensation.empty() ? 0 : CompensationStops(lists.Compensation.back());
  if (last.Metered) {
    double wanted = CompensationStops(last.Compensation) + step;
    if (wanted <= top + kHalfThird) {
      Exposure next = last;
      next.Compensation = Nearest(lists.Compensation, wanted, CompensationStops, last.Compensation);
      return next;
    }
    Exposure limit{false, last.Compensation, 0, 0, 0};
    if (!lists.Av.empty()) limit.Av = lists.Av.front();
    return Manual(kMeteringLimitStops + wanted, limit, lists, false);
  }
  double wanted = Stops(last) + step;
  if (wanted >= kMeteringLimitStops) return Manual(wanted, last, lists, false);
  Exposure metered{true, kNoCompensation, 0, 0, kIsoAutomatic};
  metered.Compensation = Nearest(lists.Compensation, wanted - kMeteringLimitStops, CompensationStops, kNoCompensation);
  return metered;
}

std::string Thirds(uint8_t ordinal) {
  static constexpr std::array<const char*, 13> texts{"-2",    "-1 2/3", "-1 1/3", "-1",     "-2/3",   "-1/3", "±0",
                                                     "+1/3",  "+2/3",   "+1",     "+1 1/3", "+1 2/3", "+2"};
  return ordinal >= 1 && ordinal <= texts.size() ? texts[ordinal - 1u] : "±0";
}

// Seconds as the dial writes them: "15", "0.8", "1/60"; nothing for the camera's own.
std::string TvSeconds(uint8_t tv) {
  static constexpr std::array<const char*, 58> texts{
      "30",     "25",     "20",     "15",     "13",      "10",      "8",      "6",      "5",     "4",
      "3.2",    "2.5",    "2",      "1.6",    "1.3",     "1",       "0.8",    "0.6",    "1/2",   "0.4",
      "0.3",    "1/4",    "1/5",    "1/6",    "1/8",     "1/10",    "1/13",   "1/15",   "1/20",  "1/25",
      "1/30",   "1/40",   "1/50",   "1/60",   "1/80",    "1/100",   "1/125",  "1/160",  "1/200", "1/250",
      "1/320",  "1/400",  "1/500",  "1/640",  "1/800",   "1/1000",  "1/1250", "1/1600", "1/2000", "1/2500",
      "1/3200", "1/4000", "1/5000", "1/6400", "1/8000",  "1/10000", "1/12800", "1/16000"};
  return tv >= 2 && tv - 2u < texts.size() ? texts[tv - 2u] : "";
}

std::string TvText(uint8_t tv) {
  const std::string seconds = TvSeconds(tv);
  return seconds.empty() ? "auto" : seconds + " s";
}

std::string FNumber(uint8_t av) {
  char f[16];
  std::snprintf(f, sizeof f, "%.1f", std::pow(2.0, -AvStops(av) / 2));
  return f;
}

std::string IsoText(uint8_t iso) {
  return iso < 2 ? "ISO auto" : "ISO " + std::to_string(50 << (iso - 2));
}

}  // namespace

std::string ExposureText(const Exposure& e, bool withAperture) {
  if (e.Metered) return "auto " + Thirds(e.Compensation) + " EV";
  std::string text = TvText(e.Tv) + " ";
  if (withAperture) text += "f/" + FNumber(e.Av) + " ";
  return text + IsoText(e.Iso);
}

Exposure ExposureOf(const TCameraSettings& settings, bool metered) {
  if (metered)
    return {true, settings.ExposureCompensation == 0 ? kNoCompensation : settings.ExposureCompensation, 0, 0,
            kIsoAutomatic};
  return {false, kNoCompensation, settings.Tv, settings.Av, settings.ISO};
}

ExposureListTexts ListTextsOf(const Exposure& e) {
  if (e.Metered) return {"Auto", "Auto", "Auto"};
  const std::string tv = TvSeconds(e.Tv);
  return {tv.empty() ? "Auto" : tv + " mp", e.Av == 0 ? "Auto" : "F" + FNumber(e.Av),
          e.Iso < 2 ? "Auto" : std::to_string(50 << (e.Iso - 2))};
}

void ApplyExposure(TCameraSettings& settings, const Exposure& e, uint8_t meteredMode, uint8_t manualMode) {
  settings.ShootingMode = e.Metered ? meteredMode : manualMode;
  if (e.Metered) {
    settings.ExposureCompensation = e.Compensation;
    settings.ISO = kIsoAutomatic;
    return;
  }
  settings.Tv = e.Tv;
  settings.Av = e.Av;
  settings.ISO = e.Iso;
}

ExposureSteering::ExposureSteering(double target)
    : Goal(std::clamp(target, kMinExposureTarget, kMaxExposureTarget)) {}

std::optional<Exposure> ExposureSteering::Next(std::optional<double> mean, int preset,
                                               const TRemoteCapabilities& available, std::string* line) const {
  if (!mean || !std::isfinite(*mean) || std::abs(*mean - Goal) <= kExposureDeadBand) return std::nullopt;
  const double measured = std::clamp(*mean, 1.0 / 255, 1.0);
  const double step =
      std::clamp(kStopsPerDoubling * std::log2(Goal / measured), -kMaxExposureStep, kMaxExposureStep);
  const Lists lists = ListsOf(available);
  const bool dusk = preset == kDuskPreset;
  // A night that began under the day's metering goes on from it as the day would.
  Exposure next = preset == kDayPreset || Last.Metered ? Day(step, Last, lists)
                                                       : Manual(Stops(Last) + step, Last, lists, dusk);
  if (next == Last) return std::nullopt;
  if (line) {
    char figure[16];
    std::snprintf(figure, sizeof figure, "%.2f", measured);
    *line = "exposure: " + ExposureText(Last, dusk) + " → " + ExposureText(next, dusk) + ", mean " + figure;
  }
  return next;
}

}  // namespace korv
