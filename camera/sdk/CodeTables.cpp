#include "camera/sdk/CodeTables.h"

#include <array>
#include <span>

namespace korv {

namespace {

constexpr int32_t None = -1;  // the ordinal has no code in this library

struct Table {
  std::span<const int32_t> Codes;  // index ordinal - 1
  uint32_t NoValue;
};

constexpr int32_t Quality[] = {1, 2, 3, 5, 4};
constexpr int32_t CDImageSize[] = {0, 1, 2, 5, 6, 7};
constexpr int32_t PRImageSize[] = {0, None, 2, 1, 3, 7};
constexpr int32_t CDShootingMode[] = {0,   4,   102, 103, 104, 105, 106, 107, 108, 109, 110, 111,
                                      112, 113, 114, 1,   2,   3,   5,   6,   7,   101, 115, 116,
                                      117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128};
constexpr int32_t PRShootingMode[] = {0,   4,   None, 147, 148, 132, 152, 153, 130, 155, 156, 159,
                                      158, 154, 151,  1,   2,   3,   5,   6,   7,   128, 160, 144,
                                      157, 133, None, 136, 135, 145, 134, 146, 138, 143, 129, 140};
constexpr int32_t Compensation[] = {8, 11, 13, 16, 19, 21, 24, 27, 29, 32, 35, 37, 40};
constexpr int32_t CDWhiteBalance[] = {0, 1, 2, 3, 4, 5, 14, 6, 15, 16, 7, 8, 9, 10, 11, 12};
constexpr int32_t PRWhiteBalance[] = {0,    1,    2,    3,    4,    None, 7,    10,
                                      11,   12,   None, None, None, None, None, None};
constexpr int32_t CDAFDistance[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr int32_t PRAFDistance[] = {0, 1, 2, 3, 4, 5, 6, 7, None, None, None, None};
constexpr int32_t FlashMode[] = {0, 1, 2, 3, 4, 5, 6};
constexpr int32_t MeteringMode[] = {0, 1, 2, 3, 4, 5};
constexpr int32_t ISO[] = {0, 0x40, 0x48, 0x50, 0x58, 0x60, 0x68, 0x70};
constexpr int32_t Contrast[] = {0xFF, 0, 1};  // -1, 0, +1 as signed bytes
constexpr int32_t CDPhotoEffect[] = {0, None, 1, 2, 3, 4};
constexpr int32_t PRPhotoEffect[] = {0, 1, 2, 3, 4, 5};
constexpr int32_t Beep[] = {1, 0};

// Av and Tv count in eighths of a stop, split into thirds at +3 and +5.
constexpr int32_t ThirdOffsets[] = {0, 3, 5};
constexpr uint8_t AvOrdinals = 40;
constexpr uint8_t TvOrdinals = 59;
constexpr uint32_t AvTvNoValue = 0xFFFF;

// Indexed by CameraSetting; Av and Tv are computed and have no list here.
constexpr std::array<Table, CameraSettingCount> CDTables = {{
    {Quality, 0xFFFF},
    {CDImageSize, 0x0FFF},
    {CDShootingMode, 0x0FFF},
    {{}, AvTvNoValue},
    {{}, AvTvNoValue},
    {Compensation, 0xFF},
    {CDWhiteBalance, 0x7FFF},
    {CDAFDistance, 0xFF},
    {FlashMode, 0xFF},
    {Compensation, 0xFF},
    {MeteringMode, 0xFF},
    {ISO, 0xFF},
    {Contrast, 0x7F},
    {Contrast, 0x7F},
    {Contrast, 0x7F},
    {CDPhotoEffect, 0xFFFF},
    {Beep, 0xFF},
}};

constexpr std::array<Table, CameraSettingCount> PRTables = {{
    {Quality, 0xFF},
    {PRImageSize, 0xFF},
    {PRShootingMode, 0xFF},
    {{}, AvTvNoValue},
    {{}, AvTvNoValue},
    {Compensation, 0xFF},
    {PRWhiteBalance, 0xFF},
    {PRAFDistance, 0xFF},
    {FlashMode, 0xFF},
    {Compensation, 0xFF},
    {MeteringMode, 0xFF},
    {ISO, 0xFF},
    {Contrast, 0x7F},
    {Contrast, 0x7F},
    {Contrast, 0x7F},
    {PRPhotoEffect, 0xFF},
    {Beep, 0xFF},
}};

constexpr const Table& TableOf(CodeSet set, CameraSetting setting) {
  const auto index = static_cast<size_t>(setting);
  return set == CodeSet::PR ? PRTables[index] : CDTables[index];
}

constexpr uint32_t AvCode(uint8_t ordinal) {
  const int n = ordinal - 1;
  return static_cast<uint32_t>(8 + 8 * (n / 3) + ThirdOffsets[n % 3]);
}

constexpr uint32_t TvCode(uint8_t ordinal) {
  if (ordinal == 1) return 4;
  const int n = ordinal - 2;
  return static_cast<uint32_t>(16 + 8 * (n / 3) + ThirdOffsets[n % 3]);
}

// The third of a stop that `eighths` (0..7) falls into, rounding down.
constexpr int ThirdOf(uint32_t eighths) { return eighths >= 5 ? 2 : eighths >= 3 ? 1 : 0; }

constexpr uint8_t AvOrdinal(uint32_t code) {
  if (code < 8) return 0;
  if (code >= AvCode(AvOrdinals)) return AvOrdinals;
  const uint32_t c = code - 8;
  return static_cast<uint8_t>(1 + 3 * (c / 8) + ThirdOf(c % 8));
}

constexpr uint8_t TvOrdinal(uint32_t code) {
  if (code < 4) return 0;
  if (code < 16) return 1;
  if (code >= TvCode(TvOrdinals)) return TvOrdinals;
  const uint32_t c = code - 16;
  return static_cast<uint8_t>(2 + 3 * (c / 8) + ThirdOf(c % 8));
}

static_assert(AvCode(40) == 112 && AvOrdinal(9) == 1 && AvOrdinal(12) == 2);
static_assert(TvCode(59) == 168 && TvOrdinal(21) == 4 && TvOrdinal(15) == 1);

// The PR library also reports white balance as code 14, meaning ordinal 7.
constexpr uint32_t PRWhiteBalanceExtraCode = 14;
constexpr uint8_t PRWhiteBalanceExtraOrdinal = 7;

}  // namespace

uint8_t OrdinalCount(CameraSetting setting) noexcept {
  switch (setting) {
    case CameraSetting::Av: return AvOrdinals;
    case CameraSetting::Tv: return TvOrdinals;
    default: return static_cast<uint8_t>(CDTables[static_cast<size_t>(setting)].Codes.size());
  }
}

uint32_t NoValueCode(CodeSet set, CameraSetting setting) noexcept { return TableOf(set, setting).NoValue; }

uint8_t CodeToOrdinal(CodeSet set, CameraSetting setting, uint32_t code) noexcept {
  if (setting == CameraSetting::Av) return AvOrdinal(code);
  if (setting == CameraSetting::Tv) return TvOrdinal(code);
  if (set == CodeSet::PR && setting == CameraSetting::WhiteBalance && code == PRWhiteBalanceExtraCode)
    return PRWhiteBalanceExtraOrdinal;
  const auto codes = TableOf(set, setting).Codes;
  for (size_t i = 0; i < codes.size(); ++i)
    if (codes[i] != None && static_cast<uint32_t>(codes[i]) == code) return static_cast<uint8_t>(i + 1);
  return 0;
}

uint32_t OrdinalToCode(CodeSet set, CameraSetting setting, uint8_t ordinal) noexcept {
  const Table& table = TableOf(set, setting);
  if (ordinal == 0 || ordinal > OrdinalCount(setting)) return table.NoValue;
  if (setting == CameraSetting::Av) return AvCode(ordinal);
  if (setting == CameraSetting::Tv) return TvCode(ordinal);
  const int32_t code = table.Codes[ordinal - 1];
  return code == None ? table.NoValue : static_cast<uint32_t>(code);
}

uint8_t& OrdinalField(TCameraSettings& settings, CameraSetting setting) noexcept {
  switch (setting) {
    case CameraSetting::Quality: return settings.Quality;
    case CameraSetting::ImageSize: return settings.ImageSize;
    case CameraSetting::ShootingMode: return settings.ShootingMode;
    case CameraSetting::Av: return settings.Av;
    case CameraSetting::Tv: return settings.Tv;
    case CameraSetting::ExposureCompensation: return settings.ExposureCompensation;
    case CameraSetting::WhiteBalance: return settings.WhiteBalance;
    case CameraSetting::AFDistance: return settings.AFDistance;
    case CameraSetting::FlashMode: return settings.FlashMode;
    case CameraSetting::FlashCompensation: return settings.FlashCompensation;
    case CameraSetting::MeteringMode: return settings.MeteringMode;
    case CameraSetting::ISO: return settings.ISO;
    case CameraSetting::Contrast: return settings.Contrast;
    case CameraSetting::ColorSaturation: return settings.ColorSaturation;
    case CameraSetting::Sharpness: return settings.Sharpness;
    case CameraSetting::PhotoEffect: return settings.PhotoEffect;
    case CameraSetting::Beep: break;
  }
  return settings.Beep;
}

int CapabilityBase(CameraSetting setting) noexcept {
  constexpr int bases[CameraSettingCount] = {
      CapQualityBase,  CapImageSizeBase,        CapShootingModeBase, CapAvBase,
      CapTvBase,       CapExposureCompensationBase, CapWhiteBalanceBase, CapAFDistanceBase,
      CapFlashModeBase, CapFlashCompensationBase, CapMeteringModeBase, CapISOBase,
      CapContrastBase, CapColorSaturationBase,  CapSharpnessBase,    CapPhotoEffectBase,
      CapBeepBase};
  return bases[static_cast<size_t>(setting)];
}

uint32_t UnreadCode(CodeSet set, CameraSetting setting) noexcept {
  // Av and Tv read by ranges, where the no-value code means the last ordinal.
  if (setting == CameraSetting::Av || setting == CameraSetting::Tv) return 0;
  return NoValueCode(set, setting);
}

}  // namespace korv
