// What the camera backends share: listing a library's sources, checking a
// camera number against a device list, decoding the power state, and the
// connecting, property reading, zoom and release of the CD and RC backends,
// whose libraries offer the same entries under their own prefixes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "camera/CamDefines.h"
#include "camera/sdk/DeviceLists.h"
#include "camera/sdk/SDKLibrary.h"

namespace korv {

// Calls a release, close or disconnect entry on a path that may be an
// exception's: an unbound entry is skipped, the status ignored.
void CallQuietly(SDKEntry<TSDKStatus(TSDKHandle)>& Entry, TSDKHandle Handle) noexcept;

// The source enumeration entries of the CD or RC library.
struct SourceEnumerationEntries {
  SDKEntry<TSDKEnumDeviceReset>& Reset;
  SDKEntry<TSDKEnumCount>& Count;
  SDKEntry<TSDKEnumDeviceNext>& Next;
  SDKEntry<TSDKEnumRelease>& Release;
};

// Lists the library's sources into `Devices` (emptied first) and appends
// their list names to `Names`. Every call is checked with the CD texts; on a
// failure `Names` and `Devices` stay as they were and the enumeration is
// released all the same.
void EnumerateSources(const SourceEnumerationEntries& Entries, std::vector<std::string>& Names,
                      std::vector<CDSourceRecord>& Devices);

// The version record the CD and RC start entries take: the first three
// 16-bit fields set, the rest zero.
std::array<uint8_t, SDKVersionRecordSize> VersionRecord(uint16_t First, uint16_t Second, uint16_t Third);

// A text field of a source record (model name or list name).
std::string SourceText(const CDSourceRecord& Record, size_t Offset);

// The device-property entries of the CD or RC library. `Next` advances the
// enumeration and gives the id it reached and, where the library tells it,
// the size of the property's data (else it leaves `Size` alone).
struct DevicePropertyEntries {
  SDKEntry<TSDKEnumDevicePropertyReset>& Reset;
  TSDKStatus (*Next)(TSDKHandle Enumeration, uint32_t& Id, uint32_t& Size);
  std::string_view NextName;
  SDKEntry<TSDKEnumRelease>& Release;
  SDKEntry<TSDKGetDevicePropertyData>& GetData;
};

// Runs the device-property enumeration up to `PropertyId` and reads its data
// into `Buffer`, never more than `BufferSize` bytes. Checked with the CD
// texts; the enumeration is released in every case.
void ReadDeviceProperty(const DevicePropertyEntries& Entries, TSDKHandle Source, uint32_t PropertyId, void* Buffer,
                        uint32_t BufferSize);

// The owner name (device property 0x0800000C, at most 32 characters).
std::string ReadOwnerName(const DevicePropertyEntries& Entries, TSDKHandle Source);

// The connection state of a CD or RC backend, in the backend's own fields.
struct SourceConnection {
  CDSourceRecord& SourceInfo;
  TSDKHandle& SourceHandle;
  ConnectInfoType& ConnectInfo;
  TSDKHandle& EventCallbackHandle;
};

struct SourceOpenEntries {
  SDKEntry<TSDKOpenSource>& OpenSource;
  SDKEntry<TSDKSource>& CloseSource;
  const DevicePropertyEntries& Properties;
  SDKEntry<TSDKRegisterEventCallback>& RegisterEventCallback;
};

// Connect of the CD and RC backends: checks the camera number against
// `Devices` (the messages name `Cameras`), opens the camera's source (a
// failure leaves Kind 0), sets Kind, reads the model name, owner and power
// state, and registers the camera-event callback. Checked with the CD texts.
// A failure after the source was opened closes it again and leaves Kind 0,
// so that the camera can be connected anew.
void ConnectSource(const SourceOpenEntries& Entries, const std::vector<CDSourceRecord>& Devices,
                   int32_t ConnectToCamera, std::string_view Cameras, CameraKind Kind, TSDKEventCallback Callback,
                   uint32_t Context, const SourceConnection& Connection);

// Raises the Connect messages for a negative number, an empty device list and
// a number past its end. `Cameras` names the kind in the count message
// ("PowerShot cameras"), `ListedCameras` in the empty-list message.
void CheckCameraNumber(int32_t ConnectToCamera, size_t Count, std::string_view Cameras,
                       std::string_view ListedCameras);

// BatteryKind from bits 28-31 and BatteryLevel from bits 0-3 of the CD/RC
// power-state property.
void DecodePowerState(uint32_t PowerState, ConnectInfoType& Info);

// Position and maxima from the maximum-zoom and zoom entries (checked):
// the first maximum becomes MaxPosition2, the second MaxPosition.
void ReadZoom(SDKEntry<TSDKGetWordPair>& GetMaximum, SDKEntry<TSDKGetWord>& GetPosition, TSDKHandle Source,
              TZoomInfo& Zoom);

// Releases the shutter through the release entry (checked); the count the
// library reports, 0 when it reports none.
uint32_t ReleaseShutter(SDKEntry<TSDKRelease>& Release, TSDKHandle Source, TSDKProgressCallback Progress,
                        uint32_t Context);

// Has the library write the released picture into `FileName` (checked).
void FetchReleasedData(SDKEntry<TSDKGetReleasedData>& GetReleasedData, TSDKHandle Source,
                       const std::string& FileName, TSDKProgressCallback Progress, uint32_t Context);

}  // namespace korv
