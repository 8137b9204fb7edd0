#include "camera/sdk/TRCSDK.h"

#include <cstring>

#include "camera/sdk/BackendCommon.h"
#include "camera/sdk/CamErrors.h"
#include "camera/sdk/RCAPI.h"

namespace korv {

namespace {
constexpr std::string_view Backend = "RC backend:";
}

void TRCSDK::CheckResult(std::string_view FunctionName, TSDKStatus Status) {
  korv::CheckResult(FunctionName, Status, CDErrorText);
}

void TRCSDK::StartSDK() {
  LoadRCSDK();
  const auto version = VersionRecord(40, 8, 4);
  CheckResult("RCStartSDK", RCStartSDK(version.data(), 0));
}

void TRCSDK::EnumerateCameras(std::vector<std::string>& Names) {
  Names.clear();
  LoadRCSDK();
  EnumerateSources({RCEnumDeviceReset, RCGetDeviceCount, RCEnumDeviceNext, RCEnumDeviceRelease}, Names,
                   EOSDeviceList());
}

void TRCSDK::AddCapturedImage(const void* Record) {
  CapturedImageRecord copy;
  std::memcpy(copy.data(), Record, copy.size());
  std::lock_guard lock(CapturedImagesLock);
  CapturedImages.push_back(copy);
}

void TRCSDK::Connect(int32_t, TSDKEventCallback, uint32_t, ConnectInfoType&) {
  RaiseNotSupportedYet(Backend, "Connect");
}
bool TRCSDK::IsRemoteCapable() { RaiseNotSupportedYet(Backend, "IsRemoteCapable"); }
void TRCSDK::EnterRemoteMode(ReleaseModeType, ReleaseDataKindType, TRemoteCapabilities&, uint32_t,
                             TSDKEventCallback, bool) {
  RaiseNotSupportedYet(Backend, "EnterRemoteMode");
}
void TRCSDK::GetCameraSettings(TCameraSettings&) { RaiseNotSupportedYet(Backend, "GetCameraSettings"); }
void TRCSDK::SetCameraSettings(TCameraSettings) { RaiseNotSupportedYet(Backend, "SetCameraSettings"); }
void TRCSDK::GetZoomInfo(TZoomInfo&) { RaiseNotSupportedYet(Backend, "GetZoomInfo"); }
void TRCSDK::SetZoom(uint32_t) { RaiseNotSupportedYet(Backend, "SetZoom"); }
uint32_t TRCSDK::TakePicture(TSDKProgressCallback, uint32_t) { RaiseNotSupportedYet(Backend, "TakePicture"); }
void TRCSDK::GetReleasedPicture(const std::string&, TSDKProgressCallback, uint32_t) {
  RaiseNotSupportedYet(Backend, "GetReleasedPicture");
}
std::string TRCSDK::GetDevicePropertyText() { RaiseNotSupportedYet(Backend, "GetDevicePropertyText"); }

void TRCSDK::ReportProbeProgress(int32_t Percentage) { TObturo::ReportProbeProgress(ComponentIndex, Percentage); }

}  // namespace korv
