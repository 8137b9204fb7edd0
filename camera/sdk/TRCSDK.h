// Backend of the camera component for EOS cameras served by RCSDK.DLL.
// Starting the library and listing its cameras work; the camera operations
// come later and raise ECamException "... not supported yet" until then.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "camera/CamDefines.h"
#include "camera/Obturo.h"
#include "camera/sdk/SDKTypes.h"

namespace korv {

class TRCSDK {
public:
  void StartSDK();
  // Fills `Names` (cleared first) and rebuilds the EOS device list.
  void EnumerateCameras(std::vector<std::string>& Names);
  void Connect(int32_t ConnectToCamera, TSDKEventCallback Callback, uint32_t Context, ConnectInfoType& Info);
  bool IsRemoteCapable();
  void EnterRemoteMode(ReleaseModeType Mode, ReleaseDataKindType DataKind, TRemoteCapabilities& Capabilities,
                       uint32_t Context, TSDKEventCallback Callback, bool ProbeParameters);
  void GetCameraSettings(TCameraSettings& Settings);
  void SetCameraSettings(TCameraSettings Settings);
  void GetZoomInfo(TZoomInfo& Zoom);
  void SetZoom(uint32_t Position);
  uint32_t TakePicture(TSDKProgressCallback Progress, uint32_t Context);
  void GetReleasedPicture(const std::string& FileName, TSDKProgressCallback Progress, uint32_t Context);
  // Queues the captured-image record (five 32-bit values) a release event
  // delivered; called from the library's callback thread.
  void AddCapturedImage(const void* Record);
  std::string GetDevicePropertyText();
  void ReportProbeProgress(int32_t Percentage);
  static void CheckResult(std::string_view FunctionName, TSDKStatus Status);

  uint32_t ComponentIndex = 0;  // the owning component's registry index

private:
  using CapturedImageRecord = std::array<uint8_t, SDKReleaseInfoRecordSize>;
  std::mutex CapturedImagesLock;
  std::deque<CapturedImageRecord> CapturedImages;
};

}  // namespace korv
