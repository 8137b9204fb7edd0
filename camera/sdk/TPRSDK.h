// Backend of the camera component for PowerShot cameras served by PRSDK.DLL.
// Starting the library and listing its cameras work; the camera operations
// come later and raise ECamException "... not supported yet" until then.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "camera/CamDefines.h"
#include "camera/Obturo.h"
#include "camera/sdk/SDKTypes.h"

namespace korv {

class TPRSDK {
public:
  void StartSDK();
  // Appends the PR cameras' names to `Names`, which already holds the CD
  // names; a camera both libraries list is kept as a PR camera only (its CD
  // name and CD device record are removed).
  void EnumerateCameras(std::vector<std::string>& Names);
  void Connect(TPREventCallback Callback, int32_t ConnectToCamera, uint32_t Context, ConnectInfoType& Info);
  bool IsRemoteCapable();
  void EnterRemoteMode(ReleaseModeType Mode, ReleaseDataKindType DataKind, TRemoteCapabilities& Capabilities,
                       uint32_t Context, TSDKEventCallback Callback, bool ProbeParameters);
  void GetCameraSettings(TCameraSettings& Settings);
  void SetCameraSettings(TCameraSettings Settings);
  void GetZoomInfo(TZoomInfo& Zoom);
  void SetZoom(uint32_t Position);
  uint32_t TakePicture(TSDKProgressCallback Progress, uint32_t Context);
  // Transfers the picture a stored release event announced; the data arrives
  // through `Callback`.
  void GetReleasedPicture(const PREventRecord& Release, TPRDataCallback Callback, uint32_t Context);
  std::string GetDevicePropertyText();
  void ReportProbeProgress(int32_t Percentage);
  static void CheckResult(std::string_view FunctionName, TSDKStatus Status);

  uint32_t ComponentIndex = 0;  // the owning component's registry index
};

}  // namespace korv
