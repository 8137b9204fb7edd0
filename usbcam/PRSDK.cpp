// PRSDK.DLL for PowerShot cameras on the USB: the entries of the PR
// library's table over PTP (PRCamera), for the cameras of its source
// (CameraSource.h).
//
// Calls may come from any thread, one at a time (a lock serialises them);
// the event and data callbacks run inside the calls, on the caller's thread,
// and may call the library again.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>

#include "camera/sdkapi/PTPDataset.h"
#include "camera/sdkapi/SDKEntries.h"
#include "runtime/ByteReader.h"
#include "usbcam/PRCamera.h"
#include "usbcam/RecordingTransport.h"
#include "usbcam/CameraSource.h"

#define USBCAM_EXPORT extern "C" __attribute__((visibility("default")))

// Every entry the backend calls, with the type of the entry table: a
// definition with another argument list fails to compile.
#define USBCAM_DECLARE_TYPED(Name, Type) USBCAM_EXPORT korv::Type Name;
#define USBCAM_DECLARE_UNTYPED(Name)
#define USBCAM_DECLARE_DECORATED(Name, Export, Type)
KORV_PR_ENTRIES(USBCAM_DECLARE_TYPED, USBCAM_DECLARE_UNTYPED, USBCAM_DECLARE_DECORATED)

using namespace korv;
using namespace korv::usbcam;

namespace {

// Device record: magic, source (CameraSource.h), bus, port count and
// ports, vendor and product id; the model name at 1024.
constexpr uint32_t RecordMagic = 0x4253554B;  // "KUSB"

struct CameraObject {
  uint8_t Source = UsbCameraSource;
  UsbCameraId Id;
  std::unique_ptr<PRCamera> Camera;
};

struct Library {
  std::recursive_mutex Lock;
  std::map<TSDKHandle, CameraObject> Objects;
  TSDKHandle NextHandle = 1;
};

Library& Lib() {
  static Library library;
  return library;
}

// Leaves a connected camera as it was found.
void Disconnect(CameraObject& object) {
  if (object.Camera) object.Camera->Close();
  object.Camera.reset();
}

std::vector<uint8_t> DeviceRecord(uint8_t source, const UsbCameraId& id, const std::string& model) {
  std::vector<uint8_t> record;
  AppendLittleEndian(record, RecordMagic, 4);
  record.push_back(source);
  record.push_back(id.Bus);
  record.push_back(id.PortCount);
  record.insert(record.end(), std::begin(id.Ports), std::end(id.Ports));
  AppendLittleEndian(record, id.Vendor, 2);
  AppendLittleEndian(record, id.Product, 2);
  record.resize(PRDeviceModelNameOffset);
  // The product texts are ASCII; room for the name and its zero.
  const size_t characters = std::min(model.size(), (PRDeviceRecordSize - PRDeviceModelNameOffset) / 2 - 1);
  for (size_t i = 0; i < characters; ++i) AppendLittleEndian(record, static_cast<uint8_t>(model[i]), 2);
  record.resize(PRDeviceRecordSize);
  return record;
}

CameraObject* Object(TSDKHandle handle) {
  auto found = Lib().Objects.find(handle);
  return found == Lib().Objects.end() ? nullptr : &found->second;
}

// Runs `action` on the connected camera of `handle`.
template <class Action>
TSDKStatus OnCamera(TSDKHandle handle, Action action) {
  std::lock_guard lock(Lib().Lock);
  CameraObject* object = Object(handle);
  if (object == nullptr) return StatusInvalidHandle;
  if (!object->Camera) return 0x2003;  // Session not open
  return action(*object->Camera);
}

// Hands a dataset or value to the caller's buffer of `*size` bytes.
TSDKStatus Deliver(TSDKStatus status, const std::vector<uint8_t>& data, uint32_t needed, uint32_t* size,
                   void* buffer) {
  if (status == StatusInsufficientBuffer) *size = needed;
  if (status != SDKOk) return status;
  if (data.size() > *size) {
    *size = static_cast<uint32_t>(data.size());
    return StatusInsufficientBuffer;
  }
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  *size = static_cast<uint32_t>(data.size());
  return SDKOk;
}

// The owner as the PR backend reads it. Cameras send it as an array of
// 8-bit characters (a 32-bit count, then the bytes): that passes byte for
// byte. A camera that sends a PTP string instead (an 8-bit count, then
// 16-bit characters ending in a zero; no array of 8-bit characters has that
// shape with a first character other than 0) has it turned into a 32-bit
// length and the zero-terminated UTF-8 text.
std::vector<uint8_t> OwnerRecord(const std::vector<uint8_t>& value) {
  const bool ptpString = value.size() >= 5 && value.size() == 1 + 2 * size_t{value[0]} &&
                         (value[1] != 0 || value[2] != 0) && value[value.size() - 1] == 0 &&
                         value[value.size() - 2] == 0;
  if (!ptpString) return value;
  ByteReader reader(value);
  const uint8_t count = reader.U8();
  std::string text;
  for (uint8_t i = 0; i < count; ++i) {
    const uint16_t c = reader.U16();
    if (!reader.Ok() || c == 0) break;
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c >= 0xD800 && c < 0xE000) {
      text += '?';  // surrogates: no owner name needs them
    } else {
      text += static_cast<char>(0xE0 | (c >> 12));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  std::vector<uint8_t> record;
  AppendLittleEndian(record, text.size() + 1, 4);
  record.insert(record.end(), text.begin(), text.end());
  record.push_back(0);
  return record;
}

TSDKStatus Dataset(TSDKHandle handle, uint32_t* size, void* buffer,
                   TSDKStatus (PRCamera::*read)(std::vector<uint8_t>&, uint32_t, uint32_t&)) {
  if (size == nullptr || buffer == nullptr) return StatusInvalidParameter;
  return OnCamera(handle, [&](PRCamera& camera) {
    std::vector<uint8_t> data;
    uint32_t needed = 0;
    const TSDKStatus status = (camera.*read)(data, *size, needed);
    return Deliver(status, data, needed, size, buffer);
  });
}

}  // namespace

// ---- Start, devices, connection ---------------------------------------------

USBCAM_EXPORT TSDKStatus PR_StartSDK() { return SDKOk; }

USBCAM_EXPORT TSDKStatus PR_FinishSDK() {
  std::lock_guard lock(Lib().Lock);
  for (auto& [handle, object] : Lib().Objects) Disconnect(object);
  Lib().Objects.clear();
  return SDKOk;
}

USBCAM_EXPORT TSDKStatus PR_GetDeviceList(uint32_t* size, void* buffer) {
  if (size == nullptr || buffer == nullptr) return StatusInvalidParameter;
  std::lock_guard lock(Lib().Lock);
  std::vector<uint8_t> list(4);
  uint32_t count = 0;
  for (const SourceCamera& camera : ListSourceCameras()) {
    const auto record = DeviceRecord(camera.Source, camera.Id, camera.Model);
    list.insert(list.end(), record.begin(), record.end());
    ++count;
  }
  std::memcpy(list.data(), &count, 4);
  if (*size < list.size()) {
    *size = static_cast<uint32_t>(list.size());
    return StatusInsufficientBuffer;
  }
  std::memcpy(buffer, list.data(), list.size());
  *size = static_cast<uint32_t>(list.size());
  return SDKOk;
}

USBCAM_EXPORT TSDKStatus PR_CreateCameraObject(const void* record, TSDKHandle* handle) {
  if (record == nullptr || handle == nullptr) return StatusInvalidParameter;
  ByteReader reader(record, PRDeviceRecordSize);
  CameraObject object;
  const uint32_t magic = reader.U32();
  object.Source = reader.U8();
  object.Id.Bus = reader.U8();
  object.Id.PortCount = reader.U8();
  for (uint8_t& port : object.Id.Ports) port = reader.U8();
  object.Id.Vendor = reader.U16();
  object.Id.Product = reader.U16();
  if (magic != RecordMagic || object.Source > MaxCameraSource || object.Id.PortCount > std::size(object.Id.Ports))
    return StatusInvalidParameter;
  std::lock_guard lock(Lib().Lock);
  *handle = Lib().NextHandle++;
  Lib().Objects[*handle] = std::move(object);
  return SDKOk;
}

USBCAM_EXPORT TSDKStatus PR_DestroyCameraObject(TSDKHandle handle) {
  std::lock_guard lock(Lib().Lock);
  CameraObject* object = Object(handle);
  if (object == nullptr) return StatusInvalidHandle;
  Disconnect(*object);
  Lib().Objects.erase(handle);
  return SDKOk;
}

USBCAM_EXPORT TSDKStatus PR_ConnectCamera(TSDKHandle handle) {
  std::lock_guard lock(Lib().Lock);
  CameraObject* object = Object(handle);
  if (object == nullptr) return StatusInvalidHandle;
  if (object->Camera) return StatusDeviceBusy;
  TSDKStatus status = SDKOk;
  std::shared_ptr<PTPTransport> transport = OpenSourceCamera(object->Source, object->Id, status);
  if (!transport) return status;
  char cameraName[40];
  std::snprintf(cameraName, sizeof cameraName, "%s camera %04X:%04X",
                object->Source == UsbCameraSource ? "USB" : "scripted",
                object->Id.Vendor, object->Id.Product);
  auto camera = std::make_unique<PRCamera>(RecordIfAsked(transport, cameraName));
  if ((status = camera->Connect()) != SDKOk) return status;
  object->Camera = std::move(camera);
  return SDKOk;
}

USBCAM_EXPORT TSDKStatus PR_DisconnectCamera(TSDKHandle handle) {
  std::lock_guard lock(Lib().Lock);
  CameraObject* object = Object(handle);
  if (object == nullptr) return StatusInvalidHandle;
  Disconnect(*object);
  return SDKOk;
}

USBCAM_EXPORT TSDKStatus PR_SetEventCallBack(TSDKHandle handle, uint32_t context, TPREventCallback callback) {
  if (callback == nullptr) return StatusInvalidParameter;
  return OnCamera(handle, [&](PRCamera& camera) {
    camera.SetEventCallback(callback, context);
    return SDKOk;
  });
}

USBCAM_EXPORT TSDKStatus PR_ClearEventCallBack(TSDKHandle handle) {
  return OnCamera(handle, [&](PRCamera& camera) {
    camera.SetEventCallback(nullptr, 0);
    return SDKOk;
  });
}

// ---- Datasets and properties ----------------------------------------------------

USBCAM_EXPORT TSDKStatus PR_GetDeviceInfo(TSDKHandle handle, uint32_t* size, void* buffer) {
  return Dataset(handle, size, buffer, &PRCamera::GetDeviceInfo);
}

USBCAM_EXPORT TSDKStatus PR_GetDevicePropDesc(TSDKHandle handle, uint32_t code, uint32_t* size, void* buffer) {
  if (size == nullptr || buffer == nullptr || code > 0xFFFF) return StatusInvalidParameter;
  return OnCamera(handle, [&](PRCamera& camera) {
    std::vector<uint8_t> data;
    uint32_t needed = 0;
    const TSDKStatus status = camera.GetPropDesc(static_cast<uint16_t>(code), data, *size, needed);
    return Deliver(status, data, needed, size, buffer);
  });
}

USBCAM_EXPORT TSDKStatus PR_GetDevicePropValue(TSDKHandle handle, uint32_t code, uint32_t* size, void* buffer) {
  if (size == nullptr || buffer == nullptr || code > 0xFFFF) return StatusInvalidParameter;
  return OnCamera(handle, [&](PRCamera& camera) {
    std::vector<uint8_t> data;
    uint32_t needed = 0;
    const bool owner = code == PRPropOwnerName;
    // A PTP string grows on the way (one byte per character, plus five).
    TSDKStatus status = camera.GetPropValue(static_cast<uint16_t>(code), data, owner ? MaxDatasetSize : *size, needed);
    if (status == SDKOk && owner) data = OwnerRecord(data);
    return Deliver(status, data, needed, size, buffer);
  });
}

USBCAM_EXPORT TSDKStatus PR_SetDevicePropValue(TSDKHandle handle, uint32_t code, uint32_t size, const void* data) {
  if ((data == nullptr && size > 0) || code > 0xFFFF || size > MaxDatasetSize) return StatusInvalidParameter;
  return OnCamera(handle, [&](PRCamera& camera) {
    return camera.SetPropValue(static_cast<uint16_t>(code), {static_cast<const uint8_t*>(data), size});
  });
}

// ---- Release control --------------------------------------------------------------

USBCAM_EXPORT TSDKStatus PR_InitiateReleaseControl(TSDKHandle handle) {
  return OnCamera(handle, [](PRCamera& camera) { return camera.InitiateReleaseControl(); });
}

USBCAM_EXPORT TSDKStatus PR_TerminateReleaseControl(TSDKHandle handle) {
  return OnCamera(handle, [](PRCamera& camera) { return camera.TerminateReleaseControl(); });
}

USBCAM_EXPORT TSDKStatus PR_RC_Release(TSDKHandle handle) {
  return OnCamera(handle, [](PRCamera& camera) { return camera.Release(); });
}

USBCAM_EXPORT TSDKStatus PR_RC_GetReleasedData(TSDKHandle handle, uint32_t object, uint32_t eventCode,
                                               uint32_t blockSize, uint32_t context, TPRDataCallback callback) {
  return OnCamera(handle, [&](PRCamera& camera) {
    return camera.GetReleasedData(object, eventCode, blockSize, context, callback);
  });
}

// ---- The library's side for its source ------------------------------------------------

std::recursive_mutex& korv::usbcam::LibraryLock() { return Lib().Lock; }

void korv::usbcam::DropCameraObjects() {
  std::lock_guard lock(Lib().Lock);
  Lib().Objects.clear();
}
