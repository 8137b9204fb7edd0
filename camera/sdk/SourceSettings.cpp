#include "camera/sdk/SourceSettings.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "camera/sdk/CamErrors.h"
#include "runtime/ByteReader.h"
#include "runtime/ScopeExit.h"

namespace korv {

namespace {

constexpr CodeSet CD = CodeSet::CD;

// Settings kept as release-camera setting data, in their order.
struct RelCamSetting {
  CameraSetting Setting;
  uint32_t Id;
  uint32_t Width;    // bytes written
  bool LowByteOnly;  // only the low byte of a read value is converted
};

constexpr RelCamSetting RelCamSettings[] = {
    {CameraSetting::MeteringMode, SDKRelCamMeteringMode, 1, false},
    {CameraSetting::ISO, SDKRelCamISO, 2, true},
    {CameraSetting::Contrast, SDKRelCamContrast, 1, false},
    {CameraSetting::ColorSaturation, SDKRelCamColorSaturation, 1, false},
    {CameraSetting::Sharpness, SDKRelCamSharpness, 1, false},
    {CameraSetting::PhotoEffect, SDKRelCamPhotoEffect, 2, false},
    {CameraSetting::Beep, SDKRelCamBeep, 1, false},
};

constexpr uint32_t ManualShootingMode = 4;  // Av and Tv trials only take in it
constexpr int ProbeSteps = 17;              // progress is counter / 17, the counter running 1..17

// Value bytes of a release-camera setting, little-endian as the library keeps them.
struct SettingData {
  uint8_t Bytes[4] = {};
  explicit SettingData(uint32_t value = 0) { std::memcpy(Bytes, &value, sizeof value); }
  uint32_t Code(const RelCamSetting& setting) const {
    ByteReader reader(Bytes, sizeof Bytes);
    return setting.Width == 1 || setting.LowByteOnly ? reader.U8() : reader.U16();
  }
};

template <class Entry>
void Check(const Entry& entry, TSDKStatus status) {
  CheckResult(entry.exportName(), status, CDErrorText);
}

void Mark(TRemoteCapabilities& caps, int base, uint8_t ordinal) { caps[base + ordinal] = 1; }

// The none flag of a range: set when nothing was found for the setting.
void MarkNone(TRemoteCapabilities& caps, int base, bool found) { caps[base] = found ? 0 : 1; }

// Lists an enumeration opened with status `reset`: count, then `next` per
// value, then release. False when the reset failed: the camera can't list it.
// `enumeration` is taken by reference: the reset in the same call fills it.
template <typename Next>
bool ListValues(TSDKStatus reset, const TSDKHandle& enumeration, SDKEntry<TSDKEnumCount>& count,
                SDKEntry<TSDKEnumRelease>& release, Next next) {
  if (reset != 0) return false;
  uint32_t n = 0;
  Check(count, count(enumeration, &n));
  for (uint32_t i = 0; i < n; ++i) next();
  Check(release, release(enumeration));
  return true;
}

// Tries every ordinal of `setting` with `write`; marks those accepted.
template <typename Write>
bool TryOrdinals(TRemoteCapabilities& caps, CameraSetting setting, Write write) {
  const int base = CapabilityBase(setting);
  bool found = false;
  for (uint8_t ordinal = 1; ordinal <= OrdinalCount(setting); ++ordinal)
    if (write(OrdinalToCode(CD, setting, ordinal)) == 0) {
      Mark(caps, base, ordinal);
      found = true;
    }
  return found;
}

}  // namespace

void ReadSourceSettings(const SourceSettingEntries& Entries, TSDKHandle Source, TCameraSettings& Settings) {
  Settings = {};
  uint16_t quality = static_cast<uint16_t>(UnreadCode(CD, CameraSetting::Quality));
  uint16_t size = static_cast<uint16_t>(UnreadCode(CD, CameraSetting::ImageSize));
  Entries.GetImageFormat(Source, &quality, &size);
  Settings.Quality = CodeToOrdinal(CD, CameraSetting::Quality, quality);
  Settings.ImageSize = CodeToOrdinal(CD, CameraSetting::ImageSize, size);

  for (const auto& entries : Entries.CodeSettings) {
    uint16_t code = static_cast<uint16_t>(UnreadCode(CD, entries.Setting));
    entries.Get(Source, &code);
    OrdinalField(Settings, entries.Setting) = CodeToOrdinal(CD, entries.Setting, code);
    if (entries.Setting == CameraSetting::WhiteBalance && Settings.WhiteBalance == WhiteBalanceColorTemperature) {
      uint16_t temperature = 0;
      uint32_t width = sizeof temperature;
      Entries.GetRelCam(Source, SDKRelCamColorTemperature, &width, &temperature);
      Settings.ColorTemperature = temperature;
    }
  }

  uint16_t mode = static_cast<uint16_t>(UnreadCode(CD, CameraSetting::FlashMode));
  uint16_t compensation = static_cast<uint16_t>(UnreadCode(CD, CameraSetting::FlashCompensation));
  Entries.GetFlash(Source, &mode, &compensation);
  Settings.FlashMode = CodeToOrdinal(CD, CameraSetting::FlashMode, mode);
  Settings.FlashCompensation = CodeToOrdinal(CD, CameraSetting::FlashCompensation, compensation);

  for (const auto& setting : RelCamSettings) {
    SettingData data(UnreadCode(CD, setting.Setting));
    uint32_t width = setting.Width;
    Entries.GetRelCam(Source, setting.Id, &width, data.Bytes);
    OrdinalField(Settings, setting.Setting) = CodeToOrdinal(CD, setting.Setting, data.Code(setting));
  }
}

void WriteSourceSettings(const SourceSettingEntries& Entries, TSDKHandle Source, TCameraSettings Settings,
                         SettingWriter Writer) {
  if (Settings.Quality != 0 && Settings.ImageSize != 0)
    Writer([&] {
      return Entries.SetImageFormat(Source, OrdinalToCode(CD, CameraSetting::Quality, Settings.Quality),
                                    OrdinalToCode(CD, CameraSetting::ImageSize, Settings.ImageSize));
    });

  for (const auto& entries : Entries.CodeSettings) {
    const uint8_t ordinal = OrdinalField(Settings, entries.Setting);
    if (ordinal != 0) Writer([&] { return entries.Set(Source, OrdinalToCode(CD, entries.Setting, ordinal)); });
    if (entries.Setting == CameraSetting::WhiteBalance && Settings.WhiteBalance == WhiteBalanceColorTemperature) {
      const auto temperature = static_cast<uint16_t>(Settings.ColorTemperature);
      Writer([&] { return Entries.SetRelCam(Source, SDKRelCamColorTemperature, sizeof temperature, &temperature); });
    }
  }

  if (Settings.FlashMode != 0)
    Writer([&] {
      return Entries.SetFlash(Source, OrdinalToCode(CD, CameraSetting::FlashMode, Settings.FlashMode),
                              SDKFlashUnchanged);
    });
  if (Settings.FlashCompensation != 0)
    Writer([&] {
      return Entries.SetFlash(Source, SDKFlashUnchanged,
                              OrdinalToCode(CD, CameraSetting::FlashCompensation, Settings.FlashCompensation));
    });

  for (const auto& setting : RelCamSettings) {
    const uint8_t ordinal = OrdinalField(Settings, setting.Setting);
    if (ordinal == 0) continue;
    const SettingData data(OrdinalToCode(CD, setting.Setting, ordinal));
    Writer([&] { return Entries.SetRelCam(Source, setting.Id, setting.Width, data.Bytes); });
  }
}

void ProbeSourceSettings(const SourceSettingEntries& Entries, TSDKHandle Source, TRemoteCapabilities& caps,
                         const TProbeProgress& Progress, bool ReportAfterFlash, SettingWriter Writer) {
  TCameraSettings saved;
  ReadSourceSettings(Entries, Source, saved);
  // Trials change the camera's settings: what it had goes back also when a
  // checked call fails half-way, whose failure is then what the caller hears.
  auto restore = ScopeExit([&]() noexcept {
    try {
      WriteSourceSettings(Entries, Source, saved, Writer);
    } catch (...) {
    }
  });
  int counter = 1;
  auto report = [&] {
    if (Progress) Progress(static_cast<int32_t>(std::lround(counter * 100.0 / ProbeSteps)));
  };
  report();

  // Quality and image size come in pairs; both ranges share one found flag.
  {
    const int qualityBase = CapabilityBase(CameraSetting::Quality);
    const int sizeBase = CapabilityBase(CameraSetting::ImageSize);
    const auto& formats = Entries.ImageFormats;
    bool found = false;
    TSDKHandle enumeration = 0;
    const bool listed =
        ListValues(formats.Reset(Source, &enumeration), enumeration, formats.Count, formats.Release, [&] {
          uint16_t quality = 0, size = 0;
          Check(formats.Next, formats.Next(enumeration, &quality, &size));
          Mark(caps, qualityBase, CodeToOrdinal(CD, CameraSetting::Quality, quality));
          Mark(caps, sizeBase, CodeToOrdinal(CD, CameraSetting::ImageSize, size));
          found = true;
        });
    if (!listed) {
      for (uint8_t q = 1; q <= OrdinalCount(CameraSetting::Quality); ++q)
        for (uint8_t s = 1; s <= OrdinalCount(CameraSetting::ImageSize); ++s)
          if (Entries.SetImageFormat(Source, OrdinalToCode(CD, CameraSetting::Quality, q),
                                     OrdinalToCode(CD, CameraSetting::ImageSize, s)) == 0) {
            Mark(caps, qualityBase, q);
            Mark(caps, sizeBase, s);
            found = true;
          }
    }
    MarkNone(caps, qualityBase, found);
    MarkNone(caps, sizeBase, found);
    counter += 2;
    report();
  }

  auto& setShootingMode = Entries.CodeSettings[0].Set;
  for (const auto& entries : Entries.CodeSettings) {
    const int base = CapabilityBase(entries.Setting);
    const bool needsManualMode = entries.Setting == CameraSetting::Av || entries.Setting == CameraSetting::Tv;
    bool found = false;
    TSDKHandle enumeration = 0;
    const bool listed =
        ListValues(entries.Reset(Source, &enumeration), enumeration, entries.Count, entries.Release, [&] {
          uint16_t code = 0;
          Check(entries.Next, entries.Next(enumeration, &code));
          Mark(caps, base, CodeToOrdinal(CD, entries.Setting, code));
          found = true;
        });
    if (!listed && (!needsManualMode || setShootingMode(Source, ManualShootingMode) == 0))
      found = TryOrdinals(caps, entries.Setting, [&](uint32_t code) { return entries.Set(Source, code); });
    MarkNone(caps, base, found);
    counter += 1;
    report();
  }

  // Flash modes are listed or tried; the compensation is always tried, with
  // the mode left unchanged.
  {
    const auto& modes = Entries.FlashModes;
    const int modeBase = CapabilityBase(CameraSetting::FlashMode);
    bool modeFound = false;
    TSDKHandle enumeration = 0;
    const bool listed = ListValues(modes.Reset(Source, &enumeration), enumeration, modes.Count, modes.Release, [&] {
      uint16_t code = 0;
      Check(modes.Next, modes.Next(enumeration, &code));
      Mark(caps, modeBase, CodeToOrdinal(CD, CameraSetting::FlashMode, code));
      modeFound = true;
    });
    if (!listed)
      modeFound = TryOrdinals(caps, CameraSetting::FlashMode,
                              [&](uint32_t code) { return Entries.SetFlash(Source, code, SDKFlashUnchanged); });
    const bool compensationFound =
        TryOrdinals(caps, CameraSetting::FlashCompensation,
                    [&](uint32_t code) { return Entries.SetFlash(Source, SDKFlashUnchanged, code); });
    MarkNone(caps, modeBase, modeFound);
    MarkNone(caps, CapabilityBase(CameraSetting::FlashCompensation), compensationFound);
    counter += 2;
    if (ReportAfterFlash) report();
  }

  for (const auto& setting : RelCamSettings) {
    const int base = CapabilityBase(setting.Setting);
    bool found = false;
    TSDKHandle enumeration = 0;
    uint32_t dataSize = 0;
    const TSDKStatus reset = Entries.RelCamReset(Source, setting.Id, &enumeration, &dataSize);
    const bool listed = ListValues(reset, enumeration, Entries.RelCamCount, Entries.RelCamRelease, [&] {
      SettingData data;
      // Never let the library write past our value buffer.
      const uint32_t size = std::min<uint32_t>(dataSize, sizeof data.Bytes);
      Check(Entries.RelCamNext, Entries.RelCamNext(enumeration, size, data.Bytes));
      Mark(caps, base, CodeToOrdinal(CD, setting.Setting, data.Code(setting)));
      found = true;
    });
    if (!listed)
      found = TryOrdinals(caps, setting.Setting, [&](uint32_t code) {
        const SettingData data(code);
        return Entries.SetRelCam(Source, setting.Id, setting.Width, data.Bytes);
      });
    MarkNone(caps, base, found);
    if (setting.Setting != CameraSetting::Beep) {
      counter += 1;
      report();
    }
  }
}

}  // namespace korv
