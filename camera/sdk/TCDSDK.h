// Backend of the camera component for PowerShot cameras served by CDSDK.DLL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "camera/CamDefines.h"
#include "camera/sdk/DeviceLists.h"
#include "camera/sdkapi/SDKTypes.h"

namespace korv {

class TCDSDK {
public:
  void StartSDK();
  // Appends the attached cameras' names to `Names` (cleared first) and
  // rebuilds the CD device list.
  void EnumerateCameras(std::vector<std::string>& Names);
  void Connect(int32_t ConnectToCamera, TSDKEventCallback Callback, uint32_t Context, ConnectInfoType& Info);
  // Never raises: a failing faculty query counts as capable.
  bool IsRemoteCapable();
  void EnterRemoteMode(ReleaseModeType Mode, ReleaseDataKindType DataKind, TRemoteCapabilities& Capabilities,
                       uint32_t Context, TSDKEventCallback Callback, bool ProbeParameters);
  // Library failures are not reported here: an unreadable field stays 0.
  void GetCameraSettings(TCameraSettings& Settings);
  void SetCameraSettings(TCameraSettings Settings);
  void GetZoomInfo(TZoomInfo& Zoom);
  void SetZoom(uint32_t Position);
  // The number of pictures the library reports.
  uint32_t TakePicture(TSDKProgressCallback Progress, uint32_t Context);
  void GetReleasedPicture(const std::string& FileName, TSDKProgressCallback Progress, uint32_t Context);
  std::string GetDevicePropertyText();
  // Closes the source of a camera that is gone; the library's answer is not
  // looked at.
  void CloseSource() noexcept;
  static void CheckResult(std::string_view FunctionName, TSDKStatus Status);

  TProbeProgress ProbeProgress;  // given by the owning component

private:

  CDSourceRecord SourceInfo{};
  TSDKHandle SourceHandle = 0;
  ConnectInfoType ConnectInfo;
  TSDKHandle EventCallbackHandle = 0;
};

}  // namespace korv
