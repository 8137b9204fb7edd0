#include "camera/sdk/TRCSDK.h"

#include <algorithm>
#include <cstring>

#include "camera/sdk/BackendCommon.h"
#include "camera/sdk/CamErrors.h"
#include "camera/sdk/RCAPI.h"
#include "camera/sdk/SourceSettings.h"
#include "runtime/Clock.h"

namespace korv {

namespace {

const SourceSettingEntries RCSettings = KORV_SOURCE_SETTING_ENTRIES(RC);

// The RC enumeration hands out whole property records: the id first, the
// size of the property's data at byte 8.
TSDKStatus NextDeviceProperty(TSDKHandle enumeration, uint32_t& id, uint32_t& size) {
  TRCDevicePropertyRecord record{};
  const TSDKStatus status = RCEnumDevicePropertyNext(enumeration, &record);
  id = record.Id;
  size = record.Size;
  return status;
}

const DevicePropertyEntries RCProperties{
    RCEnumDevicePropertyReset, NextDeviceProperty, "RCEnumDevicePropertyNext", RCEnumDevicePropertyRelease,
    RCGetDevicePropertyData,
};

// Models driven through release control; compared exactly.
constexpr std::string_view ReleaseControlModels[] = {
    "EOS D30", "EOS D60", "EOS 10D", "EOS 300D", "EOS Digital Rebel", "EOS-1D", "EOS-1Ds", "EOS-1D MarkII",
};

// Release data kind written for the two enumerations; 0 outside them.
uint32_t DataKindCode(ReleaseModeType mode, ReleaseDataKindType kind) {
  constexpr uint32_t codes[3][3] = {{1, 2, 3}, {5, 10, 15}, {5, 9, 13}};
  if (mode > ReleaseModeOnlyToCamera || kind > ReleaseDataKingTakeBothThumbAndPic) return 0;
  return codes[mode][kind];
}

// Faculty bits copied into capability flags 0, 2, 3 and 4; flag 1 (settings)
// is always set.
constexpr uint32_t FacultyFlags[][2] = {{CapZoom, 0x1}, {CapViewfinder, 0x4}, {CapFacultyBit3, 0x8},
                                        {CapFocusLock, 0x10}};

constexpr uint32_t RetryPause = 100;   // ms between tries of a refused settings write
constexpr uint32_t RetryLimit = 5000;  // ms of pauses before a write is given up

// An EOS camera may be busy for a moment: retry a refused write until it is
// accepted or the pauses reach the limit (at most 51 tries).
void WriteRetrying(const SettingWrite& write) {
  for (uint32_t waited = 0; write() != 0 && waited < RetryLimit; waited += RetryPause) Sleep(RetryPause);
}

}  // namespace

void TRCSDK::CheckResult(std::string_view FunctionName, TSDKStatus Status) {
  korv::CheckResult(FunctionName, Status, CDErrorText);
}

bool TRCSDK::UsesReleaseControl(const std::string& ModelName) {
  return std::find(std::begin(ReleaseControlModels), std::end(ReleaseControlModels), ModelName) !=
         std::end(ReleaseControlModels);
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

void TRCSDK::Connect(int32_t ConnectToCamera, TSDKEventCallback Callback, uint32_t Context, ConnectInfoType& Info) {
  LoadRCSDK();
  ConnectSource({RCOpenSource, RCCloseSource, RCProperties, RCRegisterEventCallbackFunction}, EOSDeviceList(), ConnectToCamera,
                "EOS cameras", CameraKindEOS, Callback, Context,
                {SourceInfo, SourceHandle, ConnectInfo, EventCallbackHandle});
  Info = ConnectInfo;
}

std::string TRCSDK::GetDevicePropertyText() { return ReadOwnerName(RCProperties, SourceHandle); }

bool TRCSDK::IsRemoteCapable() { return true; }

void TRCSDK::EnterRemoteMode(ReleaseModeType Mode, ReleaseDataKindType DataKind, TRemoteCapabilities& Capabilities,
                             uint32_t Context, TSDKEventCallback Callback, bool ProbeParameters) {
  Capabilities.fill(0);
  if (ReleaseControl())
    CheckResult("RCEnterReleaseControl", RCEnterReleaseControl(SourceHandle, Callback, Context));
  else
    CheckResult("RCStartCaptureSession", RCStartCaptureSession(SourceHandle, Callback, Context));
  CheckResult("RCSelectReleaseDataKind", RCSelectReleaseDataKind(SourceHandle, DataKindCode(Mode, DataKind)));
  uint32_t faculty = 0;
  CheckResult("RCGetReleaseControlFaculty", RCGetReleaseControlFaculty(SourceHandle, &faculty));
  for (const auto& [flag, bit] : FacultyFlags) Capabilities[flag] = (faculty & bit) != 0;
  Capabilities[CapSettings] = 1;
  // Trial writes change the camera's settings; the probe writes them back.
  if (ProbeParameters)
    ProbeSourceSettings(RCSettings, SourceHandle, Capabilities, ProbeProgress, false, WriteRetrying);
}

void TRCSDK::GetCameraSettings(TCameraSettings& Settings) { ReadSourceSettings(RCSettings, SourceHandle, Settings); }

void TRCSDK::SetCameraSettings(TCameraSettings Settings) {
  WriteSourceSettings(RCSettings, SourceHandle, Settings, WriteRetrying);
}

void TRCSDK::GetZoomInfo(TZoomInfo& Zoom) { ReadZoom(RCGetMaximumZoomPos, RCGetZoomPos, SourceHandle, Zoom); }

void TRCSDK::SetZoom(uint32_t Position) { CheckResult("RCSetZoomPos", RCSetZoomPos(SourceHandle, Position)); }

uint32_t TRCSDK::TakePicture(TSDKProgressCallback Progress, uint32_t Context) {
  if (ReleaseControl()) return ReleaseShutter(RCRelease, SourceHandle, Progress, Context);
  CheckResult("RCCapture", RCCapture(SourceHandle));
  return 0;
}

void TRCSDK::GetReleasedPicture(const std::string& FileName, TSDKProgressCallback Progress, uint32_t Context) {
  if (ReleaseControl()) {
    FetchReleasedData(RCGetReleasedData, SourceHandle, FileName, Progress, Context);
    return;
  }
  // Taken out of the queue before the call: it leaves the queue whatever the
  // call does, and a release event that arrives meanwhile can't take it too.
  CapturedImageRecord record;
  {
    std::lock_guard lock(CapturedImagesLock);
    if (CapturedImages.empty()) throw EListError("List index out of bounds (0)");
    record = CapturedImages.front();
    CapturedImages.pop_front();
  }
  const TSDKStorageRecord storage{0, FileName.c_str()};
  CheckResult("RCTakeCapturedImage",
              RCTakeCapturedImage(SourceHandle, Progress, Context, SDKProgressOption, record.data(), &storage));
}

void TRCSDK::AddCapturedImage(const void* Record) {
  CapturedImageRecord copy;
  std::memcpy(copy.data(), Record, copy.size());
  std::lock_guard lock(CapturedImagesLock);
  CapturedImages.push_back(copy);
}

void TRCSDK::CloseSource() noexcept {
  if (SourceHandle != 0) CallQuietly(RCCloseSource, SourceHandle);
  SourceHandle = 0;
  EventCallbackHandle = 0;
}

}  // namespace korv
