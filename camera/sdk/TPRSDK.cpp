#include "camera/sdk/TPRSDK.h"

#include <cmath>
#include <memory>

#include "camera/sdk/BackendCommon.h"
#include "camera/sdk/CamErrors.h"
#include "camera/sdk/CodeTables.h"
#include "camera/sdk/PRAPI.h"
#include "camera/sdkapi/PTPDataset.h"
#include "runtime/ByteReader.h"
#include "runtime/Convert.h"
#include "runtime/ScopeExit.h"

namespace korv {

namespace {

constexpr CodeSet PR = CodeSet::PR;

// The settings with their property and support flag, in the order they are
// read, written and probed.
struct PRSetting {
  CameraSetting Setting;
  uint16_t Code;
  TPRSDK::Support Flag;
};

constexpr PRSetting Settings[] = {
    {CameraSetting::ImageSize, PRPropImageSize, TPRSDK::SupportImageSize},
    {CameraSetting::Quality, PRPropQuality, TPRSDK::SupportQuality},
    {CameraSetting::ShootingMode, PRPropShootingMode, TPRSDK::SupportShootingMode},
    {CameraSetting::Av, PRPropAv, TPRSDK::SupportAv},
    {CameraSetting::Tv, PRPropTv, TPRSDK::SupportTv},
    {CameraSetting::ExposureCompensation, PRPropExposureCompensation, TPRSDK::SupportExposureCompensation},
    {CameraSetting::WhiteBalance, PRPropWhiteBalance, TPRSDK::SupportWhiteBalance},
    {CameraSetting::AFDistance, PRPropAFDistance, TPRSDK::SupportAFDistance},
    {CameraSetting::FlashMode, PRPropFlashMode, TPRSDK::SupportFlashMode},
    {CameraSetting::FlashCompensation, PRPropFlashCompensation, TPRSDK::SupportFlashCompensation},
    {CameraSetting::MeteringMode, PRPropMeteringMode, TPRSDK::SupportMeteringMode},
    {CameraSetting::ISO, PRPropISO, TPRSDK::SupportISO},
    {CameraSetting::Contrast, PRPropContrast, TPRSDK::SupportContrast},
    {CameraSetting::ColorSaturation, PRPropColorSaturation, TPRSDK::SupportColorSaturation},
    {CameraSetting::Sharpness, PRPropSharpness, TPRSDK::SupportSharpness},
    {CameraSetting::PhotoEffect, PRPropPhotoEffect, TPRSDK::SupportPhotoEffect},
    {CameraSetting::Beep, PRPropBeep, TPRSDK::SupportBeep},
};
constexpr int ProbeSteps = std::size(Settings);

// The flag a listed operation or property sets; SupportCount for none.
TPRSDK::Support OperationFlag(uint16_t code) {
  switch (code) {
    case PROpRemoteRelease: return TPRSDK::SupportRemoteRelease;
    case PROp900B: return TPRSDK::SupportOperation900B;
    case PROp9014: return TPRSDK::SupportOperation9014;
    default: return TPRSDK::SupportCount;
  }
}
TPRSDK::Support PropertyFlag(uint16_t code) {
  if (code == PRPropZoomPosition) return TPRSDK::SupportZoomPosition;
  if (code == PRPropFileFormat) return TPRSDK::SupportQuality;
  for (const auto& setting : Settings)
    if (setting.Code == code) return setting.Flag;
  return TPRSDK::SupportCount;
}

// Capture transfer mode bits for the two enumerations: thumbnail 1, picture
// 2, both 3 to the computer; 4, 8, 12 to the card. 0: both targets at once,
// which the PR cameras can't do.
uint32_t TransferMode(ReleaseModeType mode, ReleaseDataKindType kind) {
  constexpr uint32_t toPC[] = {1, 2, 3};
  if (mode == ReleaseModeBothPCAndCamera || kind > ReleaseDataKingTakeBothThumbAndPic) return 0;
  return mode == ReleaseModeOnlyToCamera ? toPC[kind] << 2 : toPC[kind];
}

constexpr uint32_t LosslessFileFormat = 2;
constexpr uint32_t CompressedFileFormat = 1;
constexpr uint8_t LosslessQuality = 5;

// The zero-terminated UTF-16 model name of a device record, as UTF-8.
std::string ModelName(const PRDeviceRecord& record) {
  ByteReader reader(record.data(), record.size());
  reader.Seek(PRDeviceModelNameOffset);
  std::string text;
  while (reader.Remaining() >= 2) {
    uint32_t c = reader.U16();
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xE000) {
      // A surrogate pair; a lone half stands for nothing readable.
      ByteReader next = reader;
      const uint32_t low = next.U16();
      if (c >= 0xDC00 || !next.Ok() || low < 0xDC00 || low >= 0xE000) {
        text += '?';
        continue;
      }
      reader = next;
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

void TPRSDK::Connect(TPREventCallback Callback, int32_t ConnectToCamera, uint32_t Context, ConnectInfoType& Info) {
  // The number counts the PowerShot name list, in which the PR cameras
  // follow the CD cameras; numbers below those are the CD backend's.
  const auto& devices = PRDeviceList();
  const size_t cdCameras = CDDeviceList().size();
  CheckCameraNumber(ConnectToCamera, devices.empty() ? 0 : cdCameras + devices.size(), "PowerShot cameras",
                    "PowerShot cameras (newer than S80)");
  if (static_cast<size_t>(ConnectToCamera) < cdCameras)
    throw ECamException("Camera " + IntToStr(ConnectToCamera) + " is served by the CD library");
  const size_t index = ConnectToCamera - cdCameras;
  ConnectInfo.Kind = CameraKindNone;
  const PRDeviceRecord& device = devices[index];
  CheckResult("PR_CreateCameraObject", PR_CreateCameraObject(device.data(), &CameraHandle));
  // A connection that fails half-way leaves nothing open behind it.
  auto destroy = ScopeExit([&] {
    ConnectInfo.Kind = CameraKindNone;
    CallQuietly(PR_DestroyCameraObject, CameraHandle);
  });
  CheckResult("PR_ConnectCamera", PR_ConnectCamera(CameraHandle));
  auto disconnect = ScopeExit([&] { CallQuietly(PR_DisconnectCamera, CameraHandle); });
  ConnectInfo.Kind = CameraKindPowerShot;
  ConnectInfo.ModelName = ModelName(device);
  ConnectInfo.CameraOwner = GetDevicePropertyText();

  uint8_t value[4] = {};
  uint32_t size = 2;
  CheckResult("PR_GetDevicePropValue", PR_GetDevicePropValue(CameraHandle, PRPropBatteryKind, &size, value));
  const uint32_t kind = ByteReader(value, 2).U16();
  ConnectInfo.BatteryKind = kind >= 1 && kind <= 5 ? static_cast<uint8_t>(kind) : 0;
  size = 4;
  CheckResult("PR_GetDevicePropValue", PR_GetDevicePropValue(CameraHandle, PRPropBatteryLevel, &size, value));
  const uint32_t level = ByteReader(value, 4).U32();
  ConnectInfo.BatteryLevel = level >= 1 && level <= 3 ? static_cast<uint8_t>(level) : 0;

  CheckResult("PR_SetEventCallBack", PR_SetEventCallBack(CameraHandle, Context, Callback));
  ReadDeviceInfo(false);
  disconnect.Release();
  destroy.Release();
  Info = ConnectInfo;
}

void TPRSDK::ReadDeviceInfo(bool ThroughProperties) {
  SupportFlags.fill(0);
  auto buffer = std::make_unique<uint8_t[]>(PRDatasetBufferSize);
  uint32_t size = PRDatasetBufferSize;
  CheckResult("PR_GetDeviceInfo", PR_GetDeviceInfo(CameraHandle, &size, buffer.get()));
  const auto info = ParseDeviceInfo({buffer.get(), std::min(size, PRDatasetBufferSize)},
                                    ThroughProperties ? DeviceInfoExtent::DeviceProperties
                                                      : DeviceInfoExtent::Operations);
  for (uint16_t code : info.Operations)
    if (auto flag = OperationFlag(code); flag != SupportCount) SupportFlags[flag] = 1;
  Listed.assign(info.DeviceProperties.begin(), info.DeviceProperties.end());
  for (uint16_t code : info.DeviceProperties)
    if (auto flag = PropertyFlag(code); flag != SupportCount) SupportFlags[flag] = 1;
}

bool TPRSDK::Lists(uint16_t Code) const { return std::find(Listed.begin(), Listed.end(), Code) != Listed.end(); }

std::vector<uint8_t> TPRSDK::ReadPropDesc(uint16_t Code) {
  auto buffer = std::make_unique<uint8_t[]>(PRDatasetBufferSize);
  uint32_t size = PRDatasetBufferSize;
  CheckResult("PR_GetDevicePropDesc", PR_GetDevicePropDesc(CameraHandle, Code, &size, buffer.get()));
  // Only what the library says it wrote, and never past the buffer.
  return {buffer.get(), buffer.get() + std::min(size, PRDatasetBufferSize)};
}

bool TPRSDK::ReadValue(uint16_t Code, size_t Width, uint32_t& Value) {
  uint8_t bytes[4] = {};
  uint32_t size = static_cast<uint32_t>(Width);
  if (PR_GetDevicePropValue(CameraHandle, Code, &size, bytes) != 0) return false;
  ByteReader reader(bytes, std::min<size_t>(size, Width));
  const auto value = static_cast<uint32_t>(reader.Unsigned(Width));
  if (!reader.Ok()) return false;
  Value = value;
  return true;
}

TSDKStatus TPRSDK::WriteValue(uint16_t Code, size_t Width, uint32_t Value) {
  std::vector<uint8_t> bytes;
  AppendLittleEndian(bytes, Value, Width);
  return PR_SetDevicePropValue(CameraHandle, Code, static_cast<uint32_t>(Width), bytes.data());
}

std::string TPRSDK::GetDevicePropertyText() {
  uint8_t value[PROwnerValueSize] = {};
  uint32_t size = sizeof value;
  CheckResult("PR_GetDevicePropValue", PR_GetDevicePropValue(CameraHandle, PRPropOwnerName, &size, value));
  ByteReader reader(value, std::min<size_t>(size, sizeof value));
  reader.Seek(PROwnerTextOffset);
  return reader.Text(std::min(PROwnerTextSize, reader.Remaining()));
}

bool TPRSDK::IsRemoteCapable() { return SupportFlags[SupportRemoteRelease] != 0; }

void TPRSDK::EnterRemoteMode(ReleaseModeType Mode, ReleaseDataKindType DataKind, TRemoteCapabilities& Capabilities,
                             uint32_t, TSDKEventCallback, bool ProbeParameters) {
  Capabilities.fill(0);
  CheckResult("PR_InitiateReleaseControl", PR_InitiateReleaseControl(CameraHandle));
  const uint32_t mode = TransferMode(Mode, DataKind);
  if (mode == 0) throw ECamException("Release to both camera and PC does not work for the connected camera");
  uint8_t bytes[2] = {static_cast<uint8_t>(mode), static_cast<uint8_t>(mode >> 8)};
  CheckResult("PR_SetDevicePropValue", PR_SetDevicePropValue(CameraHandle, PRPropCaptureTransferMode, 2, bytes));
  ReadDeviceInfo(true);
  Capabilities[CapZoom] = SupportFlags[SupportZoomPosition];
  Capabilities[CapSettings] = 1;
  Capabilities[CapViewfinder] = SupportFlags[SupportOperation900B];
  Capabilities[CapFacultyBit3] = 0;
  Capabilities[CapFocusLock] = SupportFlags[SupportOperation9014];
  if (Capabilities[CapSettings] != 0 && ProbeParameters) ProbeSettings(Capabilities);
}

// Marks the values each listed setting offers, from its descriptor read in
// enumeration form.
void TPRSDK::ProbeSettings(TRemoteCapabilities& caps) {
  ReportProbeProgress(0);
  int step = 0;
  for (const auto& setting : Settings) {
    const int base = CapabilityBase(setting.Setting);
    const bool listed = SupportFlags[setting.Flag] != 0;
    // Quality stands for two properties; a camera may list only one of them.
    if (Lists(setting.Code)) {
      const auto desc = ParseEnumerationPropDesc(ReadPropDesc(setting.Code), PRPropertyWidth(setting.Code));
      for (uint32_t code : desc.Values) caps[base + CodeToOrdinal(PR, setting.Setting, code)] = 1;
    }
    if (setting.Setting == CameraSetting::Quality && Lists(PRPropFileFormat)) {
      const auto formats = ParseEnumerationPropDesc(ReadPropDesc(PRPropFileFormat), 1);
      for (uint32_t format : formats.Values)
        if (format == LosslessFileFormat) caps[base + LosslessQuality] = 1;
    }
    caps[base] = listed ? 0 : 1;
    ReportProbeProgress(static_cast<int32_t>(std::lround(++step * 100.0 / ProbeSteps)));
  }
}

void TPRSDK::GetCameraSettings(TCameraSettings& Values) {
  for (const auto& setting : Settings) {
    uint8_t& field = OrdinalField(Values, setting.Setting);
    uint32_t code = 0;
    if (setting.Setting == CameraSetting::Quality && ReadValue(PRPropFileFormat, 1, code) &&
        code == LosslessFileFormat) {
      field = LosslessQuality;
      continue;
    }
    if (ReadValue(setting.Code, PRPropertyWidth(setting.Code), code))
      field = CodeToOrdinal(PR, setting.Setting, code);
  }
  Values.ColorTemperature = 0;  // no PR property
}

void TPRSDK::SetCameraSettings(TCameraSettings Values) {
  for (const auto& setting : Settings) {
    const uint8_t ordinal = OrdinalField(Values, setting.Setting);
    if (ordinal == 0) continue;
    if (setting.Setting == CameraSetting::Quality)
      WriteValue(PRPropFileFormat, 1, ordinal == LosslessQuality ? LosslessFileFormat : CompressedFileFormat);
    WriteValue(setting.Code, PRPropertyWidth(setting.Code), OrdinalToCode(PR, setting.Setting, ordinal));
  }
}

void TPRSDK::GetZoomInfo(TZoomInfo& Zoom) {
  if (SupportFlags[SupportZoomPosition] == 0) return;
  const auto desc = ParseRangePropDesc(ReadPropDesc(PRPropZoomPosition), 2);
  if (desc.Current) Zoom.Position = *desc.Current;
  if (desc.Maximum) Zoom.MaxPosition = Zoom.MaxPosition2 = *desc.Maximum;
  uint8_t value[2] = {};
  uint32_t size = sizeof value;
  CheckResult("PR_GetDevicePropValue", PR_GetDevicePropValue(CameraHandle, PRPropOpticalZoomEnd, &size, value));
  ByteReader reader(value, std::min<size_t>(size, sizeof value));
  const uint32_t end = reader.U16();
  // 0 would put the last optical position before the first: no limit either.
  if (reader.Ok() && end != PRNoOpticalZoomEnd && end != 0) Zoom.MaxPosition = end - 1;
}

void TPRSDK::SetZoom(uint32_t Position) {
  if (SupportFlags[SupportZoomPosition] == 0) return;
  CheckResult("PR_SetDevicePropValue", WriteValue(PRPropZoomPosition, 2, Position));
}

uint32_t TPRSDK::TakePicture(TSDKProgressCallback, uint32_t) {
  CheckResult("PR_RC_Release", PR_RC_Release(CameraHandle));
  return 0;
}

void TPRSDK::GetReleasedPicture(const PREventRecord& Release, TPRDataCallback Callback, uint32_t Context) {
  ByteReader reader(Release.data(), Release.size());
  reader.Seek(PREventCodeOffset);
  const uint16_t eventCode = reader.U16();
  reader.Seek(PREventObjectHandleOffset);
  const uint32_t objectHandle = reader.U32();
  CheckResult("PR_RC_GetReleasedData",
              PR_RC_GetReleasedData(CameraHandle, objectHandle, eventCode, PRTransferBlockSize, Context, Callback));
}
void TPRSDK::ReportProbeProgress(int32_t Percentage) {
  if (ProbeProgress) ProbeProgress(Percentage);
}

}  // namespace korv
