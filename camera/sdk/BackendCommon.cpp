#include "camera/sdk/BackendCommon.h"

#include <cstring>

#include "camera/sdk/CamErrors.h"
#include "runtime/ByteReader.h"
#include "runtime/Convert.h"

namespace korv {

void EnumerateSources(const SourceEnumerationEntries& Entries, std::vector<std::string>& Names,
                      std::vector<CDSourceRecord>& Devices) {
  TSDKHandle enumeration = 0;
  CheckResult(Entries.Reset.exportName(), Entries.Reset(1, &enumeration));
  uint32_t count = 0;
  CheckResult(Entries.Count.exportName(), Entries.Count(enumeration, &count));
  Devices.clear();
  for (uint32_t i = 0; i < count; ++i) {
    CDSourceRecord record{};
    CheckResult(Entries.Next.exportName(), Entries.Next(enumeration, record.data()));
    Names.push_back(SourceText(record, SDKSourceListNameOffset));
    Devices.push_back(record);
  }
  CheckResult(Entries.Release.exportName(), Entries.Release(enumeration));
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

void RaiseNotSupportedYet(std::string_view Backend, std::string_view Operation) {
  throw ECamException(std::string(Backend) + " " + std::string(Operation) + " not supported yet");
}

}  // namespace korv
