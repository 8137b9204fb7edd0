// CDSDK.DLL stand-in: PowerShot cameras as the scenario describes them,
// simulated for every entry the CD backend calls. Other entries answer
// "Unimplemented" (Defaults.cpp).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "camsim/Control.h"
#include "camsim/SkyPicture.h"
#include "runtime/ByteReader.h"
#include "runtime/Clock.h"

#define CAMSIM_TABLE KORV_CD_ENTRIES
#include "camsim/Exports.h"

using namespace korv;
using namespace korv::camsim;

namespace {

constexpr uint32_t RecordMagic = 0x4D495343;  // "CSIM" at byte 0 of our source records
constexpr size_t PendingLimit = 64;  // released parts the camera holds until fetched

// One released picture waiting for CDGetReleasedData.
struct Picture {
  std::string Jpeg;
  uint32_t Width = 0, Height = 0, Number = 0;
};

struct Camera {
  CameraSpec Spec;
  bool Open = false;
  TSDKEventCallback EventCallback = nullptr;
  uint32_t EventContext = 0;
  bool InReleaseControl = false;
  TSDKEventCallback ReleaseCallback = nullptr;
  uint32_t ReleaseContext = 0;
  uint32_t DataKind = SDKDataPictureToPC;
  uint32_t PicturesTaken = 0;
  std::deque<Picture> Pending;

  SettingSpec& Setting(std::string_view name) { return Spec.Settings.find(name)->second; }
};

struct Enumeration {
  std::vector<uint32_t> Items;
  size_t Next = 0;
  uint32_t DataSize = 0;  // release-camera settings: bytes per value
};

struct Library {
  std::vector<Camera> Cameras;
  uint32_t Generation = 0;  // source records of an earlier scenario are refused
  std::map<TSDKHandle, size_t> Sources;
  std::map<TSDKHandle, Enumeration> Enumerations;
  TSDKHandle LastHandle = 0x100;

  TSDKHandle NewHandle() { return ++LastHandle; }
  Camera* Source(TSDKHandle source) {
    auto found = Sources.find(source);
    return found == Sources.end() ? nullptr : &Cameras[found->second];
  }
  Enumeration* Enum(TSDKHandle handle) {
    auto found = Enumerations.find(handle);
    return found == Enumerations.end() ? nullptr : &found->second;
  }
};

Library& Lib() {
  static Library library;
  return library;
}

// Release-camera setting ids and the bytes of their values.
struct RelCamSetting {
  uint32_t Id;
  const char* Name;
  uint32_t Width;
};
constexpr RelCamSetting RelCamSettings[] = {
    {SDKRelCamMeteringMode, "MeteringMode", 1}, {SDKRelCamISO, "ISO", 2},
    {SDKRelCamContrast, "Contrast", 1},         {SDKRelCamColorSaturation, "ColorSaturation", 1},
    {SDKRelCamSharpness, "Sharpness", 1},       {SDKRelCamPhotoEffect, "PhotoEffect", 2},
    {SDKRelCamBeep, "Beep", 1},                 {SDKRelCamColorTemperature, "ColorTemperature", 2},
};
const RelCamSetting* FindRelCam(uint32_t id) {
  for (const auto& setting : RelCamSettings)
    if (setting.Id == id) return &setting;
  return nullptr;
}

// Device properties a camera lists, in order.
constexpr uint32_t DeviceProperties[] = {0x00000001, SDKPropPowerState, 0x00000021, SDKPropOwnerName};

uint32_t ReadValue(const void* data, uint32_t width) {
  ByteReader reader(data, width);
  return width == 1 ? reader.U8() : width == 2 ? reader.U16() : reader.U32();
}
void WriteValue(void* data, uint32_t width, uint32_t value) {
  for (uint32_t i = 0; i < width; ++i) static_cast<uint8_t*>(data)[i] = static_cast<uint8_t>(value >> (8 * i));
}

// ---- Generic forms of the entries ------------------------------------------

// Two outputs at once, as the pair-valued entries give them.
template <class T>
TSDKStatus PutPair(T* first, T* second, uint32_t firstValue, uint32_t secondValue) {
  if (first == nullptr || second == nullptr) return StatusInvalidPointer;
  *first = static_cast<T>(firstValue);
  *second = static_cast<T>(secondValue);
  return SDKOk;
}

// Runs `action` on the camera of an open source, under the state lock.
template <class Action>
TSDKStatus OnCamera(TSDKHandle source, Action action) {
  auto lock = LockState();
  Camera* camera = Lib().Source(source);
  return camera == nullptr ? StatusInvalidHandle : action(*camera);
}

TSDKStatus EnumCount(TSDKHandle handle, uint32_t* count) {
  auto lock = LockState();
  Enumeration* e = Lib().Enum(handle);
  if (e == nullptr) return StatusInvalidHandle;
  if (count == nullptr) return StatusInvalidPointer;
  *count = static_cast<uint32_t>(e->Items.size());
  return SDKOk;
}

// The next item of an enumeration, or a status when there is none.
TSDKStatus EnumNextItem(TSDKHandle handle, uint32_t& item) {
  Enumeration* e = Lib().Enum(handle);
  if (e == nullptr) return StatusInvalidHandle;
  if (e->Next >= e->Items.size()) return StatusEnumNotApplicable;
  item = e->Items[e->Next++];
  return SDKOk;
}

TSDKStatus EnumNextCode(TSDKHandle handle, uint16_t* code) {
  auto lock = LockState();
  if (code == nullptr) return StatusInvalidPointer;
  uint32_t item = 0;
  TSDKStatus status = EnumNextItem(handle, item);
  if (status == SDKOk) *code = static_cast<uint16_t>(item);
  return status;
}

TSDKStatus EnumRelease(TSDKHandle handle) {
  auto lock = LockState();
  return Lib().Enumerations.erase(handle) ? SDKOk : StatusInvalidHandle;
}

TSDKStatus EnumSettingReset(TSDKHandle source, std::string_view setting, TSDKHandle* handle) {
  return OnCamera(source, [&](Camera& camera) {
    if (handle == nullptr) return StatusInvalidPointer;
    const SettingSpec& spec = camera.Setting(setting);
    if (!spec.Listable) return StatusNotSupported;
    *handle = Lib().NewHandle();
    Lib().Enumerations[*handle] = {spec.Codes, 0, 0};
    return SDKOk;
  });
}

TSDKStatus GetCode(TSDKHandle source, std::string_view setting, uint16_t* code) {
  return OnCamera(source, [&](Camera& camera) {
    if (code == nullptr) return StatusInvalidPointer;
    *code = static_cast<uint16_t>(camera.Setting(setting).Current);
    return SDKOk;
  });
}

TSDKStatus SetCode(TSDKHandle source, std::string_view setting, uint32_t code) {
  return OnCamera(source, [&](Camera& camera) {
    SettingSpec& spec = camera.Setting(setting);
    if (!spec.Accepts(code)) return StatusDeviceInvalidParameter;
    spec.Current = code;
    return SDKOk;
  });
}

// ---- Pictures ----------------------------------------------------------------

struct PixelSize {
  uint32_t Code, Width, Height;
};
constexpr PixelSize PixelSizes[] = {{0, 2048, 1536}, {1, 1600, 1200}, {2, 640, 480},
                                    {5, 1600, 1200}, {6, 1280, 960},  {7, 1024, 768}};
constexpr int JpegQualities[] = {0, 45, 70, 85, 97, 92};  // by quality code 1-5

SkyShot ShotOf(Camera& camera, bool thumbnail) {
  SkyShot shot;
  uint32_t format = camera.Setting("ImageFormat").Current;
  uint32_t quality = format >> 16, size = format & 0xFFFF;
  shot.Width = 640;
  shot.Height = 480;
  for (const auto& p : PixelSizes)
    if (p.Code == size) shot.Width = static_cast<int>(p.Width), shot.Height = static_cast<int>(p.Height);
  if (thumbnail) shot.Width = 160, shot.Height = 120;
  shot.JpegQuality = quality >= 1 && quality <= 5 ? JpegQualities[quality] : 75;

  Expose(shot, camera.Spec,
         {camera.Setting("ShootingMode").Current == 0, camera.Setting("Av").Current, camera.Setting("Tv").Current,
          camera.Setting("ISO").Current, camera.Setting("ExposureComp").Current},
         camera.PicturesTaken);
  return shot;
}

Picture Render(const SkyShot& shot, uint32_t number) {
  return {RenderSkyJpeg(shot), uint32_t(shot.Width), uint32_t(shot.Height), number};
}

void Report(TSDKProgressCallback progress, uint32_t context) {
  if (progress == nullptr) return;
  for (uint32_t percent : {0u, 50u, 100u}) progress(percent, 0, context);
}

void SendReleaseEvent(TSDKEventCallback callback, uint32_t context, uint32_t event, uint32_t word0,
                      uint32_t word1) {
  uint32_t words[2] = {word0, word1};
  if (callback != nullptr) callback(event, words, 0, context);
}

}  // namespace

namespace korv::camsim {

const char* const LibraryTag = "CD";

void ResetLibraryState(const Scenario& scenario) {
  Library& lib = Lib();
  lib.Cameras.clear();
  for (const CameraSpec& spec : scenario.CD) lib.Cameras.emplace_back().Spec = spec;
  lib.Sources.clear();
  lib.Enumerations.clear();
  ++lib.Generation;
}

}  // namespace korv::camsim

extern "C" {

// ---- Start, devices, properties ----------------------------------------------

TSDKStatus CDStartSDK(const void* version, uint32_t option) {
  CAMSIM_ENTER(version, option);
  return version == nullptr ? StatusInvalidPointer : SDKOk;
}

TSDKStatus CDEnumDeviceReset(uint32_t kind, TSDKHandle* handle) {
  CAMSIM_ENTER(kind, handle);
  auto lock = LockState();
  if (handle == nullptr) return StatusInvalidPointer;
  Enumeration devices;
  for (uint32_t i = 0; i < Lib().Cameras.size(); ++i) devices.Items.push_back(i);
  *handle = Lib().NewHandle();
  Lib().Enumerations[*handle] = devices;
  return SDKOk;
}

TSDKStatus CDGetDeviceCount(TSDKHandle handle, uint32_t* count) {
  CAMSIM_ENTER(handle, count);
  return EnumCount(handle, count);
}

TSDKStatus CDEnumDeviceNext(TSDKHandle handle, void* record) {
  CAMSIM_ENTER(handle, record);
  auto lock = LockState();
  if (record == nullptr) return StatusInvalidPointer;
  uint32_t index = 0;
  if (TSDKStatus status = EnumNextItem(handle, index)) return status;
  const CameraSpec& spec = Lib().Cameras[index].Spec;
  auto bytes = static_cast<uint8_t*>(record);
  std::memset(bytes, 0, SDKSourceRecordSize);
  WriteValue(bytes, 4, RecordMagic);
  WriteValue(bytes + 4, 4, index);
  WriteValue(bytes + 136, 4, Lib().Generation);
  std::memcpy(bytes + SDKSourceModelNameOffset, spec.Model.data(), std::min(spec.Model.size(), SDKSourceTextSize - 1));
  std::memcpy(bytes + SDKSourceListNameOffset, spec.ListName.data(),
              std::min(spec.ListName.size(), SDKSourceTextSize - 1));
  return SDKOk;
}

TSDKStatus CDEnumDeviceRelease(TSDKHandle handle) {
  CAMSIM_ENTER(handle);
  return EnumRelease(handle);
}

TSDKStatus CDOpenSource(const void* record, TSDKHandle* source) {
  CAMSIM_ENTER(record, source);
  auto lock = LockState();
  if (record == nullptr || source == nullptr) return StatusInvalidPointer;
  ByteReader reader(record, SDKSourceRecordSize);
  uint32_t magic = reader.U32(), index = reader.U32();
  reader.Seek(136);
  uint32_t generation = reader.U32();
  if (!reader.Ok() || magic != RecordMagic || generation != Lib().Generation || index >= Lib().Cameras.size())
    return StatusDeviceNotFound;
  Camera& camera = Lib().Cameras[index];
  if (camera.Open) return StatusDeviceBusy;
  camera.Open = true;
  *source = Lib().NewHandle();
  Lib().Sources[*source] = index;
  return SDKOk;
}

TSDKStatus CDRegisterEventCallbackFunction(TSDKHandle source, TSDKEventCallback callback, uint32_t context,
                                           TSDKHandle* registration) {
  CAMSIM_ENTER(source, callback, context, registration);
  return OnCamera(source, [&](Camera& camera) {
    if (callback == nullptr) return StatusInvalidFunctionPointer;
    if (registration == nullptr) return StatusInvalidPointer;
    camera.EventCallback = callback;
    camera.EventContext = context;
    *registration = Lib().NewHandle();
    return SDKOk;
  });
}

TSDKStatus CDEnumDevicePropertyReset(TSDKHandle source, uint32_t option, TSDKHandle* handle) {
  CAMSIM_ENTER(source, option, handle);
  auto lock = LockState();
  if (Lib().Source(source) == nullptr) return StatusInvalidHandle;
  if (handle == nullptr) return StatusInvalidPointer;
  *handle = Lib().NewHandle();
  Lib().Enumerations[*handle] = {{std::begin(DeviceProperties), std::end(DeviceProperties)}, 0, 0};
  return SDKOk;
}

TSDKStatus CDEnumDevicePropertyNext(TSDKHandle handle, uint32_t* id) {
  CAMSIM_ENTER(handle, id);
  auto lock = LockState();
  if (id == nullptr) return StatusInvalidPointer;
  return EnumNextItem(handle, *id);
}

TSDKStatus CDEnumDevicePropertyRelease(TSDKHandle handle) {
  CAMSIM_ENTER(handle);
  return EnumRelease(handle);
}

TSDKStatus CDGetDevicePropertyData(TSDKHandle source, uint32_t id, uint32_t* size, void* buffer,
                                   uint32_t option) {
  CAMSIM_ENTER(source, id, size, buffer, option);
  return OnCamera(source, [&](Camera& camera) {
    if (size == nullptr || buffer == nullptr) return StatusInvalidPointer;
    if (id == SDKPropOwnerName) {
      // The text with its zero, cut to the buffer as the camera does.
      const std::string& owner = camera.Spec.Owner;
      uint32_t n = std::min<uint32_t>(*size, static_cast<uint32_t>(owner.size() + 1));
      std::memcpy(buffer, owner.c_str(), n);
      *size = n;
      return SDKOk;
    }
    if (std::find(std::begin(DeviceProperties), std::end(DeviceProperties), id) == std::end(DeviceProperties))
      return StatusNotSupported;
    if (*size < 4) return StatusInvalidLength;
    WriteValue(buffer, 4, id == SDKPropPowerState ? camera.Spec.PowerState : 0);
    *size = 4;
    return SDKOk;
  });
}

// ---- Release control -----------------------------------------------------------

TSDKStatus CDEnterReleaseControl(TSDKHandle source, TSDKEventCallback callback, uint32_t context) {
  CAMSIM_ENTER(source, callback, context);
  return OnCamera(source, [&](Camera& camera) {
    if (callback == nullptr) return StatusInvalidFunctionPointer;
    camera.InReleaseControl = true;
    camera.ReleaseCallback = callback;
    camera.ReleaseContext = context;
    return SDKOk;
  });
}

TSDKStatus CDGetReleaseControlFaculty(TSDKHandle source, uint32_t* faculty) {
  CAMSIM_ENTER(source, faculty);
  return OnCamera(source, [&](Camera& camera) {
    if (faculty == nullptr) return StatusInvalidPointer;
    *faculty = camera.Spec.Faculty;
    return SDKOk;
  });
}

TSDKStatus CDSelectReleaseDataKind(TSDKHandle source, uint32_t kind) {
  CAMSIM_ENTER(source, kind);
  return OnCamera(source, [&](Camera& camera) {
    if (!camera.InReleaseControl) return StatusInvalidFunctionCall;
    if (kind == 0 || kind > 0xF) return StatusInvalidParameter;
    camera.DataKind = kind;
    return SDKOk;
  });
}

TSDKStatus CDRelease(TSDKHandle source, uint32_t option, TSDKProgressCallback progress, uint32_t context,
                     uint32_t progressOption, uint32_t* count) {
  CAMSIM_ENTER(source, option, progress, context, progressOption, count);
  auto lock = LockState();
  Camera* camera = Lib().Source(source);
  if (camera == nullptr) return StatusInvalidHandle;
  if (!camera->InReleaseControl) return StatusInvalidFunctionCall;
  if (count == nullptr) return StatusInvalidPointer;
  if (camera->Pending.size() >= PendingLimit) return StatusDeviceMemoryFull;
  uint32_t kind = camera->DataKind;
  bool fromThread = camera->Spec.EventsFromThread;
  TSDKEventCallback callback = camera->ReleaseCallback;
  uint32_t releaseContext = camera->ReleaseContext;
  uint32_t number = ++camera->PicturesTaken;
  std::optional<SkyShot> picture, thumbnail;
  if (kind & SDKDataThumbnailToPC) thumbnail = ShotOf(*camera, true);
  if (kind & SDKDataPictureToPC) picture = ShotOf(*camera, false);
  // Pictures that go to the PC are counted; with none, those kept in the camera.
  uint32_t released = thumbnail.has_value() + picture.has_value();
  if (released == 0) released = bool(kind & SDKDataThumbnailToCamera) + bool(kind & SDKDataPictureToCamera);
  lock.unlock();

  if (!fromThread) SendReleaseEvent(callback, releaseContext, SDKReleaseEventReleaseStart, 0, 0);
  Report(progress, context);
  std::vector<Picture> ready;
  if (thumbnail) ready.push_back(Render(*thumbnail, number));
  if (picture) ready.push_back(Render(*picture, number));
  lock.lock();
  if ((camera = Lib().Source(source)) != nullptr)
    for (Picture& p : ready) camera->Pending.push_back(std::move(p));
  lock.unlock();
  *count = released;
  if (fromThread) {
    Post([=] {
      SendReleaseEvent(callback, releaseContext, SDKReleaseEventReleaseStart, 0, 0);
      SendReleaseEvent(callback, releaseContext, SDKReleaseEventReleaseComplete, released, 0);
    });
  } else {
    SendReleaseEvent(callback, releaseContext, SDKReleaseEventReleaseComplete, released, 0);
  }
  return SDKOk;
}

TSDKStatus CDGetReleasedData(TSDKHandle source, TSDKProgressCallback progress, uint32_t context,
                             uint32_t progressOption, void* info, const TSDKStorageRecord* storage) {
  CAMSIM_ENTER(source, progress, context, progressOption, info, storage);
  auto lock = LockState();
  Camera* camera = Lib().Source(source);
  if (camera == nullptr) return StatusInvalidHandle;
  if (storage == nullptr || storage->Kind != 0 || storage->FileName == nullptr) return StatusInvalidParameter;
  if (camera->Pending.empty()) return StatusInvalidFunctionCall;
  Picture picture = camera->Pending.front();
  std::string fileName = storage->FileName;
  lock.unlock();

  Report(progress, context);
  std::FILE* file = std::fopen(fileName.c_str(), "wb");
  if (file == nullptr) return StatusFileOpenError;
  bool written = std::fwrite(picture.Jpeg.data(), 1, picture.Jpeg.size(), file) == picture.Jpeg.size();
  written = std::fclose(file) == 0 && written;
  if (!written) return StatusFileWriteError;
  // Only a picture that reached its file leaves the camera's queue.
  lock.lock();
  if ((camera = Lib().Source(source)) != nullptr && !camera->Pending.empty()) camera->Pending.pop_front();
  if (info != nullptr) {
    auto bytes = static_cast<uint8_t*>(info);
    WriteValue(bytes, 4, static_cast<uint32_t>(picture.Jpeg.size()));
    WriteValue(bytes + 4, 4, 1);  // format: JPEG
    WriteValue(bytes + 8, 4, picture.Width);
    WriteValue(bytes + 12, 4, picture.Height);
    WriteValue(bytes + 16, 4, picture.Number);
  }
  return SDKOk;
}

// ---- Zoom ------------------------------------------------------------------------

TSDKStatus CDGetMaximumZoomPos(TSDKHandle source, uint32_t* first, uint32_t* second) {
  CAMSIM_ENTER(source, first, second);
  return OnCamera(source, [&](Camera& camera) {
    return PutPair(first, second, camera.Spec.ZoomMax1, camera.Spec.ZoomMax2);
  });
}

TSDKStatus CDGetZoomPos(TSDKHandle source, uint32_t* position) {
  CAMSIM_ENTER(source, position);
  return OnCamera(source, [&](Camera& camera) {
    if (position == nullptr) return StatusInvalidPointer;
    *position = camera.Spec.ZoomPosition;
    return SDKOk;
  });
}

TSDKStatus CDSetZoomPos(TSDKHandle source, uint32_t position) {
  CAMSIM_ENTER(source, position);
  return OnCamera(source, [&](Camera& camera) {
    if (position > std::max(camera.Spec.ZoomMax1, camera.Spec.ZoomMax2)) return StatusDeviceInvalidParameter;
    camera.Spec.ZoomPosition = position;
    return SDKOk;
  });
}

// ---- Settings ----------------------------------------------------------------------

TSDKStatus CDEnumImageFormatAttributeReset(TSDKHandle source, TSDKHandle* handle) {
  CAMSIM_ENTER(source, handle);
  return EnumSettingReset(source, "ImageFormat", handle);
}
TSDKStatus CDGetImageFormatAttributeCount(TSDKHandle handle, uint32_t* count) {
  CAMSIM_ENTER(handle, count);
  return EnumCount(handle, count);
}
TSDKStatus CDEnumImageFormatAttributeNext(TSDKHandle handle, uint16_t* quality, uint16_t* size) {
  CAMSIM_ENTER(handle, quality, size);
  auto lock = LockState();
  if (quality == nullptr || size == nullptr) return StatusInvalidPointer;
  uint32_t format = 0;
  if (TSDKStatus status = EnumNextItem(handle, format)) return status;
  return PutPair(quality, size, format >> 16, format & 0xFFFF);
}
TSDKStatus CDEnumImageFormatAttributeRelease(TSDKHandle handle) {
  CAMSIM_ENTER(handle);
  return EnumRelease(handle);
}
TSDKStatus CDSetImageFormatAttribute(TSDKHandle source, uint32_t quality, uint32_t size) {
  CAMSIM_ENTER(source, quality, size);
  if (quality > 0xFFFF || size > 0xFFFF) return StatusDeviceInvalidParameter;
  return SetCode(source, "ImageFormat", quality << 16 | size);
}
TSDKStatus CDGetImageFormatAttribute(TSDKHandle source, uint16_t* quality, uint16_t* size) {
  CAMSIM_ENTER(source, quality, size);
  return OnCamera(source, [&](Camera& camera) {
    uint32_t format = camera.Setting("ImageFormat").Current;
    return PutPair(quality, size, format >> 16, format & 0xFFFF);
  });
}

// The six entries of a setting that travels as one 16-bit code.
#define CAMSIM_CODE_SETTING(Entry, Setting)                                           \
  TSDKStatus CDSet##Entry(TSDKHandle source, uint32_t code) {                         \
    CAMSIM_ENTER(source, code);                                                       \
    return SetCode(source, Setting, code);                                            \
  }                                                                                   \
  TSDKStatus CDGet##Entry(TSDKHandle source, uint16_t* code) {                        \
    CAMSIM_ENTER(source, code);                                                       \
    return GetCode(source, Setting, code);                                            \
  }                                                                                   \
  TSDKStatus CDEnum##Entry##Reset(TSDKHandle source, TSDKHandle* handle) {            \
    CAMSIM_ENTER(source, handle);                                                     \
    return EnumSettingReset(source, Setting, handle);                                 \
  }                                                                                   \
  TSDKStatus CDGet##Entry##Count(TSDKHandle handle, uint32_t* count) {                \
    CAMSIM_ENTER(handle, count);                                                      \
    return EnumCount(handle, count);                                                  \
  }                                                                                   \
  TSDKStatus CDEnum##Entry##Next(TSDKHandle handle, uint16_t* code) {                 \
    CAMSIM_ENTER(handle, code);                                                       \
    return EnumNextCode(handle, code);                                                \
  }                                                                                   \
  TSDKStatus CDEnum##Entry##Release(TSDKHandle handle) {                              \
    CAMSIM_ENTER(handle);                                                             \
    return EnumRelease(handle);                                                       \
  }

CAMSIM_CODE_SETTING(ShootingMode, "ShootingMode")
CAMSIM_CODE_SETTING(AvValue, "Av")
CAMSIM_CODE_SETTING(TvValue, "Tv")
CAMSIM_CODE_SETTING(ExposureComp, "ExposureComp")
CAMSIM_CODE_SETTING(WBSetting, "WhiteBalance")
CAMSIM_CODE_SETTING(AFDistanceSetting, "AFDistance")

// Flash: a mode and a compensation, each left alone when given as 0xFF.
TSDKStatus CDSetFlashSetting(TSDKHandle source, uint32_t mode, uint32_t compensation) {
  CAMSIM_ENTER(source, mode, compensation);
  return OnCamera(source, [&](Camera& camera) {
    SettingSpec& modes = camera.Setting("FlashMode");
    SettingSpec& compensations = camera.Setting("FlashCompensation");
    if ((mode != SDKFlashUnchanged && !modes.Accepts(mode)) ||
        (compensation != SDKFlashUnchanged && !compensations.Accepts(compensation)))
      return StatusDeviceInvalidParameter;
    if (mode != SDKFlashUnchanged) modes.Current = mode;
    if (compensation != SDKFlashUnchanged) compensations.Current = compensation;
    return SDKOk;
  });
}
TSDKStatus CDGetFlashSetting(TSDKHandle source, uint16_t* mode, uint16_t* compensation) {
  CAMSIM_ENTER(source, mode, compensation);
  return OnCamera(source, [&](Camera& camera) {
    return PutPair(mode, compensation, camera.Setting("FlashMode").Current,
                   camera.Setting("FlashCompensation").Current);
  });
}
TSDKStatus CDEnumFlashSettingReset(TSDKHandle source, TSDKHandle* handle) {
  CAMSIM_ENTER(source, handle);
  return EnumSettingReset(source, "FlashMode", handle);
}
TSDKStatus CDGetFlashSettingCount(TSDKHandle handle, uint32_t* count) {
  CAMSIM_ENTER(handle, count);
  return EnumCount(handle, count);
}
TSDKStatus CDEnumFlashSettingNext(TSDKHandle handle, uint16_t* mode) {
  CAMSIM_ENTER(handle, mode);
  return EnumNextCode(handle, mode);
}
TSDKStatus CDEnumFlashSettingRelease(TSDKHandle handle) {
  CAMSIM_ENTER(handle);
  return EnumRelease(handle);
}

// Release-camera settings: values of 1 or 2 bytes by setting id.
TSDKStatus CDEnumRelCamSettingDataReset(TSDKHandle source, uint32_t id, TSDKHandle* handle, uint32_t* size) {
  CAMSIM_ENTER(source, id, handle, size);
  return OnCamera(source, [&](Camera& camera) {
    if (handle == nullptr || size == nullptr) return StatusInvalidPointer;
    const RelCamSetting* setting = FindRelCam(id);
    if (setting == nullptr || !camera.Setting(setting->Name).Listable) return StatusNotSupported;
    *handle = Lib().NewHandle();
    *size = setting->Width;
    Lib().Enumerations[*handle] = {camera.Setting(setting->Name).Codes, 0, setting->Width};
    return SDKOk;
  });
}
TSDKStatus CDGetRelCamSettingDataCount(TSDKHandle handle, uint32_t* count) {
  CAMSIM_ENTER(handle, count);
  return EnumCount(handle, count);
}
TSDKStatus CDEnumRelCamSettingDataNext(TSDKHandle handle, uint32_t size, void* data) {
  CAMSIM_ENTER(handle, size, data);
  auto lock = LockState();
  if (data == nullptr) return StatusInvalidPointer;
  Enumeration* e = Lib().Enum(handle);
  if (e == nullptr) return StatusInvalidHandle;
  if (size != e->DataSize) return StatusInvalidLength;
  uint32_t value = 0;
  if (TSDKStatus status = EnumNextItem(handle, value)) return status;
  WriteValue(data, size, value);
  return SDKOk;
}
TSDKStatus CDEnumRelCamSettingDataRelease(TSDKHandle handle) {
  CAMSIM_ENTER(handle);
  return EnumRelease(handle);
}
TSDKStatus CDGetRelCamSettingData(TSDKHandle source, uint32_t id, uint32_t* size, void* data) {
  CAMSIM_ENTER(source, id, size, data);
  return OnCamera(source, [&](Camera& camera) {
    if (size == nullptr || data == nullptr) return StatusInvalidPointer;
    const RelCamSetting* setting = FindRelCam(id);
    if (setting == nullptr) return StatusNotSupported;
    if (*size < setting->Width) return StatusInvalidLength;
    WriteValue(data, setting->Width, camera.Setting(setting->Name).Current);
    *size = setting->Width;
    return SDKOk;
  });
}
TSDKStatus CDSetRelCamSettingData(TSDKHandle source, uint32_t id, uint32_t size, const void* data) {
  CAMSIM_ENTER(source, id, size, data);
  return OnCamera(source, [&](Camera& camera) {
    if (data == nullptr) return StatusInvalidPointer;
    const RelCamSetting* setting = FindRelCam(id);
    if (setting == nullptr) return StatusNotSupported;
    if (size != setting->Width) return StatusInvalidLength;
    SettingSpec& spec = camera.Setting(setting->Name);
    uint32_t value = ReadValue(data, size);
    if (!spec.Accepts(value)) return StatusDeviceInvalidParameter;
    spec.Current = value;
    return SDKOk;
  });
}

// ---- Control entries of this library ------------------------------------------------

CAMSIM_EXPORT uint32_t CamSimRaiseCameraEvent(uint32_t event, uint32_t word) {
  std::vector<std::pair<TSDKEventCallback, uint32_t>> targets;
  {
    auto lock = LockState();
    for (const Camera& camera : Lib().Cameras)
      if (camera.Open && camera.EventCallback) targets.emplace_back(camera.EventCallback, camera.EventContext);
  }
  uint32_t words[2] = {word, 0};
  for (auto [callback, context] : targets) callback(event, words, 0, context);
  return 0;
}

CAMSIM_EXPORT uint32_t CamSimRaiseReleaseEvent(uint32_t event, uint32_t word0, uint32_t word1) {
  std::vector<std::pair<TSDKEventCallback, uint32_t>> targets;
  {
    auto lock = LockState();
    for (const Camera& camera : Lib().Cameras)
      if (camera.Open && camera.InReleaseControl) targets.emplace_back(camera.ReleaseCallback, camera.ReleaseContext);
  }
  for (auto [callback, context] : targets) SendReleaseEvent(callback, context, event, word0, word1);
  return 0;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(CamSimRaiseCameraEvent), TCamSimRaiseCameraEvent>);
static_assert(std::is_same_v<decltype(CamSimRaiseReleaseEvent), TCamSimRaiseReleaseEvent>);
