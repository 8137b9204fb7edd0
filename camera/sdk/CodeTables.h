// Conversions between the component's setting ordinals (the fields of
// TCameraSettings) and the camera libraries' codes. Pure and allocation-free:
// they run inside the probing loops of EnterRemoteMode.
#pragma once

#include <cstdint>

namespace korv {

enum class CameraSetting : uint8_t {
  Quality,
  ImageSize,
  ShootingMode,
  Av,
  Tv,
  ExposureCompensation,
  WhiteBalance,
  AFDistance,
  FlashMode,
  FlashCompensation,
  MeteringMode,
  ISO,
  Contrast,
  ColorSaturation,  // shares the contrast table
  Sharpness,        // shares the contrast table
  PhotoEffect,
  Beep,
};
inline constexpr int CameraSettingCount = 17;

// CD serves the CD and RC libraries; PR the PR library.
enum class CodeSet : uint8_t { CD, PR };

// Highest ordinal of a setting (ordinals run from 1).
uint8_t OrdinalCount(CameraSetting setting) noexcept;

// The code sent for ordinal 0 or for an ordinal the library has no code for.
uint32_t NoValueCode(CodeSet set, CameraSetting setting) noexcept;

// Library code to ordinal; 0 for a code without one. Av and Tv convert by
// ranges (the largest ordinal whose code is not above the given one).
uint8_t CodeToOrdinal(CodeSet set, CameraSetting setting, uint32_t code) noexcept;

// Ordinal to library code; NoValueCode for 0 and for ordinals without a code.
uint32_t OrdinalToCode(CodeSet set, CameraSetting setting, uint8_t ordinal) noexcept;

}  // namespace korv
