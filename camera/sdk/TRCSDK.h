// Backend of the camera component for EOS cameras served by RCSDK.DLL. The
// models of the release-control list are driven through release control;
// every other EOS camera through a capture session, whose pictures the
// camera announces one by one (AddCapturedImage) and which are fetched
// oldest first.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "camera/CamDefines.h"
#include "camera/sdk/DeviceLists.h"
#include "camera/sdkapi/SDKTypes.h"

namespace korv {

class TRCSDK {
public:
  void StartSDK();
  // Fills `Names` (cleared first) and rebuilds the EOS device list.
  void EnumerateCameras(std::vector<std::string>& Names);
  void Connect(int32_t ConnectToCamera, TSDKEventCallback Callback, uint32_t Context, ConnectInfoType& Info);
  // Always true.
  bool IsRemoteCapable();
  void EnterRemoteMode(ReleaseModeType Mode, ReleaseDataKindType DataKind, TRemoteCapabilities& Capabilities,
                       uint32_t Context, TSDKEventCallback Callback, bool ProbeParameters);
  // Library failures are not reported here: an unreadable field stays 0.
  void GetCameraSettings(TCameraSettings& Settings);
  // Writes every nonzero field, retrying a refused write every 100 ms for up
  // to 5 s; a write still refused then is skipped silently.
  void SetCameraSettings(TCameraSettings Settings);
  void GetZoomInfo(TZoomInfo& Zoom);
  void SetZoom(uint32_t Position);
  // Release control: the number of pictures the library reports; capture
  // session: 0 (the pictures are announced by release events).
  uint32_t TakePicture(TSDKProgressCallback Progress, uint32_t Context);
  // Capture session: fetches the oldest announced picture, which leaves the
  // queue whether or not the fetch succeeds; an empty queue raises
  // EListError before the library is called.
  void GetReleasedPicture(const std::string& FileName, TSDKProgressCallback Progress, uint32_t Context);
  // Queues the captured-image record (five 32-bit values) a release event
  // delivered; may be called from the library's callback thread.
  void AddCapturedImage(const void* Record);
  std::string GetDevicePropertyText();
  // Closes the source of a camera that is gone; the library's answer is not
  // looked at.
  void CloseSource() noexcept;
  static void CheckResult(std::string_view FunctionName, TSDKStatus Status);

  // Whether a model is driven through release control (exact match with the
  // release-control model list), else through a capture session.
  static bool UsesReleaseControl(const std::string& ModelName);

  TProbeProgress ProbeProgress;  // given by the owning component

private:
  bool ReleaseControl() const { return UsesReleaseControl(ConnectInfo.ModelName); }

  CDSourceRecord SourceInfo{};
  TSDKHandle SourceHandle = 0;
  ConnectInfoType ConnectInfo;
  TSDKHandle EventCallbackHandle = 0;
  using CapturedImageRecord = std::array<uint8_t, SDKReleaseInfoRecordSize>;
  std::mutex CapturedImagesLock;  // release events may come from a library thread
  std::deque<CapturedImageRecord> CapturedImages;
};

}  // namespace korv
