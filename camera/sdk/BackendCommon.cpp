#include "camera/sdk/BackendCommon.h"

#include <algorithm>
#include <cstring>

#include "camera/sdk/CamErrors.h"
#include "runtime/ByteReader.h"
#include "runtime/Convert.h"
#include "runtime/ScopeExit.h"

namespace korv {

namespace {
constexpr uint32_t MaxSources = 1000;  // far more than a computer holds; bounds what a library may claim
}  // namespace

void CallQuietly(SDKEntry<TSDKStatus(TSDKHandle)>& Entry, TSDKHandle Handle) noexcept {
  if (Entry.bound()) Entry(Handle);
}

void EnumerateSources(const SourceEnumerationEntries& Entries, std::vector<std::string>& Names,
                      std::vector<CDSourceRecord>& Devices) {
  TSDKHandle enumeration = 0;
  CheckResult(Entries.Reset.exportName(), Entries.Reset(1, &enumeration));
  auto release = ScopeExit([&] { CallQuietly(Entries.Release, enumeration); });
  uint32_t count = 0;
  CheckResult(Entries.Count.exportName(), Entries.Count(enumeration, &count));
  if (count > MaxSources) throw ECamException("The camera library lists " + IntToStr(count) + " cameras");
  std::vector<std::string> names;
  std::vector<CDSourceRecord> devices;
  for (uint32_t i = 0; i < count; ++i) {
    CDSourceRecord record{};
    CheckResult(Entries.Next.exportName(), Entries.Next(enumeration, record.data()));
    names.push_back(SourceText(record, SDKSourceListNameOffset));
    devices.push_back(record);
  }
  release.Release();
  CheckResult(Entries.Release.exportName(), Entries.Release(enumeration));
  Names.insert(Names.end(), names.begin(), names.end());
  Devices = std::move(devices);
}

std::array<uint8_t, SDKVersionRecordSize> VersionRecord(uint16_t First, uint16_t Second, uint16_t Third) {
  std::array<uint8_t, SDKVersionRecordSize> record{};
  const uint16_t fields[3] = {First, Second, Third};
  std::memcpy(record.data(), fields, sizeof fields);
  return record;
}

std::string SourceText(const CDSourceRecord& Record, size_t Offset) {
  ByteReader reader(Record.data(), Record.size());
  reader.Seek(Offset);
  return reader.Text(SDKSourceTextSize);
}

namespace {
constexpr uint32_t MaxPropertyIds = 100000;  // a camera lists far fewer; ends a runaway enumeration
constexpr uint32_t OwnerNameSize = 32;
}  // namespace

void ReadDeviceProperty(const DevicePropertyEntries& Entries, TSDKHandle Source, uint32_t PropertyId, void* Buffer,
                        uint32_t BufferSize) {
  TSDKHandle enumeration = 0;
  CheckResult(Entries.Reset.exportName(), Entries.Reset(Source, 0, &enumeration));
  // Released whatever happens; its status is of no interest.
  auto release = ScopeExit([&] { CallQuietly(Entries.Release, enumeration); });
  uint32_t id = SDKPropEnumStart;
  uint32_t size = BufferSize;
  for (uint32_t listed = 0; id != PropertyId; ++listed) {
    if (listed == MaxPropertyIds)
      throw ECamException("The camera does not list device property 0x" + IntToHex(PropertyId, 8));
    CheckResult(Entries.NextName, Entries.Next(enumeration, id, size));
  }
  // The library writes as much as the size says: never more than we hold.
  size = std::min(size, BufferSize);
  CheckResult(Entries.GetData.exportName(), Entries.GetData(Source, id, &size, Buffer, 0));
}

std::string ReadOwnerName(const DevicePropertyEntries& Entries, TSDKHandle Source) {
  char name[OwnerNameSize] = {};
  ReadDeviceProperty(Entries, Source, SDKPropOwnerName, name, sizeof name);
  return ByteReader(name, sizeof name).Text(sizeof name);
}

void ConnectSource(const SourceOpenEntries& Entries, const std::vector<CDSourceRecord>& Devices,
                   int32_t ConnectToCamera, std::string_view Cameras, CameraKind Kind, TSDKEventCallback Callback,
                   uint32_t Context, const SourceConnection& Connection) {
  CheckCameraNumber(ConnectToCamera, Devices.size(), Cameras, Cameras);
  ConnectInfoType& info = Connection.ConnectInfo;
  info.Kind = CameraKindNone;
  Connection.SourceInfo = Devices[ConnectToCamera];
  CheckResult(Entries.OpenSource.exportName(),
              Entries.OpenSource(Connection.SourceInfo.data(), &Connection.SourceHandle));
  // A connection that fails half-way leaves nothing open behind it.
  auto close = ScopeExit([&] {
    info.Kind = CameraKindNone;
    CallQuietly(Entries.CloseSource, Connection.SourceHandle);
  });
  info.Kind = Kind;
  info.ModelName = SourceText(Connection.SourceInfo, SDKSourceModelNameOffset);
  info.CameraOwner = ReadOwnerName(Entries.Properties, Connection.SourceHandle);

  uint32_t power = 0;
  ReadDeviceProperty(Entries.Properties, Connection.SourceHandle, SDKPropPowerState, &power, sizeof power);
  DecodePowerState(power, info);

  CheckResult(Entries.RegisterEventCallback.exportName(),
              Entries.RegisterEventCallback(Connection.SourceHandle, Callback, Context,
                                            &Connection.EventCallbackHandle));
  close.Release();
}

void CheckCameraNumber(int32_t ConnectToCamera, size_t Count, std::string_view Cameras,
                       std::string_view ListedCameras) {
  const std::string prefix = "Not valid value in parameter ConnectToCamera when calling Connect. ";
  if (ConnectToCamera < 0)
    throw ECamException(prefix + "Value must be at least zero. Currently ConnectToCamera = " +
                        IntToStr(ConnectToCamera));
  if (Count == 0)
    throw ECamException("There seems to be no connected " + std::string(ListedCameras) +
                        " connected. Have you called the EnumerateCameras function before calling Connect?");
  if (ConnectToCamera > static_cast<int64_t>(Count) - 1)
    throw ECamException(prefix + "There are only " + IntToStr(static_cast<int64_t>(Count)) + " " +
                        std::string(Cameras) + " connected. Currently is parameter ConnectToCamera = " +
                        IntToStr(ConnectToCamera));
}

void DecodePowerState(uint32_t PowerState, ConnectInfoType& Info) {
  const uint32_t kind = PowerState >> 28;
  Info.BatteryKind = kind >= 1 && kind <= 5 ? static_cast<uint8_t>(kind) : 0;
  switch (PowerState & 0xF) {
    case 6: Info.BatteryLevel = 1; break;
    case 4: Info.BatteryLevel = 2; break;
    case 3: Info.BatteryLevel = 3; break;
    default: Info.BatteryLevel = 0; break;
  }
}

void ReadZoom(SDKEntry<TSDKGetWordPair>& GetMaximum, SDKEntry<TSDKGetWord>& GetPosition, TSDKHandle Source,
              TZoomInfo& Zoom) {
  uint32_t first = 0, second = 0, position = 0;
  CheckResult(GetMaximum.exportName(), GetMaximum(Source, &first, &second));
  CheckResult(GetPosition.exportName(), GetPosition(Source, &position));
  Zoom.Position = position;
  Zoom.MaxPosition = second;
  Zoom.MaxPosition2 = first;
}

uint32_t ReleaseShutter(SDKEntry<TSDKRelease>& Release, TSDKHandle Source, TSDKProgressCallback Progress,
                        uint32_t Context) {
  uint32_t count = 0;
  CheckResult(Release.exportName(), Release(Source, 0, Progress, Context, SDKProgressOption, &count));
  return count;
}

void FetchReleasedData(SDKEntry<TSDKGetReleasedData>& GetReleasedData, TSDKHandle Source,
                       const std::string& FileName, TSDKProgressCallback Progress, uint32_t Context) {
  uint8_t information[SDKReleaseInfoRecordSize] = {};
  const TSDKStorageRecord storage{0, FileName.c_str()};
  CheckResult(GetReleasedData.exportName(),
              GetReleasedData(Source, Progress, Context, SDKProgressOption, information, &storage));
}

}  // namespace korv
