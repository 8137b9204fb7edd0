#include "camera/sdk/TCDSDK.h"

#include <cmath>
#include <cstring>

#include "camera/sdk/BackendCommon.h"
#include "camera/sdk/CDAPI.h"
#include "camera/sdk/CamErrors.h"
#include "camera/sdk/CodeTables.h"
#include "runtime/ByteReader.h"
#include "runtime/Convert.h"

namespace korv {

namespace {

constexpr CodeSet CD = CodeSet::CD;

// Settings with a get, a set and an enumeration of 16-bit codes, in the order
// they are read, written and probed.
struct CodeSettingEntries {
  CameraSetting Setting;
  SDKEntry<TSDKGetCode>& Get;
  SDKEntry<TSDKSetValue>& Set;
  SDKEntry<TSDKEnumReset>& Reset;
  SDKEntry<TSDKEnumCount>& Count;
  SDKEntry<TSDKEnumNextCode>& Next;
  SDKEntry<TSDKEnumRelease>& Release;
  bool NeedsManualMode;  // trial writes only take in shooting mode 4
};

const CodeSettingEntries CodeSettings[] = {
    {CameraSetting::ShootingMode, CDGetShootingMode, CDSetShootingMode, CDEnumShootingModeReset,
     CDGetShootingModeCount, CDEnumShootingModeNext, CDEnumShootingModeRelease, false},
    {CameraSetting::Av, CDGetAvValue, CDSetAvValue, CDEnumAvValueReset, CDGetAvValueCount, CDEnumAvValueNext,
     CDEnumAvValueRelease, true},
    {CameraSetting::Tv, CDGetTvValue, CDSetTvValue, CDEnumTvValueReset, CDGetTvValueCount, CDEnumTvValueNext,
     CDEnumTvValueRelease, true},
    {CameraSetting::ExposureCompensation, CDGetExposureComp, CDSetExposureComp, CDEnumExposureCompReset,
     CDGetExposureCompCount, CDEnumExposureCompNext, CDEnumExposureCompRelease, false},
    {CameraSetting::WhiteBalance, CDGetWBSetting, CDSetWBSetting, CDEnumWBSettingReset, CDGetWBSettingCount,
     CDEnumWBSettingNext, CDEnumWBSettingRelease, false},
    {CameraSetting::AFDistance, CDGetAFDistanceSetting, CDSetAFDistanceSetting, CDEnumAFDistanceSettingReset,
     CDGetAFDistanceSettingCount, CDEnumAFDistanceSettingNext, CDEnumAFDistanceSettingRelease, false},
};

// Settings kept as release-camera setting data, in their order.
struct RelCamSetting {
  CameraSetting Setting;
  uint32_t Id;
  uint32_t Width;      // bytes written
  bool LowByteOnly;    // only the low byte of a read value is converted
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

constexpr uint32_t ManualShootingMode = 4;
constexpr int ProbeSteps = 17;  // progress is counter / 17, the counter running 1..17
constexpr uint32_t PropertyNameSize = 32;
constexpr uint32_t MaxPropertyIds = 100000;  // a camera lists far fewer; ends a runaway enumeration

// Value bytes of a release-camera setting, little-endian as the library keeps them.
struct SettingData {
  uint8_t Bytes[4] = {};
  explicit SettingData(uint32_t value = 0) { std::memcpy(Bytes, &value, sizeof value); }
  uint32_t Code(const RelCamSetting& setting) const {
    ByteReader reader(Bytes, sizeof Bytes);
    return setting.Width == 1 || setting.LowByteOnly ? reader.U8() : reader.U16();
  }
};

void Mark(TRemoteCapabilities& caps, int base, uint8_t ordinal) { caps[base + ordinal] = 1; }

// The none flag of a range: set when nothing was found for the setting.
void MarkNone(TRemoteCapabilities& caps, int base, bool found) { caps[base] = found ? 0 : 1; }

// Release data kind bits for the two enumerations; 0 outside them.
uint32_t DataKindBits(ReleaseModeType mode, ReleaseDataKindType kind) {
  constexpr uint32_t bits[3][3] = {{1, 2, 3}, {5, 10, 15}, {4, 8, 12}};
  if (mode > ReleaseModeOnlyToCamera || kind > ReleaseDataKingTakeBothThumbAndPic) return 0;
  return bits[mode][kind];
}

// Lists an enumeration opened with status `reset`: count, then `next` per
// value, then release. False when the reset failed: the camera can't list it.
template <typename Next>
bool ListValues(TSDKStatus reset, TSDKHandle enumeration, SDKEntry<TSDKEnumCount>& count,
                SDKEntry<TSDKEnumRelease>& release, Next next) {
  if (reset != 0) return false;
  uint32_t n = 0;
  TCDSDK::CheckResult(count.exportName(), count(enumeration, &n));
  for (uint32_t i = 0; i < n; ++i) next();
  TCDSDK::CheckResult(release.exportName(), release(enumeration));
  return true;
}

}  // namespace

void TCDSDK::CheckResult(std::string_view FunctionName, TSDKStatus Status) {
  korv::CheckResult(FunctionName, Status, CDErrorText);
}

void TCDSDK::StartSDK() {
  LoadCDSDK();
  const auto version = VersionRecord(40, 7, 3);
  CheckResult("CDStartSDK", CDStartSDK(version.data(), 0));
}

void TCDSDK::EnumerateCameras(std::vector<std::string>& Names) {
  Names.clear();
  LoadCDSDK();
  EnumerateSources({CDEnumDeviceReset, CDGetDeviceCount, CDEnumDeviceNext, CDEnumDeviceRelease}, Names,
                   CDDeviceList());
}

void TCDSDK::Connect(int32_t ConnectToCamera, TSDKEventCallback Callback, uint32_t Context, ConnectInfoType& Info) {
  LoadCDSDK();
  const auto& devices = CDDeviceList();
  CheckCameraNumber(ConnectToCamera, devices.size(), "PowerShot cameras", "PowerShot cameras");

  ConnectInfo.Kind = CameraKindNone;
  SourceInfo = devices[ConnectToCamera];
  CheckResult("CDOpenSource", CDOpenSource(SourceInfo.data(), &SourceHandle));
  ConnectInfo.Kind = CameraKindPowerShot;
  ConnectInfo.ModelName = SourceText(SourceInfo, SDKSourceModelNameOffset);
  ConnectInfo.CameraOwner = GetDevicePropertyText();

  uint32_t power = 0;
  ReadDeviceProperty(SDKPropPowerState, &power, sizeof power);
  DecodePowerState(power, ConnectInfo);

  CheckResult("CDRegisterEventCallbackFunction",
              CDRegisterEventCallbackFunction(SourceHandle, Callback, Context, &EventCallbackHandle));
  Info = ConnectInfo;
}

void TCDSDK::ReadDeviceProperty(uint32_t PropertyId, void* Buffer, uint32_t Size) {
  TSDKHandle enumeration = 0;
  CheckResult("CDEnumDevicePropertyReset", CDEnumDevicePropertyReset(SourceHandle, 0, &enumeration));
  // Released whatever happens; its status is of no interest. An unbound entry
  // would raise, which a destructor must not do.
  struct ReleaseAlways {
    TSDKHandle Enumeration;
    ~ReleaseAlways() {
      if (CDEnumDevicePropertyRelease.bound()) CDEnumDevicePropertyRelease(Enumeration);
    }
  } release{enumeration};
  uint32_t id = SDKPropEnumStart;
  for (uint32_t listed = 0; id != PropertyId; ++listed) {
    if (listed == MaxPropertyIds)
      throw ECamException("The camera does not list device property 0x" + IntToHex(PropertyId, 8));
    CheckResult("CDEnumDevicePropertyNext", CDEnumDevicePropertyNext(enumeration, &id));
  }
  uint32_t size = Size;
  CheckResult("CDGetDevicePropertyData", CDGetDevicePropertyData(SourceHandle, id, &size, Buffer, 0));
}

std::string TCDSDK::GetDevicePropertyText() {
  char name[PropertyNameSize] = {};
  ReadDeviceProperty(SDKPropOwnerName, name, sizeof name);
  return ByteReader(name, sizeof name).Text(sizeof name);
}

bool TCDSDK::IsRemoteCapable() {
  uint32_t faculty = 0;
  if (CDGetReleaseControlFaculty(SourceHandle, &faculty) != 0) return true;
  return (faculty & SDKFacultyRemoteControl) != 0;
}

void TCDSDK::EnterRemoteMode(ReleaseModeType Mode, ReleaseDataKindType DataKind, TRemoteCapabilities& Capabilities,
                             uint32_t Context, TSDKEventCallback Callback, bool ProbeParameters) {
  Capabilities.fill(0);
  CheckResult("CDEnterReleaseControl", CDEnterReleaseControl(SourceHandle, Callback, Context));
  CheckResult("CDSelectReleaseDataKind", CDSelectReleaseDataKind(SourceHandle, DataKindBits(Mode, DataKind)));
  uint32_t faculty = 0;
  CheckResult("CDGetReleaseControlFaculty", CDGetReleaseControlFaculty(SourceHandle, &faculty));
  for (int bit = 0; bit <= CapFocusLock; ++bit) Capabilities[bit] = (faculty >> bit) & 1;
  if (Capabilities[CapSettings] == 0 || !ProbeParameters) return;
  ProbeSettings(Capabilities);
}

// Finds the values each setting accepts: from the camera's own list where it
// has one, else by trying every ordinal. The settings are restored afterwards.
void TCDSDK::ProbeSettings(TRemoteCapabilities& caps) {
  int counter = 1;
  auto advance = [&](int steps) {
    counter += steps;
    ReportProbeProgress(static_cast<int32_t>(std::lround(counter * 100.0 / ProbeSteps)));
  };

  TCameraSettings saved;
  GetCameraSettings(saved);
  ReportProbeProgress(static_cast<int32_t>(std::lround(counter * 100.0 / ProbeSteps)));

  // Quality and image size come in pairs; both ranges share one found flag.
  {
    const int qualityBase = CapabilityBase(CameraSetting::Quality);
    const int sizeBase = CapabilityBase(CameraSetting::ImageSize);
    bool found = false;
    TSDKHandle enumeration = 0;
    const TSDKStatus reset = CDEnumImageFormatAttributeReset(SourceHandle, &enumeration);
    const bool listed = ListValues(
        reset, enumeration, CDGetImageFormatAttributeCount,
        CDEnumImageFormatAttributeRelease, [&] {
          uint16_t quality = 0, size = 0;
          CheckResult("CDEnumImageFormatAttributeNext", CDEnumImageFormatAttributeNext(enumeration, &quality, &size));
          Mark(caps, qualityBase, CodeToOrdinal(CD, CameraSetting::Quality, quality));
          Mark(caps, sizeBase, CodeToOrdinal(CD, CameraSetting::ImageSize, size));
          found = true;
        });
    if (!listed) {
      for (uint8_t q = 1; q <= OrdinalCount(CameraSetting::Quality); ++q)
        for (uint8_t s = 1; s <= OrdinalCount(CameraSetting::ImageSize); ++s)
          if (CDSetImageFormatAttribute(SourceHandle, OrdinalToCode(CD, CameraSetting::Quality, q),
                                        OrdinalToCode(CD, CameraSetting::ImageSize, s)) == 0) {
            Mark(caps, qualityBase, q);
            Mark(caps, sizeBase, s);
            found = true;
          }
    }
    MarkNone(caps, qualityBase, found);
    MarkNone(caps, sizeBase, found);
    advance(2);
  }

  for (const auto& entries : CodeSettings) {
    const int base = CapabilityBase(entries.Setting);
    bool found = false;
    TSDKHandle enumeration = 0;
    const TSDKStatus reset = entries.Reset(SourceHandle, &enumeration);
    const bool listed = ListValues(reset, enumeration, entries.Count, entries.Release, [&] {
          uint16_t code = 0;
          CheckResult(entries.Next.exportName(), entries.Next(enumeration, &code));
          Mark(caps, base, CodeToOrdinal(CD, entries.Setting, code));
          found = true;
        });
    if (!listed && (!entries.NeedsManualMode || CDSetShootingMode(SourceHandle, ManualShootingMode) == 0)) {
      for (uint8_t ordinal = 1; ordinal <= OrdinalCount(entries.Setting); ++ordinal)
        if (entries.Set(SourceHandle, OrdinalToCode(CD, entries.Setting, ordinal)) == 0) {
          Mark(caps, base, ordinal);
          found = true;
        }
    }
    MarkNone(caps, base, found);
    advance(1);
  }

  // Flash modes are listed or tried; the compensation is always tried, with
  // the mode left unchanged.
  {
    const int modeBase = CapabilityBase(CameraSetting::FlashMode);
    const int compensationBase = CapabilityBase(CameraSetting::FlashCompensation);
    bool modeFound = false;
    TSDKHandle enumeration = 0;
    const TSDKStatus reset = CDEnumFlashSettingReset(SourceHandle, &enumeration);
    const bool listed = ListValues(reset, enumeration,
                                   CDGetFlashSettingCount, CDEnumFlashSettingRelease, [&] {
                                     uint16_t code = 0;
                                     CheckResult("CDEnumFlashSettingNext", CDEnumFlashSettingNext(enumeration, &code));
                                     Mark(caps, modeBase, CodeToOrdinal(CD, CameraSetting::FlashMode, code));
                                     modeFound = true;
                                   });
    if (!listed) {
      for (uint8_t ordinal = 1; ordinal <= OrdinalCount(CameraSetting::FlashMode); ++ordinal)
        if (CDSetFlashSetting(SourceHandle, OrdinalToCode(CD, CameraSetting::FlashMode, ordinal),
                              SDKFlashUnchanged) == 0) {
          Mark(caps, modeBase, ordinal);
          modeFound = true;
        }
    }
    bool compensationFound = false;
    for (uint8_t ordinal = 1; ordinal <= OrdinalCount(CameraSetting::FlashCompensation); ++ordinal)
      if (CDSetFlashSetting(SourceHandle, SDKFlashUnchanged,
                            OrdinalToCode(CD, CameraSetting::FlashCompensation, ordinal)) == 0) {
        Mark(caps, compensationBase, ordinal);
        compensationFound = true;
      }
    MarkNone(caps, modeBase, modeFound);
    MarkNone(caps, compensationBase, compensationFound);
    advance(2);
  }

  for (const auto& setting : RelCamSettings) {
    const int base = CapabilityBase(setting.Setting);
    bool found = false;
    TSDKHandle enumeration = 0;
    uint32_t dataSize = 0;
    const TSDKStatus reset = CDEnumRelCamSettingDataReset(SourceHandle, setting.Id, &enumeration, &dataSize);
    const bool listed =
        ListValues(reset, enumeration, CDGetRelCamSettingDataCount, CDEnumRelCamSettingDataRelease, [&] {
          SettingData data;
          // Never let the library write past our value buffer.
          const uint32_t size = std::min<uint32_t>(dataSize, sizeof data.Bytes);
          CheckResult("CDEnumRelCamSettingDataNext", CDEnumRelCamSettingDataNext(enumeration, size, data.Bytes));
          Mark(caps, base, CodeToOrdinal(CD, setting.Setting, data.Code(setting)));
          found = true;
        });
    if (!listed) {
      for (uint8_t ordinal = 1; ordinal <= OrdinalCount(setting.Setting); ++ordinal) {
        const SettingData data(OrdinalToCode(CD, setting.Setting, ordinal));
        if (CDSetRelCamSettingData(SourceHandle, setting.Id, setting.Width, data.Bytes) == 0) {
          Mark(caps, base, ordinal);
          found = true;
        }
      }
    }
    MarkNone(caps, base, found);
    if (setting.Setting != CameraSetting::Beep) advance(1);
  }

  SetCameraSettings(saved);
}

void TCDSDK::GetCameraSettings(TCameraSettings& Settings) {
  Settings = {};
  uint16_t quality = static_cast<uint16_t>(UnreadCode(CD, CameraSetting::Quality));
  uint16_t size = static_cast<uint16_t>(UnreadCode(CD, CameraSetting::ImageSize));
  CDGetImageFormatAttribute(SourceHandle, &quality, &size);
  Settings.Quality = CodeToOrdinal(CD, CameraSetting::Quality, quality);
  Settings.ImageSize = CodeToOrdinal(CD, CameraSetting::ImageSize, size);

  for (const auto& entries : CodeSettings) {
    uint16_t code = static_cast<uint16_t>(UnreadCode(CD, entries.Setting));
    entries.Get(SourceHandle, &code);
    OrdinalField(Settings, entries.Setting) = CodeToOrdinal(CD, entries.Setting, code);
    if (entries.Setting == CameraSetting::WhiteBalance && Settings.WhiteBalance == WhiteBalanceColorTemperature) {
      uint16_t temperature = 0;
      uint32_t width = sizeof temperature;
      CDGetRelCamSettingData(SourceHandle, SDKRelCamColorTemperature, &width, &temperature);
      Settings.ColorTemperature = temperature;
    }
  }

  uint16_t mode = static_cast<uint16_t>(UnreadCode(CD, CameraSetting::FlashMode));
  uint16_t compensation = static_cast<uint16_t>(UnreadCode(CD, CameraSetting::FlashCompensation));
  CDGetFlashSetting(SourceHandle, &mode, &compensation);
  Settings.FlashMode = CodeToOrdinal(CD, CameraSetting::FlashMode, mode);
  Settings.FlashCompensation = CodeToOrdinal(CD, CameraSetting::FlashCompensation, compensation);

  for (const auto& setting : RelCamSettings) {
    SettingData data(UnreadCode(CD, setting.Setting));
    uint32_t width = setting.Width;
    CDGetRelCamSettingData(SourceHandle, setting.Id, &width, data.Bytes);
    OrdinalField(Settings, setting.Setting) = CodeToOrdinal(CD, setting.Setting, data.Code(setting));
  }
}

void TCDSDK::SetCameraSettings(TCameraSettings Settings) {
  if (Settings.Quality != 0 && Settings.ImageSize != 0)
    CDSetImageFormatAttribute(SourceHandle, OrdinalToCode(CD, CameraSetting::Quality, Settings.Quality),
                              OrdinalToCode(CD, CameraSetting::ImageSize, Settings.ImageSize));

  for (const auto& entries : CodeSettings) {
    const uint8_t ordinal = OrdinalField(Settings, entries.Setting);
    if (ordinal != 0) entries.Set(SourceHandle, OrdinalToCode(CD, entries.Setting, ordinal));
    if (entries.Setting == CameraSetting::WhiteBalance && Settings.WhiteBalance == WhiteBalanceColorTemperature) {
      const auto temperature = static_cast<uint16_t>(Settings.ColorTemperature);
      CDSetRelCamSettingData(SourceHandle, SDKRelCamColorTemperature, sizeof temperature, &temperature);
    }
  }

  if (Settings.FlashMode != 0)
    CDSetFlashSetting(SourceHandle, OrdinalToCode(CD, CameraSetting::FlashMode, Settings.FlashMode),
                      SDKFlashUnchanged);
  if (Settings.FlashCompensation != 0)
    CDSetFlashSetting(SourceHandle, SDKFlashUnchanged,
                      OrdinalToCode(CD, CameraSetting::FlashCompensation, Settings.FlashCompensation));

  for (const auto& setting : RelCamSettings) {
    const uint8_t ordinal = OrdinalField(Settings, setting.Setting);
    if (ordinal == 0) continue;
    const SettingData data(OrdinalToCode(CD, setting.Setting, ordinal));
    CDSetRelCamSettingData(SourceHandle, setting.Id, setting.Width, data.Bytes);
  }
}

void TCDSDK::GetZoomInfo(TZoomInfo& Zoom) {
  uint32_t first = 0, second = 0, position = 0;
  CheckResult("CDGetMaximumZoomPos", CDGetMaximumZoomPos(SourceHandle, &first, &second));
  CheckResult("CDGetZoomPos", CDGetZoomPos(SourceHandle, &position));
  Zoom.Position = position;
  Zoom.MaxPosition = second;
  Zoom.MaxPosition2 = first;
}

void TCDSDK::SetZoom(uint32_t Position) { CheckResult("CDSetZoomPos", CDSetZoomPos(SourceHandle, Position)); }

uint32_t TCDSDK::TakePicture(TSDKProgressCallback Progress, uint32_t Context) {
  uint32_t count = 0;
  CheckResult("CDRelease", CDRelease(SourceHandle, 0, Progress, Context, SDKProgressOption, &count));
  return count;
}

void TCDSDK::GetReleasedPicture(const std::string& FileName, TSDKProgressCallback Progress, uint32_t Context) {
  uint8_t information[SDKReleaseInfoRecordSize] = {};
  const TSDKStorageRecord storage{0, FileName.c_str()};
  CheckResult("CDGetReleasedData",
              CDGetReleasedData(SourceHandle, Progress, Context, SDKProgressOption, information, &storage));
}

void TCDSDK::ReportProbeProgress(int32_t Percentage) { TObturo::ReportProbeProgress(ComponentIndex, Percentage); }

}  // namespace korv
