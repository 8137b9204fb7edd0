#include "camera/sdk/SourceSettings.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

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
void TryOrdinals(const std::function<void(CameraSetting, uint8_t)>& mark, CameraSetting setting, Write write) {
  for (uint8_t ordinal = 1; ordinal <= OrdinalCount(setting); ++ordinal)
    if (write(OrdinalToCode(CD, setting, ordinal)) == 0) mark(setting, ordinal);
}

// One step of the probing: the settings it finds values for (a pair shares
// one found flag), how the camera lists them (false when it can't) and how
// they are tried otherwise, and its share of the progress.
using ValueMark = std::function<void(CameraSetting, uint8_t ordinal)>;
struct ProbeStep {
  std::vector<CameraSetting> Settings;
  std::function<bool(const ValueMark&)> Lister;  // none: always tried
  std::function<void(const ValueMark&)> Trier;
  int Weight = 1;
  bool Reports = true;  // progress reported after it
};

// Quality and image size come in pairs.
ProbeStep ImageFormatStep(const SourceSettingEntries& Entries, TSDKHandle Source) {
  auto lister = [&Entries, Source](const ValueMark& mark) {
    const auto& formats = Entries.ImageFormats;
    TSDKHandle enumeration = 0;
    return ListValues(formats.Reset(Source, &enumeration), enumeration, formats.Count, formats.Release, [&] {
      uint16_t quality = 0, size = 0;
      Check(formats.Next, formats.Next(enumeration, &quality, &size));
      mark(CameraSetting::Quality, CodeToOrdinal(CD, CameraSetting::Quality, quality));
      mark(CameraSetting::ImageSize, CodeToOrdinal(CD, CameraSetting::ImageSize, size));
    });
  };
  auto trier = [&Entries, Source](const ValueMark& mark) {
    for (uint8_t q = 1; q <= OrdinalCount(CameraSetting::Quality); ++q)
      for (uint8_t s = 1; s <= OrdinalCount(CameraSetting::ImageSize); ++s)
        if (Entries.SetImageFormat(Source, OrdinalToCode(CD, CameraSetting::Quality, q),
                                   OrdinalToCode(CD, CameraSetting::ImageSize, s)) == 0) {
          mark(CameraSetting::Quality, q);
          mark(CameraSetting::ImageSize, s);
        }
  };
  return {{CameraSetting::Quality, CameraSetting::ImageSize}, lister, trier, 2};
}

// Av and Tv trials only take in the manual shooting mode.
ProbeStep CodeSettingStep(const SourceSettingEntries& Entries, const CodeSettingEntries& entries,
                          TSDKHandle Source) {
  auto lister = [&entries, Source](const ValueMark& mark) {
    TSDKHandle enumeration = 0;
    return ListValues(entries.Reset(Source, &enumeration), enumeration, entries.Count, entries.Release, [&] {
      uint16_t code = 0;
      Check(entries.Next, entries.Next(enumeration, &code));
      mark(entries.Setting, CodeToOrdinal(CD, entries.Setting, code));
    });
  };
  auto trier = [&Entries, &entries, Source](const ValueMark& mark) {
    const bool needsManualMode = entries.Setting == CameraSetting::Av || entries.Setting == CameraSetting::Tv;
    if (!needsManualMode || Entries.CodeSettings[0].Set(Source, ManualShootingMode) == 0)
      TryOrdinals(mark, entries.Setting, [&](uint32_t code) { return entries.Set(Source, code); });
  };
  return {{entries.Setting}, lister, trier, 1};
}

// Flash modes are listed or tried; the compensation is always tried, with
// the mode left unchanged. Both count as one step of two.
std::vector<ProbeStep> FlashSteps(const SourceSettingEntries& Entries, TSDKHandle Source, bool ReportAfterFlash) {
  auto lister = [&Entries, Source](const ValueMark& mark) {
    const auto& modes = Entries.FlashModes;
    TSDKHandle enumeration = 0;
    return ListValues(modes.Reset(Source, &enumeration), enumeration, modes.Count, modes.Release, [&] {
      uint16_t code = 0;
      Check(modes.Next, modes.Next(enumeration, &code));
      mark(CameraSetting::FlashMode, CodeToOrdinal(CD, CameraSetting::FlashMode, code));
    });
  };
  auto modes = [&Entries, Source](const ValueMark& mark) {
    TryOrdinals(mark, CameraSetting::FlashMode,
                [&](uint32_t code) { return Entries.SetFlash(Source, code, SDKFlashUnchanged); });
  };
  auto compensations = [&Entries, Source](const ValueMark& mark) {
    TryOrdinals(mark, CameraSetting::FlashCompensation,
                [&](uint32_t code) { return Entries.SetFlash(Source, SDKFlashUnchanged, code); });
  };
  return {{{CameraSetting::FlashMode}, lister, modes, 0, false},
          {{CameraSetting::FlashCompensation}, nullptr, compensations, 2, ReportAfterFlash}};
}

// The beep takes no share of the progress.
ProbeStep RelCamStep(const SourceSettingEntries& Entries, const RelCamSetting& setting, TSDKHandle Source) {
  auto lister = [&Entries, &setting, Source](const ValueMark& mark) {
    TSDKHandle enumeration = 0;
    uint32_t dataSize = 0;
    const TSDKStatus reset = Entries.RelCamReset(Source, setting.Id, &enumeration, &dataSize);
    return ListValues(reset, enumeration, Entries.RelCamCount, Entries.RelCamRelease, [&] {
      SettingData data;
      // Never let the library write past our value buffer.
      const uint32_t size = std::min<uint32_t>(dataSize, sizeof data.Bytes);
      Check(Entries.RelCamNext, Entries.RelCamNext(enumeration, size, data.Bytes));
      mark(setting.Setting, CodeToOrdinal(CD, setting.Setting, data.Code(setting)));
    });
  };
  auto trier = [&Entries, &setting, Source](const ValueMark& mark) {
    TryOrdinals(mark, setting.Setting, [&](uint32_t code) {
      const SettingData data(code);
      return Entries.SetRelCam(Source, setting.Id, setting.Width, data.Bytes);
    });
  };
  const bool beep = setting.Setting == CameraSetting::Beep;
  return {{setting.Setting}, lister, trier, beep ? 0 : 1, !beep};
}

// Every step, in the order the libraries are asked.
std::vector<ProbeStep> SourceProbeSteps(const SourceSettingEntries& Entries, TSDKHandle Source,
                                        bool ReportAfterFlash) {
  std::vector<ProbeStep> steps{ImageFormatStep(Entries, Source)};
  for (const auto& entries : Entries.CodeSettings) steps.push_back(CodeSettingStep(Entries, entries, Source));
  for (ProbeStep& step : FlashSteps(Entries, Source, ReportAfterFlash)) steps.push_back(std::move(step));
  for (const auto& setting : RelCamSettings) steps.push_back(RelCamStep(Entries, setting, Source));
  return steps;
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
  const std::vector<ProbeStep> steps = SourceProbeSteps(Entries, Source, ReportAfterFlash);
  int total = 1;  // the report before the first step counts one
  for (const ProbeStep& step : steps) total += step.Weight;
  int counter = 1;
  auto report = [&] {
    if (Progress) Progress(static_cast<int32_t>(std::lround(counter * 100.0 / total)));
  };
  report();
  for (const ProbeStep& step : steps) {
    bool found = false;
    const ValueMark mark = [&](CameraSetting setting, uint8_t ordinal) {
      caps[CapabilityBase(setting) + ordinal] = 1;
      found = true;
    };
    if (!step.Lister || !step.Lister(mark)) step.Trier(mark);
    for (CameraSetting setting : step.Settings) MarkNone(caps, CapabilityBase(setting), found);
    counter += step.Weight;
    if (step.Reports) report();
  }
}

}  // namespace korv
