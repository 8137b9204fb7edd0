// What crosses the boundary between the program and the three camera
// libraries: statuses, handles, callback and entry types, record layouts and
// the ids and codes both sides rely on. Shared by the binding units and by
// the simulated libraries, so that both sides agree by construction.
//
// Every value the libraries exchange is 32 bits wide (16-bit codes and 8-bit
// values travel widened); only pointers are 64-bit on this platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korv {

using TSDKStatus = uint32_t;  // 0 = success; the low 16 bits select an error text
using TSDKHandle = uint32_t;  // source, enumeration, camera and registration handles

constexpr TSDKStatus SDKOk = 0;
constexpr TSDKStatus SDKUnimplemented = 0x00000001;

// ---- Callbacks handed to the libraries (all return 0) ----------------------

// Camera events and release events of the CD and RC libraries.
using TSDKEventCallback = TSDKStatus (*)(uint32_t EventId, const void* EventData, uint32_t Unused,
                                         uint32_t Context);
// Progress of a release or a transfer, in percent.
using TSDKProgressCallback = TSDKStatus (*)(uint32_t Progress, uint32_t Unused, uint32_t Context);
// PR events: a PREventRecordSize-byte record.
using TPREventCallback = TSDKStatus (*)(uint32_t Unused, uint32_t Context, const void* EventRecord);
// PR picture data: a data block (layout below) per chunk, a last one with length 0.
using TPRDataCallback = TSDKStatus (*)(uint32_t Unused1, uint32_t Unused2, uint32_t Context,
                                       const void* DataBlock);

// ---- Records ----------------------------------------------------------------

// CD/RC start: version record, first three 16-bit fields set by the caller.
constexpr size_t SDKVersionRecordSize = 40;
// CD/RC device ("source") record as CDEnumDeviceNext fills it.
constexpr size_t SDKSourceRecordSize = 400;
constexpr size_t SDKSourceModelNameOffset = 8;  // zero-terminated, up to 64 characters
constexpr size_t SDKSourceListNameOffset = 72;  // zero-terminated, up to 64 characters
constexpr size_t SDKSourceTextSize = 64;
// Information record written by CDGetReleasedData / captured-image record of RC.
constexpr size_t SDKReleaseInfoRecordSize = 20;

// Where CDGetReleasedData writes the picture: kind 0 = the named file.
struct TSDKStorageRecord {
  uint32_t Kind;
  const char* FileName;
};

// RC device property record as RCEnumDevicePropertyNext fills it.
struct TRCDevicePropertyRecord {
  uint32_t Id;
  uint32_t Reserved;
  uint32_t Size;  // at byte 8: RCGetDevicePropertyData takes a pointer to it
  uint32_t Reserved2;
};

// PR device list: a 32-bit count, then that many device records.
constexpr size_t PRDeviceRecordSize = 1108;
constexpr size_t PRDeviceModelNameOffset = 1024;  // zero-terminated UTF-16
constexpr size_t PRDeviceListCapacity = 100;
constexpr size_t PRDeviceListBufferSize = 4 + PRDeviceListCapacity * PRDeviceRecordSize;
// PR event record: 16-bit event code at 6, 32-bit parameter at 12 and 16.
constexpr size_t PREventRecordSize = 412;
constexpr size_t PREventCodeOffset = 6;
constexpr size_t PREventObjectHandleOffset = 12;
constexpr size_t PREventParameterOffset = 16;
// PR data block: percent (32-bit) at 8, chunk length (32-bit) at 16 and a
// pointer to the chunk at 28 (64-bit here, unaligned: read it with memcpy).
constexpr size_t PRDataProgressOffset = 8;
constexpr size_t PRDataLengthOffset = 16;
constexpr size_t PRDataPointerOffset = 28;
constexpr size_t PRDataBlockSize = PRDataPointerOffset + sizeof(void*);

// ---- Ids and codes ------------------------------------------------------------

// Device properties (CDGetDevicePropertyData).
constexpr uint32_t SDKPropOwnerName = 0x0800000C;  // text, up to 32 bytes
constexpr uint32_t SDKPropPowerState = 0x0000000F;  // 32-bit word
constexpr uint32_t SDKPropEnumStart = 0x0FFFFFFF;   // id variable before the first Next

// Release-camera settings (CD/RC RelCamSettingData ids).
constexpr uint32_t SDKRelCamBeep = 0x08000002;
constexpr uint32_t SDKRelCamMeteringMode = 0x08000004;
constexpr uint32_t SDKRelCamContrast = 0x08000008;
constexpr uint32_t SDKRelCamColorSaturation = 0x08000009;
constexpr uint32_t SDKRelCamSharpness = 0x0800000A;
constexpr uint32_t SDKRelCamISO = 0x0800000C;
constexpr uint32_t SDKRelCamPhotoEffect = 0x08000B00;
constexpr uint32_t SDKRelCamColorTemperature = 0x1100;

// Release-control faculty word.
constexpr uint32_t SDKFacultyRemoteControl = 0x40000000;  // bit 30
constexpr uint32_t SDKFacultyCapabilityMask = 0x1F;       // bits 0-4

// Release data kind bits (CDSelectReleaseDataKind).
constexpr uint32_t SDKDataThumbnailToPC = 1;
constexpr uint32_t SDKDataPictureToPC = 2;
constexpr uint32_t SDKDataThumbnailToCamera = 4;
constexpr uint32_t SDKDataPictureToCamera = 8;

// Release events (event id of the release-event callback).
constexpr uint32_t SDKReleaseEventResetHWError = 10;
constexpr uint32_t SDKReleaseEventChangedByUI = 27;
constexpr uint32_t SDKReleaseEventReleaseStart = 28;
constexpr uint32_t SDKReleaseEventReleaseComplete = 29;  // data word 0: picture count
constexpr uint32_t SDKReleaseEventCamReleaseOn = 30;
constexpr uint32_t SDKReleaseEventViewfinderOff = 32;
constexpr uint32_t SDKReleaseEventViewfinderOn = 33;
constexpr uint32_t SDKReleaseEventImageReady = 34;  // data word 1: picture type

// Picture types of release event 34 and of the captured-image record.
constexpr uint32_t SDKPictureTypeThumbnail = 16;
constexpr uint32_t SDKPictureTypePicture = 32;

// Camera events (low 16 bits of the camera-event id; bits 16-19 severity).
// The others are plain kinds, listed with what they raise in the
// component's table (Obturo.cpp).
constexpr uint32_t SDKCameraEventPowerState = 1;      // data word 0: power state
constexpr uint32_t SDKCameraEventPropertyChanged = 5;  // the owner text: read it back

// PR (PTP) events, the 16-bit code at PREventCodeOffset of the record; named
// after what the component makes of them.
constexpr uint16_t PREventDevicePropChanged = 0x4006;
constexpr uint16_t PREventCameraAlert = 0xC001;
constexpr uint16_t PREventResetHWError = 0xC005;
constexpr uint16_t PREventViewfinderOff = 0xC006;
constexpr uint16_t PREventViewfinderOn = 0xC007;
constexpr uint16_t PREventObjectAdded = 0xC008;     // a released picture waits
constexpr uint16_t PREventThumbnailAdded = 0xC009;  // a released thumbnail waits
constexpr uint16_t PREventPowerState = 0xC00A;      // parameter: 1..4
constexpr uint16_t PREventCamReleaseOn = 0xC00B;
constexpr uint16_t PREventUIChanged = 0xC00C;
constexpr uint16_t PREventUIModeChanged = 0xC00E;
constexpr uint16_t PREventDeviceAlert = 0xD001;

// Value the flash entries take for "leave this part unchanged".
constexpr uint32_t SDKFlashUnchanged = 0xFF;
// Option value passed as the progress option of release and transfer calls.
constexpr uint32_t SDKProgressOption = 3;

// ---- Entry types ----------------------------------------------------------------
// One type per argument shape; the tables of SDKEntries.h give each entry its
// type. Outputs are pointers to the receiving variable.

// Entries that no backend calls: bound and exported like the others but with
// no argument list; give an entry its real type here before calling it.
using TSDKUntyped = TSDKStatus();

// CD and RC (same shapes under both prefixes).
using TSDKStartSDK = TSDKStatus(const void* VersionRecord, uint32_t Option);
using TSDKEnumDeviceReset = TSDKStatus(uint32_t Kind, TSDKHandle* Enum);
using TSDKEnumCount = TSDKStatus(TSDKHandle Enum, uint32_t* Count);
using TSDKEnumDeviceNext = TSDKStatus(TSDKHandle Enum, void* SourceRecord);
using TSDKEnumRelease = TSDKStatus(TSDKHandle Enum);
using TSDKOpenSource = TSDKStatus(const void* SourceRecord, TSDKHandle* Source);
using TSDKEnumDevicePropertyReset = TSDKStatus(TSDKHandle Source, uint32_t Option, TSDKHandle* Enum);
using TCDEnumDevicePropertyNext = TSDKStatus(TSDKHandle Enum, uint32_t* PropertyId);
using TRCEnumDevicePropertyNext = TSDKStatus(TSDKHandle Enum, TRCDevicePropertyRecord* Record);
using TSDKGetDevicePropertyData = TSDKStatus(TSDKHandle Source, uint32_t PropertyId, uint32_t* Size,
                                             void* Buffer, uint32_t Option);
using TSDKRegisterEventCallback = TSDKStatus(TSDKHandle Source, TSDKEventCallback Callback,
                                             uint32_t Context, TSDKHandle* Registration);
using TSDKEnterReleaseControl = TSDKStatus(TSDKHandle Source, TSDKEventCallback Callback,
                                           uint32_t Context);
using TSDKSource = TSDKStatus(TSDKHandle Source);
using TSDKSetValue = TSDKStatus(TSDKHandle Source, uint32_t Value);
using TSDKGetWord = TSDKStatus(TSDKHandle Source, uint32_t* Value);
using TSDKEnumReset = TSDKStatus(TSDKHandle Source, TSDKHandle* Enum);
using TSDKEnumNextCode = TSDKStatus(TSDKHandle Enum, uint16_t* Code);
using TSDKEnumNextCodePair = TSDKStatus(TSDKHandle Enum, uint16_t* First, uint16_t* Second);
using TSDKGetCode = TSDKStatus(TSDKHandle Source, uint16_t* Code);
using TSDKSetCodePair = TSDKStatus(TSDKHandle Source, uint32_t First, uint32_t Second);
using TSDKGetCodePair = TSDKStatus(TSDKHandle Source, uint16_t* First, uint16_t* Second);
using TSDKEnumRelCamSettingDataReset = TSDKStatus(TSDKHandle Source, uint32_t SettingId,
                                                  TSDKHandle* Enum, uint32_t* DataSize);
using TSDKEnumRelCamSettingDataNext = TSDKStatus(TSDKHandle Enum, uint32_t DataSize, void* Data);
using TSDKSetRelCamSettingData = TSDKStatus(TSDKHandle Source, uint32_t SettingId, uint32_t Size,
                                            const void* Data);
using TSDKGetRelCamSettingData = TSDKStatus(TSDKHandle Source, uint32_t SettingId, uint32_t* Size,
                                            void* Data);
using TSDKRelease = TSDKStatus(TSDKHandle Source, uint32_t Option, TSDKProgressCallback Progress,
                               uint32_t Context, uint32_t ProgressOption, uint32_t* Count);
using TSDKGetReleasedData = TSDKStatus(TSDKHandle Source, TSDKProgressCallback Progress,
                                       uint32_t Context, uint32_t ProgressOption, void* InfoRecord,
                                       const TSDKStorageRecord* Storage);
using TRCTakeCapturedImage = TSDKStatus(TSDKHandle Source, TSDKProgressCallback Progress,
                                        uint32_t Context, uint32_t ProgressOption,
                                        const void* CapturedImageRecord,
                                        const TSDKStorageRecord* Storage);
using TSDKGetWordPair = TSDKStatus(TSDKHandle Source, uint32_t* First, uint32_t* Second);

// PR.
using TPRStartSDK = TSDKStatus();
using TPRGetDeviceList = TSDKStatus(uint32_t* Size, void* Buffer);
using TPRCreateCameraObject = TSDKStatus(const void* DeviceRecord, TSDKHandle* Camera);
using TPRCamera = TSDKStatus(TSDKHandle Camera);
using TPRGetDeviceInfo = TSDKStatus(TSDKHandle Camera, uint32_t* Size, void* Buffer);
using TPRGetDeviceProp = TSDKStatus(TSDKHandle Camera, uint32_t PropertyCode, uint32_t* Size,
                                    void* Buffer);
using TPRSetDevicePropValue = TSDKStatus(TSDKHandle Camera, uint32_t PropertyCode, uint32_t Size,
                                         const void* Data);
using TPRSetEventCallBack = TSDKStatus(TSDKHandle Camera, uint32_t Context, TPREventCallback Callback);
using TPRGetReleasedData = TSDKStatus(TSDKHandle Camera, uint32_t ObjectHandle, uint32_t EventCode,
                                      uint32_t BlockSize, uint32_t Context, TPRDataCallback Callback);

}  // namespace korv
