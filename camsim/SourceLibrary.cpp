#include "camsim/SourceLibrary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "camsim/Control.h"
#include "runtime/ByteReader.h"

namespace korv::camsim::source {

namespace {

constexpr uint32_t RecordMagic = 0x4D495343;  // "CSIM" at byte 0 of our source records

// A settings write while the camera is still busy is refused.
bool StillBusy(Camera& camera) {
  if (camera.BusyWrites == 0) return false;
  --camera.BusyWrites;
  return true;
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

// One output, as the word-valued entries give it.
TSDKStatus PutWord(uint32_t* out, uint32_t value) {
  if (out == nullptr) return StatusInvalidPointer;
  *out = value;
  return SDKOk;
}

// Two outputs at once, as the pair-valued entries give them.
template <class T>
TSDKStatus PutPair(T* first, T* second, uint32_t firstValue, uint32_t secondValue) {
  if (first == nullptr || second == nullptr) return StatusInvalidPointer;
  *first = static_cast<T>(firstValue);
  *second = static_cast<T>(secondValue);
  return SDKOk;
}

// ---- Pictures ----------------------------------------------------------------

struct PixelSize {
  uint32_t Code, Width, Height;
};
constexpr PixelSize PixelSizes[] = {{0, 2592, 1944}, {1, 1600, 1200}, {2, 640, 480},
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

  Expose(shot, camera.Profile,
         {camera.Setting("ShootingMode").Current == 0, camera.Setting("Av").Current, camera.Setting("Tv").Current,
          camera.Setting("ISO").Current, camera.Setting("ExposureComp").Current},
         camera.PicturesTaken);
  return shot;
}


}  // namespace

Camera* Library::Source(TSDKHandle source) {
  auto found = Sources.find(source);
  if (found == Sources.end() || !Present(found->second.Camera)) return nullptr;
  Camera& camera = Cameras[found->second.Camera];
  return camera.Plugged.Plug() == found->second.Plug ? &camera : nullptr;
}

TSDKStatus Library::Missing(TSDKHandle source) const {
  return Sources.count(source) ? StatusDeviceNotFound : StatusInvalidHandle;
}

bool Library::Present(size_t index) { return Cameras[index].Plugged.Present(); }

void Library::Unplug(Camera& camera) {
  camera.Open = false;
  camera.EventCallback = camera.ReleaseCallback = nullptr;
  camera.InReleaseControl = camera.InCaptureSession = false;
  camera.Pending.clear();
}

Enumeration* Library::Enum(TSDKHandle handle) {
  auto found = Enumerations.find(handle);
  return found == Enumerations.end() ? nullptr : &found->second;
}

Library& Lib() {
  static Library library;
  return library;
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
    const SettingProfile& profile = camera.Setting(setting);
    if (!profile.Listable) return StatusNotSupported;
    *handle = Lib().NewHandle();
    Lib().Enumerations[*handle] = {profile.Codes, 0, 0};
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
    if (StillBusy(camera)) return StatusDeviceBusy;
    SettingProfile& profile = camera.Setting(setting);
    if (!profile.Accepts(code)) return StatusDeviceInvalidParameter;
    profile.Current = code;
    return SDKOk;
  });
}

void Reset(const std::vector<CameraProfile>& cameras) {
  Library& lib = Lib();
  lib.Cameras.clear();
  for (const CameraProfile& profile : cameras) {
    Camera& camera = lib.Cameras.emplace_back();
    camera.Profile = profile;
    camera.BusyWrites = profile.BusyWrites;
  }
  lib.Sources.clear();
  lib.Enumerations.clear();
  ++lib.Generation;
}

ReleasePlan PlanRelease(Camera& camera) {
  ReleasePlan plan;
  const uint32_t kind = camera.DataKind;
  plan.Number = ++camera.PicturesTaken;
  if (kind & SDKDataThumbnailToPC) plan.Thumbnail = ShotOf(camera, true);
  if (kind & SDKDataPictureToPC) plan.Picture = ShotOf(camera, false);
  // Pictures that go to the PC are counted; with none, those kept in the camera.
  plan.Released = plan.Thumbnail.has_value() + plan.Picture.has_value();
  if (plan.Released == 0)
    plan.Released = bool(kind & SDKDataThumbnailToCamera) + bool(kind & SDKDataPictureToCamera);
  return plan;
}

std::vector<Picture> Render(const ReleasePlan& plan) {
  std::vector<Picture> pictures;
  for (const auto& [shot, type] : {std::pair{&plan.Thumbnail, SDKPictureTypeThumbnail},
                                   std::pair{&plan.Picture, SDKPictureTypePicture}})
    if (shot->has_value()) {
      const SkyShot& s = **shot;
      pictures.push_back({RenderSkyJpeg(s), uint32_t(s.Width), uint32_t(s.Height), plan.Number, 0, type});
    }
  return pictures;
}

void Report(TSDKProgressCallback progress, uint32_t context) {
  if (progress == nullptr) return;
  for (uint32_t percent : {0u, 50u, 100u}) progress(percent, 0, context);
}

void SendReleaseEvent(TSDKEventCallback callback, uint32_t context, uint32_t event,
                      const std::array<uint32_t, 5>& words) {
  if (callback != nullptr) callback(event, words.data(), 0, context);
}

bool ValidStorage(const TSDKStorageRecord* storage) {
  return storage != nullptr && storage->Kind == 0 && storage->FileName != nullptr;
}

TSDKStatus WritePicture(const Picture& picture, const std::string& fileName) {
  std::FILE* file = std::fopen(fileName.c_str(), "wb");
  if (file == nullptr) return StatusFileOpenError;
  bool written = std::fwrite(picture.Jpeg.data(), 1, picture.Jpeg.size(), file) == picture.Jpeg.size();
  written = std::fclose(file) == 0 && written;
  return written ? SDKOk : StatusFileWriteError;
}


// ---- Start, devices, properties ----------------------------------------------

TSDKStatus StartSDK(const void* version, uint32_t option) {
  return version == nullptr ? StatusInvalidPointer : SDKOk;
}

TSDKStatus EnumDeviceReset(uint32_t kind, TSDKHandle* handle) {
  auto lock = LockState();
  if (handle == nullptr) return StatusInvalidPointer;
  Enumeration devices;
  for (uint32_t i = 0; i < Lib().Cameras.size(); ++i)
    if (Lib().Present(i)) devices.Items.push_back(i);
  *handle = Lib().NewHandle();
  Lib().Enumerations[*handle] = devices;
  return SDKOk;
}

TSDKStatus EnumDeviceNext(TSDKHandle handle, void* record) {
  auto lock = LockState();
  if (record == nullptr) return StatusInvalidPointer;
  uint32_t index = 0;
  if (TSDKStatus status = EnumNextItem(handle, index)) return status;
  const CameraProfile& profile = Lib().Cameras[index].Profile;
  auto bytes = static_cast<uint8_t*>(record);
  std::memset(bytes, 0, SDKSourceRecordSize);
  WriteValue(bytes, 4, RecordMagic);
  WriteValue(bytes + 4, 4, index);
  WriteValue(bytes + 136, 4, Lib().Generation);
  WriteValue(bytes + 140, 4, Lib().Cameras[index].Plugged.Plug());
  std::memcpy(bytes + SDKSourceModelNameOffset, profile.Model.data(), std::min(profile.Model.size(), SDKSourceTextSize - 1));
  std::memcpy(bytes + SDKSourceListNameOffset, profile.ListName.data(),
              std::min(profile.ListName.size(), SDKSourceTextSize - 1));
  return SDKOk;
}

TSDKStatus OpenSource(const void* record, TSDKHandle* source) {
  auto lock = LockState();
  if (record == nullptr || source == nullptr) return StatusInvalidPointer;
  ByteReader reader(record, SDKSourceRecordSize);
  uint32_t magic = reader.U32(), index = reader.U32();
  reader.Seek(136);
  uint32_t generation = reader.U32(), plug = reader.U32();
  if (!reader.Ok() || magic != RecordMagic || generation != Lib().Generation || index >= Lib().Cameras.size() ||
      !Lib().Present(index) || plug != Lib().Cameras[index].Plugged.Plug())
    return StatusDeviceNotFound;
  Camera& camera = Lib().Cameras[index];
  if (camera.Open) return StatusDeviceBusy;
  camera.Open = true;
  *source = Lib().NewHandle();
  Lib().Sources[*source] = {index, plug};
  return SDKOk;
}

TSDKStatus CloseSource(TSDKHandle source) {
  auto lock = LockState();
  if (Camera* camera = Lib().Source(source)) {
    camera->Open = false;
    camera->EventCallback = camera->ReleaseCallback = nullptr;
    camera->InReleaseControl = camera->InCaptureSession = false;
  }
  // A source whose camera went away is closed all the same.
  return Lib().Sources.erase(source) ? SDKOk : StatusInvalidHandle;
}

TSDKStatus RegisterEventCallbackFunction(TSDKHandle source, TSDKEventCallback callback, uint32_t context,
                                           TSDKHandle* registration) {
  return OnCamera(source, [&](Camera& camera) {
    if (callback == nullptr) return StatusInvalidFunctionPointer;
    if (registration == nullptr) return StatusInvalidPointer;
    camera.EventCallback = callback;
    camera.EventContext = context;
    *registration = Lib().NewHandle();
    return SDKOk;
  });
}

TSDKStatus EnumDevicePropertyReset(TSDKHandle source, uint32_t option, TSDKHandle* handle) {
  auto lock = LockState();
  if (Lib().Source(source) == nullptr) return Lib().Missing(source);
  if (handle == nullptr) return StatusInvalidPointer;
  *handle = Lib().NewHandle();
  Lib().Enumerations[*handle] = {{std::begin(DeviceProperties), std::end(DeviceProperties)}, 0, 0,
                                 Lib().Sources[source].Camera};
  return SDKOk;
}

TSDKStatus GetDevicePropertyData(TSDKHandle source, uint32_t id, uint32_t* size, void* buffer,
                                   uint32_t option) {
  return OnCamera(source, [&](Camera& camera) {
    if (size == nullptr || buffer == nullptr) return StatusInvalidPointer;
    if (id == SDKPropOwnerName) {
      // The text with its zero, cut to the buffer as the camera does.
      const std::string& owner = camera.Profile.Owner;
      uint32_t n = std::min<uint32_t>(*size, static_cast<uint32_t>(owner.size() + 1));
      std::memcpy(buffer, owner.c_str(), n);
      *size = n;
      return SDKOk;
    }
    if (std::find(std::begin(DeviceProperties), std::end(DeviceProperties), id) == std::end(DeviceProperties))
      return StatusNotSupported;
    if (*size < 4) return StatusInvalidLength;
    WriteValue(buffer, 4, id == SDKPropPowerState ? camera.Profile.PowerState : 0);
    *size = 4;
    return SDKOk;
  });
}

// ---- Release control -----------------------------------------------------------

namespace {
// Release control and capture sessions both send release events to `callback`.
TSDKStatus TakeControl(TSDKHandle source, TSDKEventCallback callback, uint32_t context, bool captureSession) {
  return OnCamera(source, [&](Camera& camera) {
    if (callback == nullptr) return StatusInvalidFunctionPointer;
    (captureSession ? camera.InCaptureSession : camera.InReleaseControl) = true;
    camera.ReleaseCallback = callback;
    camera.ReleaseContext = context;
    return SDKOk;
  });
}
}  // namespace

TSDKStatus EnterReleaseControl(TSDKHandle source, TSDKEventCallback callback, uint32_t context) {
  return TakeControl(source, callback, context, false);
}

TSDKStatus StartCaptureSession(TSDKHandle source, TSDKEventCallback callback, uint32_t context) {
  return TakeControl(source, callback, context, true);
}

TSDKStatus GetReleaseControlFaculty(TSDKHandle source, uint32_t* faculty) {
  return OnCamera(source, [&](Camera& camera) { return PutWord(faculty, camera.Profile.Faculty); });
}

TSDKStatus SelectReleaseDataKind(TSDKHandle source, uint32_t kind) {
  return OnCamera(source, [&](Camera& camera) {
    if (!camera.InReleaseControl && !camera.InCaptureSession) return StatusInvalidFunctionCall;
    if (kind == 0 || kind > 0xF) return StatusInvalidParameter;
    camera.DataKind = kind;
    return SDKOk;
  });
}

TSDKStatus Release(TSDKHandle source, uint32_t option, TSDKProgressCallback progress, uint32_t context,
                   uint32_t progressOption, uint32_t* count) {
  auto lock = LockState();
  Camera* camera = Lib().Source(source);
  if (camera == nullptr) return Lib().Missing(source);
  if (!camera->InReleaseControl) return StatusInvalidFunctionCall;
  if (count == nullptr) return StatusInvalidPointer;
  if (camera->Pending.size() >= PendingLimit) return StatusDeviceMemoryFull;
  bool fromThread = camera->Profile.EventsFromThread;
  TSDKEventCallback callback = camera->ReleaseCallback;
  uint32_t releaseContext = camera->ReleaseContext;
  const ReleasePlan plan = PlanRelease(*camera);
  const uint32_t released = plan.Released;
  lock.unlock();

  if (!fromThread) SendReleaseEvent(callback, releaseContext, SDKReleaseEventReleaseStart, {});
  Report(progress, context);
  std::vector<Picture> ready = Render(plan);
  lock.lock();
  if ((camera = Lib().Source(source)) != nullptr)
    for (Picture& p : ready) camera->Pending.push_back(std::move(p));
  lock.unlock();
  *count = released;
  if (fromThread) {
    Post([=] {
      SendReleaseEvent(callback, releaseContext, SDKReleaseEventReleaseStart, {});
      SendReleaseEvent(callback, releaseContext, SDKReleaseEventReleaseComplete, {released});
    });
  } else {
    SendReleaseEvent(callback, releaseContext, SDKReleaseEventReleaseComplete, {released});
  }
  CountRelease(source);
  return SDKOk;
}

void CountRelease(TSDKHandle source) {
  auto lock = LockState();
  Camera* camera = Lib().Source(source);
  if (camera != nullptr && camera->Plugged.CountRelease(camera->Profile)) Lib().Unplug(*camera);
}

TSDKStatus GetReleasedData(TSDKHandle source, TSDKProgressCallback progress, uint32_t context,
                           uint32_t progressOption, void* info, const TSDKStorageRecord* storage) {
  auto lock = LockState();
  Camera* camera = Lib().Source(source);
  if (camera == nullptr) return Lib().Missing(source);
  if (!ValidStorage(storage)) return StatusInvalidParameter;
  if (camera->Pending.empty()) return StatusInvalidFunctionCall;
  Picture picture = camera->Pending.front();
  std::string fileName = storage->FileName;
  lock.unlock();

  Report(progress, context);
  if (TSDKStatus status = WritePicture(picture, fileName)) return status;
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

TSDKStatus GetMaximumZoomPos(TSDKHandle source, uint32_t* first, uint32_t* second) {
  return OnCamera(source, [&](Camera& camera) {
    return PutPair(first, second, camera.Profile.ZoomMax1, camera.Profile.ZoomMax2);
  });
}

TSDKStatus GetZoomPos(TSDKHandle source, uint32_t* position) {
  return OnCamera(source, [&](Camera& camera) { return PutWord(position, camera.Profile.ZoomPosition); });
}

TSDKStatus SetZoomPos(TSDKHandle source, uint32_t position) {
  return OnCamera(source, [&](Camera& camera) {
    if (position > std::max(camera.Profile.ZoomMax1, camera.Profile.ZoomMax2)) return StatusDeviceInvalidParameter;
    camera.Profile.ZoomPosition = position;
    return SDKOk;
  });
}

// ---- Settings ----------------------------------------------------------------------

TSDKStatus EnumImageFormatAttributeReset(TSDKHandle source, TSDKHandle* handle) {
  return EnumSettingReset(source, "ImageFormat", handle);
}
TSDKStatus EnumImageFormatAttributeNext(TSDKHandle handle, uint16_t* quality, uint16_t* size) {
  auto lock = LockState();
  if (quality == nullptr || size == nullptr) return StatusInvalidPointer;
  uint32_t format = 0;
  if (TSDKStatus status = EnumNextItem(handle, format)) return status;
  return PutPair(quality, size, format >> 16, format & 0xFFFF);
}
TSDKStatus SetImageFormatAttribute(TSDKHandle source, uint32_t quality, uint32_t size) {
  if (quality > 0xFFFF || size > 0xFFFF) return StatusDeviceInvalidParameter;
  return SetCode(source, "ImageFormat", quality << 16 | size);
}
TSDKStatus GetImageFormatAttribute(TSDKHandle source, uint16_t* quality, uint16_t* size) {
  return OnCamera(source, [&](Camera& camera) {
    uint32_t format = camera.Setting("ImageFormat").Current;
    return PutPair(quality, size, format >> 16, format & 0xFFFF);
  });
}


// Flash: a mode and a compensation, each left alone when given as 0xFF.
TSDKStatus SetFlashSetting(TSDKHandle source, uint32_t mode, uint32_t compensation) {
  return OnCamera(source, [&](Camera& camera) {
    if (StillBusy(camera)) return StatusDeviceBusy;
    SettingProfile& modes = camera.Setting("FlashMode");
    SettingProfile& compensations = camera.Setting("FlashCompensation");
    if ((mode != SDKFlashUnchanged && !modes.Accepts(mode)) ||
        (compensation != SDKFlashUnchanged && !compensations.Accepts(compensation)))
      return StatusDeviceInvalidParameter;
    if (mode != SDKFlashUnchanged) modes.Current = mode;
    if (compensation != SDKFlashUnchanged) compensations.Current = compensation;
    return SDKOk;
  });
}
TSDKStatus GetFlashSetting(TSDKHandle source, uint16_t* mode, uint16_t* compensation) {
  return OnCamera(source, [&](Camera& camera) {
    return PutPair(mode, compensation, camera.Setting("FlashMode").Current,
                   camera.Setting("FlashCompensation").Current);
  });
}
TSDKStatus EnumFlashSettingReset(TSDKHandle source, TSDKHandle* handle) {
  return EnumSettingReset(source, "FlashMode", handle);
}
// Release-camera settings: values of 1 or 2 bytes by setting id.
TSDKStatus EnumRelCamSettingDataReset(TSDKHandle source, uint32_t id, TSDKHandle* handle, uint32_t* size) {
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
TSDKStatus EnumRelCamSettingDataNext(TSDKHandle handle, uint32_t size, void* data) {
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
TSDKStatus GetRelCamSettingData(TSDKHandle source, uint32_t id, uint32_t* size, void* data) {
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
TSDKStatus SetRelCamSettingData(TSDKHandle source, uint32_t id, uint32_t size, const void* data) {
  return OnCamera(source, [&](Camera& camera) {
    if (StillBusy(camera)) return StatusDeviceBusy;
    if (data == nullptr) return StatusInvalidPointer;
    const RelCamSetting* setting = FindRelCam(id);
    if (setting == nullptr) return StatusNotSupported;
    if (size != setting->Width) return StatusInvalidLength;
    SettingProfile& profile = camera.Setting(setting->Name);
    uint32_t value = ReadValue(data, size);
    if (!profile.Accepts(value)) return StatusDeviceInvalidParameter;
    profile.Current = value;
    return SDKOk;
  });
}


}  // namespace korv::camsim::source

namespace korv::camsim {
uint32_t OpenHandles() {
  return static_cast<uint32_t>(source::Lib().Sources.size() + source::Lib().Enumerations.size());
}
}  // namespace korv::camsim

using namespace korv;
using namespace korv::camsim;
using namespace korv::camsim::source;

extern "C" {

// ---- Control entries of the CD and RC libraries ------------------------------------------------

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
      if (camera.Open && (camera.InReleaseControl || camera.InCaptureSession)) targets.emplace_back(camera.ReleaseCallback, camera.ReleaseContext);
  }
  for (auto [callback, context] : targets) SendReleaseEvent(callback, context, event, {word0, word1});
  return 0;
}


}  // extern "C"

static_assert(std::is_same_v<decltype(CamSimRaiseCameraEvent), TCamSimRaiseCameraEvent>);
static_assert(std::is_same_v<decltype(CamSimRaiseReleaseEvent), TCamSimRaiseReleaseEvent>);
