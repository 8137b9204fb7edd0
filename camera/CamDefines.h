// Records and enumerations that cross the camera component's boundary.
// Ordinals are one byte each; values run from 0 in the order declared.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korv {

enum ReleaseModeType : uint8_t {
  ReleaseModeOnlyToPC,
  ReleaseModeBothPCAndCamera,
  ReleaseModeOnlyToCamera,
};

enum ReleaseDataKindType : uint8_t {
  ReleaseDataKindTakeOnlyThumbnail,
  ReleaseDataKindTakeOnlyPicture,
  ReleaseDataKingTakeBothThumbAndPic,  // "King": the published name, kept for callers
};

enum RemoteEventCallbackType : uint8_t {
  RemoteEventCallbackNotUsed,
  RemoteEventCallbackReleaseStart,
  RemoteEventCallbackReleaseComplete,
  RemoteEventCallbackResetHWError,
  RemoteEventCallbackChangedByUI,
  RemoteEventCallbackCamReleaseOn,
  RemoteEventCallbackViewfinderOn,
  RemoteEventCallbackViewfinderOff,
  RemoteEventCallbackReleaseImageReady,
};

// 1 = PowerShot (CD or PR library), 2 = EOS (RC library), 0 = not connected.
using CameraKind = uint8_t;
inline constexpr CameraKind CameraKindNone = 0;
inline constexpr CameraKind CameraKindPowerShot = 1;
inline constexpr CameraKind CameraKindEOS = 2;

struct ConnectInfoType {
  CameraKind Kind = 0;
  std::string ModelName;
  std::string CameraOwner;  // at most 32 characters
  uint8_t BatteryKind = 0;  // 0..5
  uint8_t BatteryLevel = 0; // 0..3
};

// Names of the attached cameras; the lists belong to the camera component
// and live until its last instance is destroyed.
struct TCameraLists {
  const std::vector<std::string>* PowerShotNames = nullptr;
  const std::vector<std::string>* EOSNames = nullptr;
};

// Flags 0..4 are capabilities; then one availability range per setting: the
// flag at base + ordinal says the ordinal is available, the flag at the base
// itself says no value is.
using TRemoteCapabilities = std::array<uint8_t, 260>;

enum RemoteCapability : int {
  CapZoom = 0,
  CapSettings = 1,
  CapViewfinder = 2,
  CapFacultyBit3 = 3,
  CapFocusLock = 4,
};

inline constexpr int CapQualityBase = 5;
inline constexpr int CapImageSizeBase = 11;
inline constexpr int CapFlashModeBase = 18;
inline constexpr int CapFlashCompensationBase = 26;
inline constexpr int CapShootingModeBase = 40;
inline constexpr int CapMeteringModeBase = 77;
inline constexpr int CapAFDistanceBase = 84;
inline constexpr int CapWhiteBalanceBase = 97;
inline constexpr int CapContrastBase = 114;
inline constexpr int CapColorSaturationBase = 118;
inline constexpr int CapSharpnessBase = 122;
inline constexpr int CapISOBase = 126;
inline constexpr int CapAvBase = 135;
inline constexpr int CapTvBase = 176;
inline constexpr int CapExposureCompensationBase = 236;
inline constexpr int CapPhotoEffectBase = 250;
inline constexpr int CapBeepBase = 257;

// Every field but ColorTemperature is an ordinal of the component's own,
// 1-based; 0 means unknown when read and leave unchanged when written.
struct TCameraSettings {
  uint8_t Quality = 0;               // 1..5
  uint8_t ImageSize = 0;             // 1..6
  uint8_t FlashMode = 0;             // 1..7
  uint8_t FlashCompensation = 0;     // 1..13
  uint8_t ShootingMode = 0;          // 1..36
  uint8_t MeteringMode = 0;          // 1..6
  uint8_t AFDistance = 0;            // 1..12
  uint8_t WhiteBalance = 0;          // 1..16
  uint32_t ColorTemperature = 0;     // read only when WhiteBalance = 13
  uint8_t Contrast = 0;              // 1..3
  uint8_t ColorSaturation = 0;       // 1..3
  uint8_t Sharpness = 0;             // 1..3
  uint8_t ISO = 0;                   // 1 = automatic, 2..8 = 50..3200
  uint8_t Av = 0;                    // 1..40
  uint8_t Tv = 0;                    // 1..59
  uint8_t ExposureCompensation = 0;  // 1..13
  uint8_t PhotoEffect = 0;           // 1..6
  uint8_t Beep = 0;                  // 1 = on, 2 = off

  bool operator==(const TCameraSettings&) const = default;
};

// The white-balance ordinal that comes with a colour temperature.
inline constexpr uint8_t WhiteBalanceColorTemperature = 13;

struct TZoomInfo {
  uint32_t Position = 0;
  uint32_t MaxPosition = 0;   // the largest position offered to the user
  uint32_t MaxPosition2 = 0;  // the other maximum the library reports

  bool operator==(const TZoomInfo&) const = default;
};

struct AdditionNotifyRemoteEventType {
  uint8_t DataKind = 0;      // 0 none, 1 PictureCount valid, 2 PictureType valid
  uint8_t PictureType = 0;   // 1 = library type 16, 2 = library type 32
  int32_t PictureCount = 0;

  bool operator==(const AdditionNotifyRemoteEventType&) const = default;
};

struct EventCallbackType {
  uint8_t Severity = 0;
  uint8_t EventKind = 0;

  bool operator==(const EventCallbackType&) const = default;
};

}  // namespace korv
