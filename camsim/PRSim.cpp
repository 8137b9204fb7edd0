// PRSDK.DLL stand-in: PowerShot cameras reached over PTP, as the scenario's
// "camera PR" entries describe them. DeviceInfo and the property
// descriptors are built from the scenario; property values are PR codes;
// a release announces its pictures as PTP events and a transfer hands the
// JPEG over in blocks. Other entries answer "Unimplemented" (Defaults.cpp).
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "camera/sdkapi/PRDataBlock.h"
#include "camera/sdkapi/PTPDataset.h"
#include "camsim/Control.h"
#include "camsim/Plugging.h"
#include "camsim/SkyPicture.h"
#include "runtime/ByteReader.h"

#define CAMSIM_TABLE KORV_PR_ENTRIES
#include "camsim/Exports.h"

using namespace korv;
using namespace korv::camsim;

namespace {

// PTP responses and library statuses the simulation answers with.
constexpr TSDKStatus PRStatusCameraGone = 0x0B;  // "Selection unavailable": unplugged
constexpr TSDKStatus PRStatusInvalidHandle = 0x22;
constexpr TSDKStatus PRStatusInvalidFunctionCall = 0x61;
constexpr TSDKStatus PRStatusSessionNotOpen = 0x2003;
constexpr TSDKStatus PRStatusInvalidObjectHandle = 0x2009;
constexpr TSDKStatus PRStatusPropertyNotSupported = 0x200A;
constexpr TSDKStatus PRStatusDeviceBusy = 0x2019;
constexpr TSDKStatus PRStatusInvalidPropertyFormat = 0x201B;
constexpr TSDKStatus PRStatusInvalidPropertyValue = 0x201C;

constexpr uint32_t RecordMagic = 0x4D495350;  // "PSIM" at byte 0 of our device records
// Events DeviceInfo lists: property changed, then the vendor's.
constexpr uint16_t ListedEvents[] = {PREventDevicePropChanged, PREventCameraAlert,    PREventResetHWError,
                                     PREventViewfinderOff,     PREventViewfinderOn,   PREventObjectAdded,
                                     PREventThumbnailAdded,    PREventPowerState,     PREventCamReleaseOn};

// A released picture or thumbnail waiting in the camera for its transfer.
struct ReleasedObject {
  uint32_t EventCode;
  std::string Jpeg;
};

struct Camera {
  CameraProfile Profile;
  bool Connected = false;
  TPREventCallback EventCallback = nullptr;
  uint32_t EventContext = 0;
  bool InReleaseControl = false;
  uint32_t PicturesTaken = 0;
  std::map<uint32_t, ReleasedObject> Objects;  // by object handle
  Plugging Plugged;  // the scenario's "unplug"

  SettingProfile* Property(uint32_t code) {
    auto found = Profile.Properties.find(code);
    return found == Profile.Properties.end() || !found->second.Listable ? nullptr : &found->second;
  }
  uint32_t Current(uint32_t code) {
    const SettingProfile* profile = Property(code);
    return profile == nullptr ? 0 : profile->Current;
  }
};

// A camera object: its camera, as it was plugged when made.
struct CameraObject {
  size_t Camera = 0;
  uint32_t Plug = 0;
};

struct Library {
  std::vector<Camera> Cameras;
  uint32_t Generation = 0;  // device records of an earlier scenario are refused
  std::map<TSDKHandle, CameraObject> CameraObjects;
  TSDKHandle LastHandle = 0x200;

  TSDKHandle NewHandle() { return ++LastHandle; }
  Camera* Object(TSDKHandle handle) {
    auto found = CameraObjects.find(handle);
    return found == CameraObjects.end() ? nullptr : &Cameras[found->second.Camera];
  }
  // Whether the camera of the object is still the one it was made for.
  bool Attached(TSDKHandle handle) {
    auto found = CameraObjects.find(handle);
    return found != CameraObjects.end() && Present(found->second.Camera) &&
           Cameras[found->second.Camera].Plugged.Plug() == found->second.Plug;
  }
  bool Present(size_t index) { return Cameras[index].Plugged.Present(); }
  // A camera that went away with this release: its objects are dead.
  void CountRelease(Camera& camera) {
    if (!camera.Plugged.CountRelease(camera.Profile)) return;
    camera.Connected = camera.InReleaseControl = false;
    camera.EventCallback = nullptr;
    camera.Objects.clear();
  }
};

Library& Lib() {
  static Library library;
  return library;
}

// The camera of a connected camera object, or nullptr with the status to
// answer. Call with the state lock held.
Camera* ConnectedCamera(TSDKHandle handle, TSDKStatus& status) {
  Camera* camera = Lib().Object(handle);
  status = camera == nullptr           ? PRStatusInvalidHandle
           : !Lib().Attached(handle)   ? PRStatusCameraGone
           : !camera->Connected        ? PRStatusSessionNotOpen
                                       : SDKOk;
  return status == SDKOk ? camera : nullptr;
}

// Runs `action` on the camera of a connected camera object, under the state lock.
template <class Action>
TSDKStatus OnConnected(TSDKHandle handle, Action action) {
  auto lock = LockState();
  TSDKStatus status = SDKOk;
  Camera* camera = ConnectedCamera(handle, status);
  return camera == nullptr ? status : action(*camera);
}

// Copies a built dataset or value into the caller's buffer of `*size` bytes.
TSDKStatus Deliver(const std::vector<uint8_t>& bytes, uint32_t* size, void* buffer) {
  if (size == nullptr || buffer == nullptr) return PRStatusInvalidParameter;
  if (*size < bytes.size()) return PRStatusInsufficientBuffer;
  std::memcpy(buffer, bytes.data(), bytes.size());
  *size = static_cast<uint32_t>(bytes.size());
  return SDKOk;
}

std::vector<uint8_t> LittleEndian(uint32_t value, size_t width) {
  std::vector<uint8_t> bytes;
  AppendLittleEndian(bytes, value, width);
  return bytes;
}

// One past the last optical zoom position: the scenario's own value, else
// from the "zoom" line (none when the whole range is optical).
uint32_t OpticalZoomEnd(Camera& camera) {
  if (uint32_t set = camera.Current(PRPropOpticalZoomEnd)) return set;
  const CameraProfile& profile = camera.Profile;
  return profile.ZoomMax2 >= profile.ZoomMax1 ? PRNoOpticalZoomEnd : profile.ZoomMax2 + 1;
}

uint32_t CurrentValue(Camera& camera, uint32_t code) {
  switch (code) {
    case PRPropZoomPosition: return camera.Profile.ZoomPosition;
    case PRPropOpticalZoomEnd: return OpticalZoomEnd(camera);
    default: return camera.Current(code);
  }
}

std::vector<uint8_t> PropDesc(Camera& camera, uint32_t code) {
  const size_t width = PRPropertyWidth(static_cast<uint16_t>(code));
  PTPPropDescProfile desc;
  desc.Code = static_cast<uint16_t>(code);
  desc.Width = width;
  const bool signedByte = code == PRPropContrast || code == PRPropColorSaturation || code == PRPropSharpness ||
                          code == PRPropExposureCompensation || code == PRPropFlashCompensation;
  desc.DataType = width == 2 ? PTPTypeUInt16 : signedByte ? PTPTypeInt8 : PTPTypeUInt8;
  desc.Current = desc.FactoryDefault = CurrentValue(camera, code);
  if (code == PRPropZoomPosition) {
    desc.Form = PTPFormRange;
    desc.Maximum = camera.Profile.ZoomMax1;
  } else if (code == PRPropOpticalZoomEnd) {
    desc.Settable = false;
    desc.Form = PTPFormNone;
  } else {
    desc.Values = camera.Property(code)->Codes;
  }
  return BuildPropDesc(desc);
}

// The owner property: a 32-bit length, then the text with its zero.
std::vector<uint8_t> OwnerValue(const std::string& owner) {
  std::vector<uint8_t> bytes = LittleEndian(static_cast<uint32_t>(owner.size() + 1), 4);
  bytes.insert(bytes.end(), owner.begin(), owner.end());
  bytes.push_back(0);
  return bytes;
}

// UTF-8 to the UTF-16 of the device record (characters beyond 16 bits are
// left out: model names don't have them).
std::u16string Utf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<uint8_t>(text[i]);
    const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    uint32_t code = length == 1 ? c : c & (0xFF >> (length + 1));
    for (size_t k = 1; k < length && i + k < text.size(); ++k) code = code << 6 | (text[i + k] & 0x3F);
    if (code < 0x10000) out += static_cast<char16_t>(code);
    i += length;
  }
  return out;
}

// ---- Pictures ----------------------------------------------------------------------

struct PixelSize {
  uint32_t Code, Width, Height;
};
constexpr PixelSize PixelSizes[] = {{0, 2592, 1944}, {1, 1600, 1200}, {2, 640, 480}, {3, 1280, 960}, {7, 1024, 768}};
constexpr int JpegQualities[] = {0, 45, 70, 85, 97, 92};  // by quality code 1-5
constexpr int LosslessJpegQuality = 97;

SkyShot ShotOf(Camera& camera, bool thumbnail) {
  SkyShot shot;
  for (const auto& p : PixelSizes)
    if (p.Code == camera.Current(PRPropImageSize))
      shot.Width = static_cast<int>(p.Width), shot.Height = static_cast<int>(p.Height);
  if (thumbnail) shot.Width = 160, shot.Height = 120;
  const uint32_t quality = camera.Current(PRPropQuality);
  shot.JpegQuality = camera.Current(PRPropFileFormat) == 2           ? LosslessJpegQuality
                     : quality >= 1 && quality <= 5 ? JpegQualities[quality]
                                                    : 75;
  Expose(shot, camera.Profile,
         {camera.Current(PRPropShootingMode) == 0, camera.Current(PRPropAv), camera.Current(PRPropTv),
          camera.Current(PRPropISO), camera.Current(PRPropExposureCompensation)},
         camera.PicturesTaken);
  return shot;
}

// A 412-byte event record: length, container type, code at 6, transaction,
// object handle at 12, parameter at 16.
std::vector<uint8_t> EventRecord(uint32_t code, uint32_t objectHandle, uint32_t parameter) {
  std::vector<uint8_t> record(PREventRecordSize);
  auto put = [&](size_t at, uint32_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) record[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  put(0, 20, 4);
  put(4, 4, 2);  // event container
  put(PREventCodeOffset, code, 2);
  put(PREventObjectHandleOffset, objectHandle, 4);
  put(PREventParameterOffset, parameter, 4);
  return record;
}

void SendEvents(TPREventCallback callback, uint32_t context, const std::vector<std::vector<uint8_t>>& records) {
  if (callback == nullptr) return;
  for (const auto& record : records) callback(0, context, record.data());
}

}  // namespace

namespace korv::camsim {

const char* const LibraryTag = "PR";

void ResetLibraryState(const Scenario& scenario) {
  Library& lib = Lib();
  lib.Cameras.clear();
  for (const CameraProfile& profile : scenario.PR) lib.Cameras.emplace_back().Profile = profile;
  lib.CameraObjects.clear();
  ++lib.Generation;
}

uint32_t OpenHandles() { return static_cast<uint32_t>(Lib().CameraObjects.size()); }

}  // namespace korv::camsim

extern "C" {

// ---- Start, devices, connection ---------------------------------------------------

TSDKStatus PR_StartSDK() {
  CAMSIM_ENTER();
  return SDKOk;
}

TSDKStatus PR_GetDeviceList(uint32_t* size, void* buffer) {
  CAMSIM_ENTER(size, buffer);
  auto lock = LockState();
  const auto& cameras = Lib().Cameras;
  std::vector<uint8_t> list = LittleEndian(0, 4);
  uint32_t count = 0;
  for (uint32_t index = 0; index < cameras.size(); ++index) {
    if (!Lib().Present(index)) continue;
    ++count;
    const size_t at = list.size();
    list.resize(at + PRDeviceRecordSize);
    uint8_t* record = list.data() + at;
    std::memcpy(record, LittleEndian(RecordMagic, 4).data(), 4);
    std::memcpy(record + 4, LittleEndian(index, 4).data(), 4);
    std::memcpy(record + 8, LittleEndian(Lib().Generation, 4).data(), 4);
    std::memcpy(record + 12, LittleEndian(cameras[index].Plugged.Plug(), 4).data(), 4);
    const std::u16string model = Utf16(cameras[index].Profile.Model);
    const size_t units = std::min(model.size(), (PRDeviceRecordSize - PRDeviceModelNameOffset) / 2 - 1);
    for (size_t i = 0; i < units; ++i)
      std::memcpy(record + PRDeviceModelNameOffset + 2 * i, LittleEndian(model[i], 2).data(), 2);
  }
  std::memcpy(list.data(), LittleEndian(count, 4).data(), 4);
  return Deliver(list, size, buffer);
}

TSDKStatus PR_CreateCameraObject(const void* record, TSDKHandle* handle) {
  CAMSIM_ENTER(record, handle);
  auto lock = LockState();
  if (record == nullptr || handle == nullptr) return PRStatusInvalidParameter;
  ByteReader reader(record, PRDeviceRecordSize);
  const uint32_t magic = reader.U32(), index = reader.U32(), generation = reader.U32(), plug = reader.U32();
  if (magic != RecordMagic || generation != Lib().Generation || index >= Lib().Cameras.size())
    return PRStatusInvalidParameter;
  if (!Lib().Present(index) || plug != Lib().Cameras[index].Plugged.Plug()) return PRStatusCameraGone;
  *handle = Lib().NewHandle();
  Lib().CameraObjects[*handle] = {index, plug};
  return SDKOk;
}

TSDKStatus PR_ConnectCamera(TSDKHandle handle) {
  CAMSIM_ENTER(handle);
  auto lock = LockState();
  Camera* camera = Lib().Object(handle);
  if (camera == nullptr) return PRStatusInvalidHandle;
  if (!Lib().Attached(handle)) return PRStatusCameraGone;
  if (camera->Connected) return PRStatusDeviceBusy;
  camera->Connected = true;
  return SDKOk;
}

TSDKStatus PR_DisconnectCamera(TSDKHandle handle) {
  CAMSIM_ENTER(handle);
  return OnConnected(handle, [&](Camera& camera) {
    camera.Connected = camera.InReleaseControl = false;
    camera.EventCallback = nullptr;
    return SDKOk;
  });
}

TSDKStatus PR_DestroyCameraObject(TSDKHandle handle) {
  CAMSIM_ENTER(handle);
  auto lock = LockState();
  return Lib().CameraObjects.erase(handle) ? SDKOk : PRStatusInvalidHandle;
}

TSDKStatus PR_SetEventCallBack(TSDKHandle handle, uint32_t context, TPREventCallback callback) {
  CAMSIM_ENTER(handle, context, callback);
  return OnConnected(handle, [&](Camera& camera) {
    if (callback == nullptr) return PRStatusInvalidParameter;
    camera.EventCallback = callback;
    camera.EventContext = context;
    return SDKOk;
  });
}

// ---- Datasets and properties ---------------------------------------------------------

TSDKStatus PR_GetDeviceInfo(TSDKHandle handle, uint32_t* size, void* buffer) {
  CAMSIM_ENTER(handle, size, buffer);
  return OnConnected(handle, [&](Camera& camera) {
    PTPDeviceInfo info;
    for (uint32_t code : camera.Profile.Operations) info.Operations.push_back(static_cast<uint16_t>(code));
    info.Events.assign(std::begin(ListedEvents), std::end(ListedEvents));
    info.DeviceProperties = {PRPropBatteryKind, PRPropBatteryLevel, PRPropOwnerName};
    for (const auto& [code, profile] : camera.Profile.Properties)
      if (profile.Listable) info.DeviceProperties.push_back(static_cast<uint16_t>(code));
    return Deliver(BuildDeviceInfo(info), size, buffer);
  });
}

TSDKStatus PR_GetDevicePropDesc(TSDKHandle handle, uint32_t code, uint32_t* size, void* buffer) {
  CAMSIM_ENTER(handle, code, size, buffer);
  return OnConnected(handle, [&](Camera& camera) {
    if (camera.Property(code) == nullptr) return PRStatusPropertyNotSupported;
    return Deliver(PropDesc(camera, code), size, buffer);
  });
}

TSDKStatus PR_GetDevicePropValue(TSDKHandle handle, uint32_t code, uint32_t* size, void* buffer) {
  CAMSIM_ENTER(handle, code, size, buffer);
  return OnConnected(handle, [&](Camera& camera) {
    const size_t width = PRPropertyWidth(static_cast<uint16_t>(code));
    switch (code) {
      case PRPropOwnerName: return Deliver(OwnerValue(camera.Profile.Owner), size, buffer);
      case PRPropBatteryKind: return Deliver(LittleEndian(camera.Profile.BatteryKind, width), size, buffer);
      case PRPropBatteryLevel: return Deliver(LittleEndian(camera.Profile.BatteryLevel, width), size, buffer);
      default:
        if (camera.Property(code) == nullptr) return PRStatusPropertyNotSupported;
        return Deliver(LittleEndian(CurrentValue(camera, code), width), size, buffer);
    }
  });
}

TSDKStatus PR_SetDevicePropValue(TSDKHandle handle, uint32_t code, uint32_t size, const void* data) {
  CAMSIM_ENTER(handle, code, size, data);
  return OnConnected(handle, [&](Camera& camera) {
    if (data == nullptr) return PRStatusInvalidParameter;
    SettingProfile* profile = camera.Property(code);
    if (profile == nullptr || code == PRPropOpticalZoomEnd) return PRStatusPropertyNotSupported;
    if (size != PRPropertyWidth(static_cast<uint16_t>(code))) return PRStatusInvalidPropertyFormat;
    const auto value = static_cast<uint32_t>(ByteReader(data, size).Unsigned(size));
    if (code == PRPropZoomPosition) {
      if (value > camera.Profile.ZoomMax1) return PRStatusInvalidPropertyValue;
      camera.Profile.ZoomPosition = value;
      return SDKOk;
    }
    if (!profile->Accepts(value)) return PRStatusInvalidPropertyValue;
    profile->Current = value;
    return SDKOk;
  });
}

// ---- Release control ---------------------------------------------------------------

TSDKStatus PR_InitiateReleaseControl(TSDKHandle handle) {
  CAMSIM_ENTER(handle);
  return OnConnected(handle, [&](Camera& camera) {
    camera.InReleaseControl = true;
    return SDKOk;
  });
}

// Shoots one picture per release event of the scenario (a thumbnail for
// 0xC009) and announces each with its object handle, inside the call or,
// with "events thread", after it from the library's thread. Pictures kept
// on the card only are not announced.
TSDKStatus PR_RC_Release(TSDKHandle handle) {
  CAMSIM_ENTER(handle);
  auto lock = LockState();
  TSDKStatus status = SDKOk;
  Camera* camera = ConnectedCamera(handle, status);
  if (camera == nullptr) return status;
  if (!camera->InReleaseControl) return PRStatusInvalidFunctionCall;
  ++camera->PicturesTaken;
  const bool toComputer = (camera->Current(PRPropCaptureTransferMode) & 3) != 0;
  std::vector<std::vector<uint8_t>> records;
  for (uint32_t code : camera->Profile.ReleaseEvents) {
    if (!toComputer) break;
    const uint32_t object = Lib().NewHandle();
    camera->Objects[object] = {code, RenderSkyJpeg(ShotOf(*camera, code == PREventThumbnailAdded))};
    records.push_back(EventRecord(code, object, 0));
  }
  const TPREventCallback callback = camera->EventCallback;
  const uint32_t context = camera->EventContext;
  const bool fromThread = camera->Profile.EventsFromThread;
  lock.unlock();
  if (fromThread) Post([=] { SendEvents(callback, context, records); });
  else SendEvents(callback, context, records);
  lock.lock();
  if ((camera = ConnectedCamera(handle, status)) != nullptr) Lib().CountRelease(*camera);
  return SDKOk;
}

TSDKStatus PR_RC_GetReleasedData(TSDKHandle handle, uint32_t object, uint32_t eventCode, uint32_t blockSize,
                                 uint32_t context, TPRDataCallback callback) {
  CAMSIM_ENTER(handle, object, eventCode, blockSize, context, callback);
  auto lock = LockState();
  TSDKStatus status = SDKOk;
  Camera* camera = ConnectedCamera(handle, status);
  if (camera == nullptr) return status;
  if (callback == nullptr || blockSize == 0) return PRStatusInvalidParameter;
  auto found = camera->Objects.find(object);
  if (found == camera->Objects.end() || found->second.EventCode != eventCode) return PRStatusInvalidObjectHandle;
  const std::string jpeg = found->second.Jpeg;
  lock.unlock();

  // Blocks of at most the asked size (and never more than the library's
  // own), then a last call without data.
  const size_t block = std::min<size_t>(blockSize, PRTransferBlockSize);
  uint8_t record[PRDataBlockSize] = {};
  auto deliver = [&](size_t sent, const char* chunk, size_t length) {
    const auto percent = static_cast<uint32_t>(jpeg.empty() ? 100 : sent * 100 / jpeg.size());
    WritePRDataBlock(record, {percent, static_cast<uint32_t>(length), chunk});
    callback(0, 0, context, record);
  };
  for (size_t sent = 0; sent < jpeg.size();) {
    const size_t length = std::min(block, jpeg.size() - sent);
    deliver(sent + length, jpeg.data() + sent, length);
    sent += length;
  }
  deliver(jpeg.size(), nullptr, 0);
  // Only a picture handed over whole leaves the camera.
  lock.lock();
  if ((camera = ConnectedCamera(handle, status)) != nullptr) camera->Objects.erase(object);
  return SDKOk;
}

// ---- Control entries of this library ---------------------------------------------

CAMSIM_EXPORT uint32_t CamSimRaisePREvent(uint32_t code, uint32_t parameter) {
  std::vector<std::pair<TPREventCallback, uint32_t>> targets;
  {
    auto lock = LockState();
    for (const Camera& camera : Lib().Cameras)
      if (camera.Connected && camera.EventCallback) targets.emplace_back(camera.EventCallback, camera.EventContext);
  }
  const auto record = EventRecord(code, 0, parameter);
  for (auto [callback, context] : targets) callback(0, context, record.data());
  return 0;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(CamSimRaisePREvent), TCamSimRaisePREvent>);
