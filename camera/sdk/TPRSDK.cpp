#include "camera/sdk/TPRSDK.h"

#include "camera/sdk/BackendCommon.h"
#include "camera/sdk/CamErrors.h"
#include "camera/sdk/PRAPI.h"
#include "runtime/ByteReader.h"

namespace korv {

namespace {

constexpr std::string_view Backend = "PR backend:";

// The zero-terminated UTF-16 model name of a device record, as UTF-8.
std::string ModelName(const PRDeviceRecord& record) {
  ByteReader reader(record.data(), record.size());
  reader.Seek(PRDeviceModelNameOffset);
  std::string text;
  while (reader.Remaining() >= 2) {
    uint32_t c = reader.U16();
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && reader.Remaining() >= 2) {
      const uint32_t low = reader.U16();
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      text += static_cast<char>(0xE0 | (c >> 12));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (c >> 18));
      text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

}  // namespace

void TPRSDK::CheckResult(std::string_view FunctionName, TSDKStatus Status) {
  korv::CheckResult(FunctionName, Status, PRErrorText);
}

void TPRSDK::StartSDK() {
  LoadPRSDK();
  CheckResult("PR_StartSDK", PR_StartSDK());
}

void TPRSDK::EnumerateCameras(std::vector<std::string>& Names) {
  size_t cdNames = Names.size();
  std::vector<uint8_t> buffer(PRDeviceListBufferSize);
  uint32_t size = static_cast<uint32_t>(buffer.size());
  CheckResult("PR_GetDeviceList", PR_GetDeviceList(&size, buffer.data()));

  auto& devices = PRDeviceList();
  devices.clear();
  auto& cdDevices = CDDeviceList();
  // Only what the library says it wrote, and never past the buffer.
  ByteReader reader(buffer.data(), std::min<size_t>(size, buffer.size()));
  const uint32_t count = reader.U32();
  for (uint32_t i = 0; i < count; ++i) {
    const auto bytes = reader.Bytes(PRDeviceRecordSize);
    if (bytes.empty()) break;
    PRDeviceRecord record;
    std::copy(bytes.begin(), bytes.end(), record.begin());
    const std::string name = ModelName(record);
    Names.push_back(name);
    devices.push_back(record);
    // A camera that the CD library listed too is served by this library.
    for (size_t at = cdNames; at-- > 0 && cdNames > 0;) {
      if (Names[at] != name) continue;
      Names.erase(Names.begin() + static_cast<ptrdiff_t>(at));
      if (at < cdDevices.size()) cdDevices.erase(cdDevices.begin() + static_cast<ptrdiff_t>(at));
      --cdNames;
    }
  }
}

void TPRSDK::Connect(TPREventCallback, int32_t ConnectToCamera, uint32_t, ConnectInfoType&) {
  CheckCameraNumber(ConnectToCamera, PRDeviceList().size(), "PowerShot cameras", "PowerShot cameras (newer than S80)");
  RaiseNotSupportedYet(Backend, "Connect");
}
bool TPRSDK::IsRemoteCapable() { RaiseNotSupportedYet(Backend, "IsRemoteCapable"); }
void TPRSDK::EnterRemoteMode(ReleaseModeType, ReleaseDataKindType, TRemoteCapabilities&, uint32_t,
                             TSDKEventCallback, bool) {
  RaiseNotSupportedYet(Backend, "EnterRemoteMode");
}
void TPRSDK::GetCameraSettings(TCameraSettings&) { RaiseNotSupportedYet(Backend, "GetCameraSettings"); }
void TPRSDK::SetCameraSettings(TCameraSettings) { RaiseNotSupportedYet(Backend, "SetCameraSettings"); }
void TPRSDK::GetZoomInfo(TZoomInfo&) { RaiseNotSupportedYet(Backend, "GetZoomInfo"); }
void TPRSDK::SetZoom(uint32_t) { RaiseNotSupportedYet(Backend, "SetZoom"); }
uint32_t TPRSDK::TakePicture(TSDKProgressCallback, uint32_t) { RaiseNotSupportedYet(Backend, "TakePicture"); }
void TPRSDK::GetReleasedPicture(const PREventRecord&, TPRDataCallback, uint32_t) {
  RaiseNotSupportedYet(Backend, "GetReleasedPicture");
}
std::string TPRSDK::GetDevicePropertyText() { RaiseNotSupportedYet(Backend, "GetDevicePropertyText"); }

void TPRSDK::ReportProbeProgress(int32_t Percentage) { TObturo::ReportProbeProgress(ComponentIndex, Percentage); }

}  // namespace korv
