// Backend of the camera component for PowerShot cameras served by PRSDK.DLL
// ("newer than S80"). The camera speaks PTP: its DeviceInfo tells what it
// supports, its device properties carry the settings in PR codes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "camera/CamDefines.h"
#include "camera/sdk/DeviceLists.h"
#include "camera/sdkapi/SDKTypes.h"

namespace korv {

class TPRSDK {
public:
  void StartSDK();
  // Appends the PR cameras' names to `Names`, which already holds the CD
  // names; a camera both libraries list is kept as a PR camera only (its CD
  // name and CD device record are removed).
  void EnumerateCameras(std::vector<std::string>& Names);
  // `ConnectToCamera` is the camera's place in the PowerShot name list,
  // where the PR cameras follow those the CD backend serves.
  void Connect(TPREventCallback Callback, int32_t ConnectToCamera, uint32_t Context, ConnectInfoType& Info);
  // Whether the last DeviceInfo listed the remote release operation.
  bool IsRemoteCapable();
  // Context and callback are not used: events were registered by Connect.
  void EnterRemoteMode(ReleaseModeType Mode, ReleaseDataKindType DataKind, TRemoteCapabilities& Capabilities,
                       uint32_t Context, TSDKEventCallback Callback, bool ProbeParameters);
  // Library failures are not reported here: an unreadable field stays 0.
  void GetCameraSettings(TCameraSettings& Settings);
  // Writes the nonzero fields; failed writes are not reported.
  void SetCameraSettings(TCameraSettings Settings);
  // Without zoom support nothing is read and `Zoom` keeps what it held.
  void GetZoomInfo(TZoomInfo& Zoom);
  // Silent without zoom support.
  void SetZoom(uint32_t Position);
  // The release's events arrive at the event callback; returns 0.
  uint32_t TakePicture(TSDKProgressCallback Progress, uint32_t Context);
  // Transfers the picture a stored release event announced; the data arrives
  // through `Callback`.
  void GetReleasedPicture(const PREventRecord& Release, TPRDataCallback Callback, uint32_t Context);
  // The owner name stored in the camera.
  std::string GetDevicePropertyText();
  void ReportProbeProgress(int32_t Percentage);
  static void CheckResult(std::string_view FunctionName, TSDKStatus Status);

  // What the camera's DeviceInfo lists, in this order.
  enum Support : uint8_t {
    SupportRemoteRelease,
    SupportOperation900B,
    SupportZoomPosition,
    SupportOperation9014,
    SupportQuality,
    SupportImageSize,
    SupportFlashMode,
    SupportFlashCompensation,
    SupportShootingMode,
    SupportMeteringMode,
    SupportAFDistance,
    SupportWhiteBalance,
    SupportContrast,
    SupportColorSaturation,
    SupportSharpness,
    SupportISO,
    SupportAv,
    SupportTv,
    SupportExposureCompensation,
    SupportPhotoEffect,
    SupportBeep,
    SupportCount
  };

  TSDKHandle CameraHandle = 0;
  ConnectInfoType ConnectInfo;
  TProbeProgress ProbeProgress;  // given by the owning component
  std::array<uint8_t, SupportCount> SupportFlags{};

private:
  // Reads DeviceInfo and sets the support flags it lists (cleared first).
  void ReadDeviceInfo(bool ThroughProperties);
  // Whether the last DeviceInfo listed the device property.
  bool Lists(uint16_t Code) const;
  // A dataset read into a fresh 1 MiB buffer, cut to the size returned.
  std::vector<uint8_t> ReadPropDesc(uint16_t Code);
  // A property value of `Width` bytes; false when the read failed or was short.
  bool ReadValue(uint16_t Code, size_t Width, uint32_t& Value);
  TSDKStatus WriteValue(uint16_t Code, size_t Width, uint32_t Value);
  void ProbeSettings(TRemoteCapabilities& Capabilities);

  std::vector<uint16_t> Listed;  // device properties of the last DeviceInfo
};

}  // namespace korv
