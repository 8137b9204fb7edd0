// Conversions between the component's setting ordinals (the fields of
// TCameraSettings) and the camera libraries' codes. Pure and allocation-free:
// they run inside the probing loops of EnterRemoteMode.
#pragma once

#include <cstdint>

#include "camera/CamDefines.h"

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

// Where a setting lives: its ordinal field in TCameraSettings and the first
// index of its availability range in TRemoteCapabilities.
uint8_t& OrdinalField(TCameraSettings& settings, CameraSetting setting) noexcept;
int CapabilityBase(CameraSetting setting) noexcept;

// A code to start a library read from, so that a read that fails leaves
// ordinal 0 in the field.
uint32_t UnreadCode(CodeSet set, CameraSetting setting) noexcept;

}  // namespace korv
