#include "camera/sdk/TCDSDK.h"

#include "camera/sdk/BackendCommon.h"
#include "camera/sdk/CDAPI.h"
#include "camera/sdk/CamErrors.h"
#include "camera/sdk/SourceSettings.h"

namespace korv {

namespace {

const SourceSettingEntries CDSettings = KORV_SOURCE_SETTING_ENTRIES(CD);

const DevicePropertyEntries CDProperties{
    CDEnumDevicePropertyReset,
    [](TSDKHandle enumeration, uint32_t& id, uint32_t&) { return CDEnumDevicePropertyNext(enumeration, &id); },
    "CDEnumDevicePropertyNext",
    CDEnumDevicePropertyRelease,
    CDGetDevicePropertyData,
};

// Release data kind bits for the two enumerations; 0 outside them.
uint32_t DataKindBits(ReleaseModeType mode, ReleaseDataKindType kind) {
  constexpr uint32_t bits[3][3] = {{1, 2, 3}, {5, 10, 15}, {4, 8, 12}};
  if (mode > ReleaseModeOnlyToCamera || kind > ReleaseDataKingTakeBothThumbAndPic) return 0;
  return bits[mode][kind];
}

// The CD library's settings writes are tried once.
void WriteOnce(const SettingWrite& write) { write(); }

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
  ConnectSource({CDOpenSource, CDCloseSource, CDProperties, CDRegisterEventCallbackFunction}, CDDeviceList(), ConnectToCamera,
                "PowerShot cameras", CameraKindPowerShot, Callback, Context,
                {SourceInfo, SourceHandle, ConnectInfo, EventCallbackHandle});
  Info = ConnectInfo;
}

std::string TCDSDK::GetDevicePropertyText() { return ReadOwnerName(CDProperties, SourceHandle); }

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
  ProbeSourceSettings(CDSettings, SourceHandle, Capabilities, ProbeProgress, true, WriteOnce);
}

void TCDSDK::GetCameraSettings(TCameraSettings& Settings) { ReadSourceSettings(CDSettings, SourceHandle, Settings); }

void TCDSDK::SetCameraSettings(TCameraSettings Settings) {
  WriteSourceSettings(CDSettings, SourceHandle, Settings, WriteOnce);
}

void TCDSDK::GetZoomInfo(TZoomInfo& Zoom) { ReadZoom(CDGetMaximumZoomPos, CDGetZoomPos, SourceHandle, Zoom); }

void TCDSDK::SetZoom(uint32_t Position) { CheckResult("CDSetZoomPos", CDSetZoomPos(SourceHandle, Position)); }

uint32_t TCDSDK::TakePicture(TSDKProgressCallback Progress, uint32_t Context) {
  return ReleaseShutter(CDRelease, SourceHandle, Progress, Context);
}

void TCDSDK::GetReleasedPicture(const std::string& FileName, TSDKProgressCallback Progress, uint32_t Context) {
  FetchReleasedData(CDGetReleasedData, SourceHandle, FileName, Progress, Context);
}

void TCDSDK::CloseSource() noexcept {
  if (SourceHandle != 0) CallQuietly(CDCloseSource, SourceHandle);
  SourceHandle = 0;
  EventCallbackHandle = 0;
}

}  // namespace korv
