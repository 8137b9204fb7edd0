// Exposure steered by the pictures themselves: after each picture its mean
// brightness sets the next picture's exposure time, ISO and (in the dusk
// preset) aperture towards a target, within what the camera lists. Longer
// exposure comes before higher ISO, as it adds less noise; a step is at
// most two stops, and a picture near enough to the target changes nothing,
// so the steering never hunts. In the day preset the camera meters and its
// exposure compensation is steered, until the camera's own limit is
// reached; then the station takes over with manual values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "camera/CamDefines.h"

namespace korv {

inline constexpr double kDefaultExposureTarget = 0.30;
inline constexpr double kMinExposureTarget = 0.05, kMaxExposureTarget = 0.9;
inline constexpr double kExposureDeadBand = 0.05;  // no change this near the target
inline constexpr double kMaxExposureStep = 2;      // stops a picture
// The longest exposure steered to: the longest night preset's.
inline constexpr int kLongestSteeredExposureS = 15;

inline constexpr uint8_t kNoCompensation = 7;  // the middle of 1..13

// The exposure part of the settings record, in its ordinals.
struct Exposure {
  bool Metered = false;       // the camera meters, shifted by Compensation
  uint8_t Compensation = kNoCompensation;  // 1..13 in thirds of a stop
  uint8_t Tv = 0, Av = 0;     // 0: the camera's own
  uint8_t Iso = 0;            // 1 = automatic, 2.. = 50, 100, ...

  bool operator==(const Exposure&) const = default;
};

// "1/60 s ISO 100", "auto +2/3 EV"; the dusk preset's aperture as "f/2.8" before the ISO.
std::string ExposureText(const Exposure& exposure, bool withAperture);

// Writes the exposure into the record to send (the metered one as the day
// preset's mode with its compensation, the manual one with `manualMode`).
void ApplyExposure(TCameraSettings& settings, const Exposure& exposure, uint8_t meteredMode, uint8_t manualMode);
// The exposure of a record sent: `metered` when the camera meters it.
Exposure ExposureOf(const TCameraSettings& settings, bool metered);

// The exposure as the correction lists write their items: "1/60 mp" or
// "15 mp", "F2.8", "200"; "Auto" where the camera keeps its own.
struct ExposureListTexts {
  std::string Exposure, Aperture, Iso;
};
ExposureListTexts ListTextsOf(const Exposure& exposure);

class ExposureSteering {
public:
  explicit ExposureSteering(double target = kDefaultExposureTarget);

  double Target() const { return Goal; }
  // The exposure the camera was last given and accepted (a switch, Start, a
  // user's choice, or the steering's own).
  void Accepted(const Exposure& exposure) { Last = exposure; }
  const Exposure& Current() const { return Last; }

  // After a picture of mean brightness `mean` (0..1; nothing when it could
  // not be measured) taken in `preset` with the listed `available` values:
  // the exposure for the next picture when it differs from the current one,
  // with its log line in `line`. The caller reports Accepted() once the
  // camera took it; a refused one leaves the last accepted in place.
  std::optional<Exposure> Next(std::optional<double> mean, int preset, const TRemoteCapabilities& available,
                               std::string* line = nullptr) const;

private:
  double Goal;
  Exposure Last{};
};

}  // namespace korv
