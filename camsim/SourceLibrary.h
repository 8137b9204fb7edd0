// What the CD and RC stand-ins share. Both libraries serve their cameras as
// "sources" through the same kinds of entries under their own prefixes (CD,
// RC) and with the same codes, so one simulation serves both:
// CAMSIM_SOURCE_ENTRIES(CD) in CDSim.cpp and CAMSIM_SOURCE_ENTRIES(RC) in
// RCSim.cpp define the prefixed entries, each logging its call and then
// running the shared simulation below. Each library links its own copy, so
// each has its own cameras.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camera/sdkapi/SDKTypes.h"
#include "camsim/Scenario.h"
#include "camsim/SkyPicture.h"
#include "camsim/Simulator.h"

namespace korv::camsim::source {

constexpr size_t PendingLimit = 64;  // released parts the camera holds until fetched


// A released part (thumbnail or picture) waiting in the camera to be fetched.
struct Picture {
  std::string Jpeg;
  uint32_t Width = 0, Height = 0, Number = 0;
  uint32_t Id = 0;                          // names it in a captured-image record
  uint32_t Type = SDKPictureTypePicture;
};

struct Camera {
  CameraProfile Profile;
  bool Open = false;
  TSDKEventCallback EventCallback = nullptr;
  uint32_t EventContext = 0;
  bool InReleaseControl = false;
  bool InCaptureSession = false;
  TSDKEventCallback ReleaseCallback = nullptr;  // release control or capture session
  uint32_t ReleaseContext = 0;
  uint32_t DataKind = SDKDataPictureToPC;
  uint32_t PicturesTaken = 0;
  uint32_t BusyWrites = 0;  // settings writes still to be refused as "Device busy"
  std::deque<Picture> Pending;
  uint32_t Releases = 0;  // since attaching, for the scenario's "unplug"
  uint32_t Plug = 0;      // times it came back; its device records carry it
  std::optional<std::chrono::steady_clock::time_point> GoneUntil;

  SettingProfile& Setting(std::string_view name) { return Profile.Settings.find(name)->second; }
};

struct Enumeration {
  std::vector<uint32_t> Items;
  size_t Next = 0;
  uint32_t DataSize = 0;  // release-camera settings: bytes per value
  size_t Camera = 0;      // device properties: whose they are
};

// An open source: its camera, as it was plugged when opened.
struct SourceEntry {
  size_t Camera = 0;
  uint32_t Plug = 0;
};

struct Library {
  std::vector<Camera> Cameras;
  uint32_t Generation = 0;  // source records of an earlier scenario are refused
  std::map<TSDKHandle, SourceEntry> Sources;
  std::map<TSDKHandle, Enumeration> Enumerations;
  TSDKHandle LastHandle = 0x100;
  uint32_t LastPictureId = 0;

  TSDKHandle NewHandle() { return ++LastHandle; }
  // The camera of an open source; nullptr when the handle is unknown or its
  // camera went away since (Missing tells which).
  Camera* Source(TSDKHandle source);
  TSDKStatus Missing(TSDKHandle source) const;
  // Whether the camera is attached now; one whose time away is over comes
  // back under a new device record.
  bool Present(size_t camera);
  // The camera goes away for the scenario's time: its sources are dead.
  void Unplug(Camera& camera);
  Enumeration* Enum(TSDKHandle handle);
};

// The library's state; touch it with the state lock held (LockState).
Library& Lib();
// Attaches `cameras` afresh (called by the library's ResetLibraryState).
void Reset(const std::vector<CameraProfile>& cameras);

// The next item of an enumeration, or a status when there is none.
TSDKStatus EnumNextItem(TSDKHandle handle, uint32_t& item);

// Runs `action` on the camera of an open source, under the state lock.
template <class Action>
TSDKStatus OnCamera(TSDKHandle source, Action action) {
  auto lock = LockState();
  Camera* camera = Lib().Source(source);
  return camera == nullptr ? StatusInvalidHandle : action(*camera);
}

// What one release makes, planned under the state lock and rendered outside
// it (rendering takes a while): the parts that go to the PC and, when none
// does, the number of parts kept in the camera.
struct ReleasePlan {
  std::optional<SkyShot> Thumbnail, Picture;
  uint32_t Number = 0;
  uint32_t Released = 0;  // parts to the PC, else parts kept in the camera
};
ReleasePlan PlanRelease(Camera& camera);
// After a release or capture of `source` has ended: the camera goes away
// when the scenario says this was the release to do it.
void CountRelease(TSDKHandle source);
// Thumbnail first, then the picture.
std::vector<Picture> Render(const ReleasePlan& plan);

// Progress 0, 50 and 100 through `progress`, if given.
void Report(TSDKProgressCallback progress, uint32_t context);
// Calls a release-event callback with five data words (the component reads
// up to five: a captured-image record).
void SendReleaseEvent(TSDKEventCallback callback, uint32_t context, uint32_t event,
                      const std::array<uint32_t, 5>& words);
// Writes a picture into the file a storage record names; "File open error"
// or "File write error" when that fails.
TSDKStatus WritePicture(const Picture& picture, const std::string& fileName);
// A storage record the simulation can write to (kind 0, a file name).
bool ValidStorage(const TSDKStorageRecord* storage);

// ---- The shared entries, without their prefix --------------------------------

TSDKStatus StartSDK(const void* version, uint32_t option);
TSDKStatus EnumDeviceReset(uint32_t kind, TSDKHandle* handle);
TSDKStatus EnumDeviceNext(TSDKHandle handle, void* record);
TSDKStatus OpenSource(const void* record, TSDKHandle* source);
TSDKStatus CloseSource(TSDKHandle source);
TSDKStatus RegisterEventCallbackFunction(TSDKHandle source, TSDKEventCallback callback, uint32_t context,
                                         TSDKHandle* registration);
TSDKStatus EnumDevicePropertyReset(TSDKHandle source, uint32_t option, TSDKHandle* handle);
TSDKStatus GetDevicePropertyData(TSDKHandle source, uint32_t id, uint32_t* size, void* buffer, uint32_t option);
TSDKStatus EnterReleaseControl(TSDKHandle source, TSDKEventCallback callback, uint32_t context);
// RC only: a capture session, whose release events announce each picture.
TSDKStatus StartCaptureSession(TSDKHandle source, TSDKEventCallback callback, uint32_t context);
TSDKStatus GetReleaseControlFaculty(TSDKHandle source, uint32_t* faculty);
TSDKStatus SelectReleaseDataKind(TSDKHandle source, uint32_t kind);
TSDKStatus Release(TSDKHandle source, uint32_t option, TSDKProgressCallback progress, uint32_t context,
                   uint32_t progressOption, uint32_t* count);
TSDKStatus GetReleasedData(TSDKHandle source, TSDKProgressCallback progress, uint32_t context,
                           uint32_t progressOption, void* info, const TSDKStorageRecord* storage);
TSDKStatus GetMaximumZoomPos(TSDKHandle source, uint32_t* first, uint32_t* second);
TSDKStatus GetZoomPos(TSDKHandle source, uint32_t* position);
TSDKStatus SetZoomPos(TSDKHandle source, uint32_t position);
TSDKStatus EnumCount(TSDKHandle handle, uint32_t* count);
TSDKStatus EnumNextCode(TSDKHandle handle, uint16_t* code);
TSDKStatus EnumRelease(TSDKHandle handle);
TSDKStatus EnumSettingReset(TSDKHandle source, std::string_view setting, TSDKHandle* handle);
TSDKStatus GetCode(TSDKHandle source, std::string_view setting, uint16_t* code);
TSDKStatus SetCode(TSDKHandle source, std::string_view setting, uint32_t code);
TSDKStatus EnumImageFormatAttributeNext(TSDKHandle handle, uint16_t* quality, uint16_t* size);
TSDKStatus SetImageFormatAttribute(TSDKHandle source, uint32_t quality, uint32_t size);
TSDKStatus GetImageFormatAttribute(TSDKHandle source, uint16_t* quality, uint16_t* size);
TSDKStatus SetFlashSetting(TSDKHandle source, uint32_t mode, uint32_t compensation);
TSDKStatus GetFlashSetting(TSDKHandle source, uint16_t* mode, uint16_t* compensation);
TSDKStatus EnumRelCamSettingDataReset(TSDKHandle source, uint32_t id, TSDKHandle* handle, uint32_t* size);
TSDKStatus EnumRelCamSettingDataNext(TSDKHandle handle, uint32_t size, void* data);
TSDKStatus GetRelCamSettingData(TSDKHandle source, uint32_t id, uint32_t* size, void* data);
TSDKStatus SetRelCamSettingData(TSDKHandle source, uint32_t id, uint32_t size, const void* data);

}  // namespace korv::camsim::source

// An exported entry `Name` with the parameter list `Params`: logs the call
// with the arguments after `Call` and returns an injected failure when one
// is due, else what `Call` (a function of camsim::source) returns.
#define CAMSIM_ENTRY(Name, Params, Call, ...) \
  extern "C" korv::TSDKStatus Name Params {    \
    CAMSIM_ENTER(__VA_ARGS__);                  \
    return korv::camsim::source::Call;         \
  }

// The six entries of a setting that travels as one 16-bit code.
#define CAMSIM_CODE_SETTING_ENTRIES(P, Entry, Setting)                                                       \
  CAMSIM_ENTRY(P##Set##Entry, (korv::TSDKHandle source, uint32_t code), SetCode(source, Setting, code), source, \
               code)                                                                                          \
  CAMSIM_ENTRY(P##Get##Entry, (korv::TSDKHandle source, uint16_t * code), GetCode(source, Setting, code),       \
               source, code)                                                                                  \
  CAMSIM_ENTRY(P##Enum##Entry##Reset, (korv::TSDKHandle source, korv::TSDKHandle * handle),                     \
               EnumSettingReset(source, Setting, handle), source, handle)                                     \
  CAMSIM_ENTRY(P##Get##Entry##Count, (korv::TSDKHandle handle, uint32_t * count), EnumCount(handle, count),     \
               handle, count)                                                                                 \
  CAMSIM_ENTRY(P##Enum##Entry##Next, (korv::TSDKHandle handle, uint16_t * code), EnumNextCode(handle, code),    \
               handle, code)                                                                                  \
  CAMSIM_ENTRY(P##Enum##Entry##Release, (korv::TSDKHandle handle), EnumRelease(handle), handle)

// Every entry the CD and RC libraries share, under the prefix P. The device
// property enumeration's next entry differs between them and is each
// library's own.
#define CAMSIM_SOURCE_ENTRIES(P)                                                                                 \
  CAMSIM_ENTRY(P##StartSDK, (const void* version, uint32_t option), StartSDK(version, option), version, option) \
  CAMSIM_ENTRY(P##EnumDeviceReset, (uint32_t kind, korv::TSDKHandle * handle), EnumDeviceReset(kind, handle),    \
               kind, handle)                                                                                     \
  CAMSIM_ENTRY(P##GetDeviceCount, (korv::TSDKHandle handle, uint32_t * count), EnumCount(handle, count), handle, \
               count)                                                                                            \
  CAMSIM_ENTRY(P##EnumDeviceNext, (korv::TSDKHandle handle, void* record), EnumDeviceNext(handle, record),       \
               handle, record)                                                                                   \
  CAMSIM_ENTRY(P##EnumDeviceRelease, (korv::TSDKHandle handle), EnumRelease(handle), handle)                     \
  CAMSIM_ENTRY(P##OpenSource, (const void* record, korv::TSDKHandle* source), OpenSource(record, source), record, \
               source)                                                                                           \
  CAMSIM_ENTRY(P##CloseSource, (korv::TSDKHandle source), CloseSource(source), source)                          \
  CAMSIM_ENTRY(P##RegisterEventCallbackFunction,                                                                 \
               (korv::TSDKHandle source, korv::TSDKEventCallback callback, uint32_t context,                     \
                korv::TSDKHandle * registration),                                                                \
               RegisterEventCallbackFunction(source, callback, context, registration), source, callback,         \
               context, registration)                                                                            \
  CAMSIM_ENTRY(P##EnumDevicePropertyReset, (korv::TSDKHandle source, uint32_t option, korv::TSDKHandle * handle), \
               EnumDevicePropertyReset(source, option, handle), source, option, handle)                          \
  CAMSIM_ENTRY(P##EnumDevicePropertyRelease, (korv::TSDKHandle handle), EnumRelease(handle), handle)             \
  CAMSIM_ENTRY(P##GetDevicePropertyData,                                                                         \
               (korv::TSDKHandle source, uint32_t id, uint32_t * size, void* buffer, uint32_t option),           \
               GetDevicePropertyData(source, id, size, buffer, option), source, id, size, buffer, option)        \
  CAMSIM_ENTRY(P##EnterReleaseControl, (korv::TSDKHandle source, korv::TSDKEventCallback callback, uint32_t context), \
               EnterReleaseControl(source, callback, context), source, callback, context)                        \
  CAMSIM_ENTRY(P##GetReleaseControlFaculty, (korv::TSDKHandle source, uint32_t * faculty),                      \
               GetReleaseControlFaculty(source, faculty), source, faculty)                                       \
  CAMSIM_ENTRY(P##SelectReleaseDataKind, (korv::TSDKHandle source, uint32_t kind),                               \
               SelectReleaseDataKind(source, kind), source, kind)                                                \
  CAMSIM_ENTRY(P##Release,                                                                                       \
               (korv::TSDKHandle source, uint32_t option, korv::TSDKProgressCallback progress, uint32_t context, \
                uint32_t progressOption, uint32_t * count),                                                      \
               Release(source, option, progress, context, progressOption, count), source, option, progress,      \
               context, progressOption, count)                                                                   \
  CAMSIM_ENTRY(P##GetReleasedData,                                                                               \
               (korv::TSDKHandle source, korv::TSDKProgressCallback progress, uint32_t context,                  \
                uint32_t progressOption, void* info, const korv::TSDKStorageRecord* storage),                    \
               GetReleasedData(source, progress, context, progressOption, info, storage), source, progress,      \
               context, progressOption, info, storage)                                                           \
  CAMSIM_ENTRY(P##GetMaximumZoomPos, (korv::TSDKHandle source, uint32_t * first, uint32_t * second),             \
               GetMaximumZoomPos(source, first, second), source, first, second)                                  \
  CAMSIM_ENTRY(P##GetZoomPos, (korv::TSDKHandle source, uint32_t * position), GetZoomPos(source, position),      \
               source, position)                                                                                 \
  CAMSIM_ENTRY(P##SetZoomPos, (korv::TSDKHandle source, uint32_t position), SetZoomPos(source, position),        \
               source, position)                                                                                 \
  CAMSIM_ENTRY(P##EnumImageFormatAttributeReset, (korv::TSDKHandle source, korv::TSDKHandle * handle),           \
               EnumSettingReset(source, "ImageFormat", handle), source, handle)                                  \
  CAMSIM_ENTRY(P##GetImageFormatAttributeCount, (korv::TSDKHandle handle, uint32_t * count),                     \
               EnumCount(handle, count), handle, count)                                                          \
  CAMSIM_ENTRY(P##EnumImageFormatAttributeNext, (korv::TSDKHandle handle, uint16_t * quality, uint16_t * size),  \
               EnumImageFormatAttributeNext(handle, quality, size), handle, quality, size)                       \
  CAMSIM_ENTRY(P##EnumImageFormatAttributeRelease, (korv::TSDKHandle handle), EnumRelease(handle), handle)       \
  CAMSIM_ENTRY(P##SetImageFormatAttribute, (korv::TSDKHandle source, uint32_t quality, uint32_t size),           \
               SetImageFormatAttribute(source, quality, size), source, quality, size)                            \
  CAMSIM_ENTRY(P##GetImageFormatAttribute, (korv::TSDKHandle source, uint16_t * quality, uint16_t * size),       \
               GetImageFormatAttribute(source, quality, size), source, quality, size)                            \
  CAMSIM_CODE_SETTING_ENTRIES(P, ShootingMode, "ShootingMode")                                                   \
  CAMSIM_CODE_SETTING_ENTRIES(P, AvValue, "Av")                                                                  \
  CAMSIM_CODE_SETTING_ENTRIES(P, TvValue, "Tv")                                                                  \
  CAMSIM_CODE_SETTING_ENTRIES(P, ExposureComp, "ExposureComp")                                                   \
  CAMSIM_CODE_SETTING_ENTRIES(P, WBSetting, "WhiteBalance")                                                      \
  CAMSIM_CODE_SETTING_ENTRIES(P, AFDistanceSetting, "AFDistance")                                                \
  CAMSIM_ENTRY(P##SetFlashSetting, (korv::TSDKHandle source, uint32_t mode, uint32_t compensation),              \
               SetFlashSetting(source, mode, compensation), source, mode, compensation)                          \
  CAMSIM_ENTRY(P##GetFlashSetting, (korv::TSDKHandle source, uint16_t * mode, uint16_t * compensation),          \
               GetFlashSetting(source, mode, compensation), source, mode, compensation)                          \
  CAMSIM_ENTRY(P##EnumFlashSettingReset, (korv::TSDKHandle source, korv::TSDKHandle * handle),                   \
               EnumSettingReset(source, "FlashMode", handle), source, handle)                                    \
  CAMSIM_ENTRY(P##GetFlashSettingCount, (korv::TSDKHandle handle, uint32_t * count), EnumCount(handle, count),   \
               handle, count)                                                                                    \
  CAMSIM_ENTRY(P##EnumFlashSettingNext, (korv::TSDKHandle handle, uint16_t * mode), EnumNextCode(handle, mode),  \
               handle, mode)                                                                                     \
  CAMSIM_ENTRY(P##EnumFlashSettingRelease, (korv::TSDKHandle handle), EnumRelease(handle), handle)               \
  CAMSIM_ENTRY(P##EnumRelCamSettingDataReset,                                                                    \
               (korv::TSDKHandle source, uint32_t id, korv::TSDKHandle * handle, uint32_t * size),               \
               EnumRelCamSettingDataReset(source, id, handle, size), source, id, handle, size)                   \
  CAMSIM_ENTRY(P##GetRelCamSettingDataCount, (korv::TSDKHandle handle, uint32_t * count),                        \
               EnumCount(handle, count), handle, count)                                                          \
  CAMSIM_ENTRY(P##EnumRelCamSettingDataNext, (korv::TSDKHandle handle, uint32_t size, void* data),               \
               EnumRelCamSettingDataNext(handle, size, data), handle, size, data)                                \
  CAMSIM_ENTRY(P##EnumRelCamSettingDataRelease, (korv::TSDKHandle handle), EnumRelease(handle), handle)          \
  CAMSIM_ENTRY(P##GetRelCamSettingData, (korv::TSDKHandle source, uint32_t id, uint32_t * size, void* data),     \
               GetRelCamSettingData(source, id, size, data), source, id, size, data)                             \
  CAMSIM_ENTRY(P##SetRelCamSettingData, (korv::TSDKHandle source, uint32_t id, uint32_t size, const void* data), \
               SetRelCamSettingData(source, id, size, data), source, id, size, data)
