// What the camera backends share: listing a library's sources, checking a
// camera number against a device list, decoding the power state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "camera/CamDefines.h"
#include "camera/Obturo.h"
#include "camera/sdk/SDKLibrary.h"

namespace korv {

// The source enumeration entries of the CD or RC library.
struct SourceEnumerationEntries {
  SDKEntry<TSDKEnumDeviceReset>& Reset;
  SDKEntry<TSDKEnumCount>& Count;
  SDKEntry<TSDKEnumDeviceNext>& Next;
  SDKEntry<TSDKEnumRelease>& Release;
};

// Lists the library's sources into `Devices` (emptied first) and appends
// their list names to `Names`. Every call is checked with the CD texts.
void EnumerateSources(const SourceEnumerationEntries& Entries, std::vector<std::string>& Names,
                      std::vector<CDSourceRecord>& Devices);

// The version record the CD and RC start entries take: the first three
// 16-bit fields set, the rest zero.
std::array<uint8_t, SDKVersionRecordSize> VersionRecord(uint16_t First, uint16_t Second, uint16_t Third);

// A text field of a source record (model name or list name).
std::string SourceText(const CDSourceRecord& Record, size_t Offset);

// Raises the Connect messages for a negative number, an empty device list and
// a number past its end. `Cameras` names the kind in the count message
// ("PowerShot cameras"), `ListedCameras` in the empty-list message.
void CheckCameraNumber(int32_t ConnectToCamera, size_t Count, std::string_view Cameras,
                       std::string_view ListedCameras);

// BatteryKind from bits 28-31 and BatteryLevel from bits 0-3 of the CD/RC
// power-state property.
void DecodePowerState(uint32_t PowerState, ConnectInfoType& Info);

// Backend operations that other parts of the program complete later.
[[noreturn]] void RaiseNotSupportedYet(std::string_view Backend, std::string_view Operation);

}  // namespace korv
