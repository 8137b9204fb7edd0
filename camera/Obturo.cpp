#include "camera/Obturo.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <tuple>
#include <optional>

#include "camera/sdk/CamErrors.h"
#include "camera/sdk/TCDSDK.h"
#include "camera/sdk/TPRSDK.h"
#include "camera/sdk/TRCSDK.h"
#include "camera/sdkapi/PRDataBlock.h"
#include "runtime/ByteReader.h"
#include "runtime/Clock.h"
#include "runtime/Convert.h"
#include "runtime/Exception.h"
#include "runtime/ProgramDir.h"
#include "runtime/ScopeExit.h"

namespace korv {

namespace {

// A registered component and the callbacks running on it.
struct RegistrySlot {
  TObturo* Component;  // nullptr once its destruction has begun
  int Running = 0;
};

// Shared by every instance. The registry is reached from library callbacks,
// possibly on another thread, and has its own lock; the device and name
// lists are read and changed by the operations under the lists lock (a
// handler may enumerate from inside an operation, hence recursive).
struct ProcessLists {
  std::mutex RegistryLock;
  std::condition_variable CallbackEnded;
  std::map<uint32_t, RegistrySlot> Registry;
  uint32_t NextIndex = 0;  // indices are never given twice
  std::recursive_mutex ListsLock;
  std::unique_ptr<std::vector<CDSourceRecord>> CDDevices;
  std::unique_ptr<std::vector<PRDeviceRecord>> PRDevices;
  std::unique_ptr<std::vector<CDSourceRecord>> EOSDevices;
  std::unique_ptr<std::vector<std::string>> PowerShotNames;
  std::unique_ptr<std::vector<std::string>> EOSNames;
  bool SDKsStarted = false;
  std::atomic_flag ConnectBusy;
  std::atomic_flag DestroyBusy;
};

ProcessLists& Lists() {
  static ProcessLists lists;
  return lists;
}

template <typename T>
T& CreatedOnNeed(std::unique_ptr<T>& list) {
  if (!list) list = std::make_unique<T>();
  return *list;
}

// Serialises Connect (or destruction) across instances: waits in steps of
// 50 ms for the flag, holds it for the scope, clears it whatever happens.
class BusyFlag {
public:
  explicit BusyFlag(std::atomic_flag& flag) : Flag(flag) {
    while (Flag.test_and_set(std::memory_order_acquire)) Sleep(50);
  }
  ~BusyFlag() { Flag.clear(std::memory_order_release); }
  BusyFlag(const BusyFlag&) = delete;
  BusyFlag& operator=(const BusyFlag&) = delete;

private:
  std::atomic_flag& Flag;
};

// Component operations in progress on this thread. A library that calls back
// inside one of them lets a callback's exception travel back through the
// library to the operation's caller; on a thread of the library's own there
// is no caller to raise to.
thread_local int OperationsInProgress = 0;
// Registry indices of the components whose callbacks run on this thread,
// innermost last; a component destroyed from inside its own callback does
// not wait for that one.
thread_local std::vector<uint32_t> CallbacksOnThisThread;

class InOperation {
public:
  InOperation() { ++OperationsInProgress; }
  ~InOperation() { --OperationsInProgress; }
  InOperation(const InOperation&) = delete;
  InOperation& operator=(const InOperation&) = delete;
};

constexpr int ProgressPause = 10;  // ms after each progress report, the libraries' only pacing

// 32-bit words of a release event's data; a missing pointer reads as zeros.
uint32_t EventWord(const void* data, int index) {
  if (!data) return 0;
  uint32_t word;
  std::memcpy(&word, static_cast<const uint8_t*>(data) + index * 4, sizeof word);
  return word;
}

// ---- What the libraries' event codes become ---------------------------------
// Each table maps a code to what the component raises. A code a table does
// not list reads as 0, or raises nothing where the handler below says so.

template <typename Entry, size_t N>
constexpr const Entry* Find(const Entry (&table)[N], uint32_t code) {
  for (const Entry& entry : table)
    if (entry.Code == code) return &entry;
  return nullptr;
}

struct CodeToByte {
  uint32_t Code;
  uint8_t Value;
};
template <size_t N>
constexpr uint8_t Lookup(const CodeToByte (&table)[N], uint32_t code) {
  const CodeToByte* entry = Find(table, code);
  return entry ? entry->Value : 0;
}

// CD/RC camera events: severity from bits 16-19 of the id.
constexpr CodeToByte CameraEventSeverities[] = {{0x0, 1}, {0x2, 2}, {0x4, 3}};
// EventKind from the low 16 bits (power state and the text property apart).
constexpr CodeToByte CameraEventKinds[] = {{2, 5}, {3, 6}, {4, 7}, {6, 9}, {7, 10}, {11, 11}, {13, 8}};
// EventKind of a power-state event from the low 4 bits of its word: the
// codes of BatteryLevel, plus 2 -> 4.
constexpr CodeToByte PowerStateKinds[] = {{6, 1}, {4, 2}, {3, 3}, {2, 4}};

// CD/RC release events raised as they come, without data.
struct ReleaseEventEntry {
  uint32_t Code;
  RemoteEventCallbackType Event;
};
constexpr ReleaseEventEntry PlainReleaseEvents[] = {
    {SDKReleaseEventResetHWError, RemoteEventCallbackResetHWError},
    {SDKReleaseEventChangedByUI, RemoteEventCallbackChangedByUI},
    {SDKReleaseEventReleaseStart, RemoteEventCallbackReleaseStart},
    {SDKReleaseEventCamReleaseOn, RemoteEventCallbackCamReleaseOn},
    {SDKReleaseEventViewfinderOff, RemoteEventCallbackViewfinderOff},
    {SDKReleaseEventViewfinderOn, RemoteEventCallbackViewfinderOn},
};

// PictureType of release event 34 by the library's picture type.
constexpr CodeToByte PictureTypes[] = {{SDKPictureTypeThumbnail, 1}, {SDKPictureTypePicture, 2}};

// PR events that raise OnEvent: (severity, kind); the power-state event by
// its parameter.
struct PROnEventEntry {
  uint32_t Code;
  EventCallbackType Event;
};
constexpr PROnEventEntry PROnEvents[] = {{PREventCameraAlert, {3, 6}}, {PREventDeviceAlert, {3, 8}}};
constexpr PROnEventEntry PRPowerStates[] = {{1, {1, 1}}, {2, {2, 2}}, {3, {2, 3}}, {4, {3, 4}}};

// PR events that raise OnRemoteEvent, and whether the record is kept for
// GetReleasedPicture (a kept thumbnail raises nothing).
struct PRRemoteEventEntry {
  uint32_t Code;
  std::optional<RemoteEventCallbackType> Event;
  bool Keep = false;
};
constexpr PRRemoteEventEntry PRRemoteEvents[] = {
    {PREventDevicePropChanged, RemoteEventCallbackChangedByUI},
    {PREventUIChanged, RemoteEventCallbackChangedByUI},
    {PREventUIModeChanged, RemoteEventCallbackChangedByUI},
    {PREventResetHWError, RemoteEventCallbackResetHWError},
    {PREventViewfinderOff, RemoteEventCallbackViewfinderOff},
    {PREventViewfinderOn, RemoteEventCallbackViewfinderOn},
    {PREventObjectAdded, RemoteEventCallbackReleaseComplete, true},
    {PREventThumbnailAdded, std::nullopt, true},
    {PREventCamReleaseOn, RemoteEventCallbackCamReleaseOn},
};

}  // namespace

std::vector<CDSourceRecord>& CDDeviceList() { return CreatedOnNeed(Lists().CDDevices); }
std::vector<PRDeviceRecord>& PRDeviceList() { return CreatedOnNeed(Lists().PRDevices); }
std::vector<CDSourceRecord>& EOSDeviceList() { return CreatedOnNeed(Lists().EOSDevices); }

TObturo::TObturo()
    : FCDSDK(std::make_unique<TCDSDK>()), FPRSDK(std::make_unique<TPRSDK>()), FRCSDK(std::make_unique<TRCSDK>()) {
  auto& lists = Lists();
  {
    std::lock_guard lock(lists.ListsLock);
    CDDeviceList();
    PRDeviceList();
    EOSDeviceList();
  }
  {
    std::lock_guard lock(lists.RegistryLock);
    FRegistryIndex = static_cast<int32_t>(lists.NextIndex++);
    lists.Registry[Context()] = {this};
  }
  TProbeProgress progress = [index = Context()](int32_t percent) { ReportProbeProgress(index, percent); };
  FCDSDK->ProbeProgress = progress;
  FPRSDK->ProbeProgress = progress;
  FRCSDK->ProbeProgress = progress;
}

TObturo::~TObturo() {
  auto& lists = Lists();
  BusyFlag busy(lists.DestroyBusy);
  bool last = false;
  {
    std::unique_lock lock(lists.RegistryLock);
    auto slot = lists.Registry.find(Context());
    // No callback starts on this component any more; those running finish
    // first (except one that destroys it from inside itself).
    slot->second.Component = nullptr;
    const auto ownCallbacks = std::count(CallbacksOnThisThread.begin(), CallbacksOnThisThread.end(), Context());
    lists.CallbackEnded.wait(lock, [&] { return slot->second.Running <= ownCallbacks; });
    lists.Registry.erase(slot);
    last = lists.Registry.empty();
  }
  if (last) {
    std::lock_guard lock(lists.ListsLock);
    lists.CDDevices.reset();
    lists.PRDevices.reset();
    lists.EOSDevices.reset();
    lists.PowerShotNames.reset();
    lists.EOSNames.reset();
  }
  ClosePictureStream();
}

TObturo* TObturo::FromRegistry(uint32_t index) {
  auto& lists = Lists();
  std::lock_guard lock(lists.RegistryLock);
  auto slot = lists.Registry.find(index);
  return slot == lists.Registry.end() ? nullptr : slot->second.Component;
}

void TObturo::ReportProbeProgress(uint32_t index, int32_t PercentageDone) {
  Deliver(index, [&](TObturo& component) { component.OnRemoteProbeParamEvent(PercentageDone); });
}

void TObturo::StartSDK() {
  auto& lists = Lists();
  std::lock_guard lock(lists.ListsLock);
  if (lists.SDKsStarted) return;
  CreatedOnNeed(lists.PowerShotNames);
  CreatedOnNeed(lists.EOSNames);
  FCDSDK->StartSDK();
  FPRSDK->StartSDK();
  FRCSDK->StartSDK();
  lists.SDKsStarted = true;
}

TCameraLists TObturo::EnumerateCameras() {
  StartSDK();
  auto& lists = Lists();
  std::lock_guard lock(lists.ListsLock);
  // The lists go with the last instance, while the libraries stay started.
  auto& powerShotNames = CreatedOnNeed(lists.PowerShotNames);
  auto& eosNames = CreatedOnNeed(lists.EOSNames);
  // A library failing part-way leaves every list as the last whole
  // enumeration made it.
  auto saved = std::make_tuple(powerShotNames, eosNames, CDDeviceList(), PRDeviceList(), EOSDeviceList());
  auto restore = ScopeExit([&] {
    powerShotNames.swap(std::get<0>(saved));
    eosNames.swap(std::get<1>(saved));
    CDDeviceList().swap(std::get<2>(saved));
    PRDeviceList().swap(std::get<3>(saved));
    EOSDeviceList().swap(std::get<4>(saved));
  });
  powerShotNames.clear();
  eosNames.clear();
  FCDSDK->EnumerateCameras(powerShotNames);
  FPRSDK->EnumerateCameras(powerShotNames);
  FRCSDK->EnumerateCameras(eosNames);
  restore.Release();
  return {&powerShotNames, &eosNames};
}

// The backend is chosen here once: a later enumeration that changes the
// device lists can't move the camera to another one. Nothing changes when
// the backend fails (it closes what it opened), so Connect may be tried again.
ConnectInfoType TObturo::Connect(CameraKind Kind, int32_t ConnectToCamera) {
  BusyFlag busy(Lists().ConnectBusy);
  InOperation operation;
  if (FConnectInfo.Kind != CameraKindNone) throw ECamException("Camera already connected.");
  std::lock_guard lock(Lists().ListsLock);
  ConnectInfoType info;
  Backend backend = Backend::None;
  if (Kind == CameraKindPowerShot && ConnectToCamera < static_cast<int64_t>(CDDeviceList().size())) {
    FCDSDK->Connect(ConnectToCamera, CameraEventCallback, Context(), info);
    backend = Backend::CD;
  } else if (Kind == CameraKindPowerShot) {
    FPRSDK->Connect(PREventCallback, ConnectToCamera, Context(), info);
    backend = Backend::PR;
  } else if (Kind == CameraKindEOS) {
    FRCSDK->Connect(ConnectToCamera, CameraEventCallback, Context(), info);
    backend = Backend::RC;
  } else {
    return FConnectInfo;
  }
  FCameraNumber = ConnectToCamera;
  FConnectInfo = info;
  FBackend = backend;
  return FConnectInfo;
}

void TObturo::ForgetCamera() {
  // The library holds nothing more for the camera that is gone.
  if (Serving() == Backend::CD) FCDSDK->CloseSource();
  if (Serving() == Backend::RC) FRCSDK->CloseSource();
  FBackend = Backend::None;
  FConnectInfo = {};
  FRemoteMode = false;
  std::lock_guard lock(FPendingLock);
  FPendingReleases.clear();
}

void TObturo::CheckConnected() const {
  if (FConnectInfo.Kind == CameraKindNone) throw ECamException("No camera is connected");
}

void TObturo::CheckRemoteAndConnected() const {
  if (!FRemoteMode) throw ECamException("Camera not in remote mode");
  CheckConnected();
}

template <typename Operation>
void TObturo::Forward(Operation operation) {
  InOperation inOperation;
  try {
    operation();
  } catch (const ECamException& e) {
    // What each library answers for a camera that was unplugged.
    const Backend backend = Serving();
    const uint32_t gone = backend == Backend::PR ? PRStatusCameraGone : SDKStatusDeviceNotFound;
    if ((e.Status() & 0xFFFF) == gone) ForgetCamera();
    throw;
  }
}

// Runs `operation` on the backend that serves the connected camera; nothing
// when none does.
template <typename Operation>
void TObturo::OnServingBackend(Operation operation) {
  Forward([&] {
    switch (Serving()) {
      case Backend::CD: operation(*FCDSDK); break;
      case Backend::PR: operation(*FPRSDK); break;
      case Backend::RC: operation(*FRCSDK); break;
      case Backend::None: break;
    }
  });
}

bool TObturo::IsRemoteCapable() {
  CheckConnected();
  bool capable = false;
  OnServingBackend([&](auto& backend) { capable = backend.IsRemoteCapable(); });
  return capable;
}

TRemoteCapabilities TObturo::EnterRemoteMode(ReleaseModeType Mode, ReleaseDataKindType DataKind,
                                             bool ProbeParameters) {
  FReleaseDataKind = DataKind;
  FReleaseMode = Mode;
  CheckConnected();
  TRemoteCapabilities caps{};
  if (Serving() == Backend::None) return caps;
  OnServingBackend([&](auto& backend) {
    backend.EnterRemoteMode(Mode, DataKind, caps, Context(), ReleaseEventCallback, ProbeParameters);
  });
  FRemoteMode = true;
  return caps;
}

uint32_t TObturo::TakePicture() {
  CheckRemoteAndConnected();
  uint32_t result = 0;
  OnServingBackend([&](auto& backend) { result = backend.TakePicture(TakePictureProgressCallback, Context()); });
  return result;
}

void TObturo::GetReleasedPicture(const std::string& FileName) {
  CheckRemoteAndConnected();
  Forward([&] {
    switch (Serving()) {
      case Backend::CD: FCDSDK->GetReleasedPicture(FileName, GetPictureProgressCallback, Context()); break;
      case Backend::RC: FRCSDK->GetReleasedPicture(FileName, GetPictureProgressCallback, Context()); break;
      case Backend::PR: GetReleasedPRPicture(FileName); break;
      case Backend::None: break;
    }
  });
}

// The PR library hands the picture to the data callback, which writes it into
// the picture stream; the oldest kept release event names the picture.
void TObturo::GetReleasedPRPicture(const std::string& FileName) {
  PREventRecord record;
  {
    // Without a picture to fetch the file is not touched.
    std::lock_guard lock(FPendingLock);
    if (FPendingReleases.empty()) throw EListError("List index out of bounds (0)");
    record = FPendingReleases.front();
  }
  // Truncated, so that a shorter picture never keeps the tail of an older file.
  ClosePictureStream();
  FPictureStream.open(FileName, std::ios::binary | std::ios::trunc);
  if (!FPictureStream) throw EFOpenError("Cannot create file \"" + FileName + "\"");
  FPictureFileName = FileName;
  // The transfer has ended with the call; never leave the file open.
  auto close = ScopeExit([&] { ClosePictureStream(); });
  FPRSDK->GetReleasedPicture(record, PRDataCallback, Context());
  // A tail the disk did not take makes a failed transfer, not a short picture.
  if (!ClosePictureStream()) throw EInOutError("Could not write the picture into \"" + FileName + "\"");
  std::lock_guard lock(FPendingLock);
  FPendingReleases.pop_front();
}

TCameraSettings TObturo::GetCameraSettings() {
  CheckRemoteAndConnected();
  TCameraSettings settings;
  OnServingBackend([&](auto& backend) { backend.GetCameraSettings(settings); });
  return settings;
}

void TObturo::SetCameraSettings(TCameraSettings Settings) {
  CheckRemoteAndConnected();
  OnServingBackend([&](auto& backend) { backend.SetCameraSettings(Settings); });
}

TZoomInfo TObturo::GetZoomInfo() {
  CheckRemoteAndConnected();
  TZoomInfo zoom;
  OnServingBackend([&](auto& backend) { backend.GetZoomInfo(zoom); });
  return zoom;
}

void TObturo::SetZoom(uint32_t Position) {
  CheckRemoteAndConnected();
  OnServingBackend([&](auto& backend) { backend.SetZoom(Position); });
}

std::string TObturo::GetDevicePropertyText() {
  // Also reached from a library thread: the backend tells, not the record.
  if (Serving() == Backend::None) throw ECamException("No camera is connected");
  std::string text;
  OnServingBackend([&](auto& backend) { text = backend.GetDevicePropertyText(); });
  return text;
}

// ---- Library callbacks ----------------------------------------------------

template <typename Handler>
TSDKStatus TObturo::Deliver(uint32_t Context, Handler handler) {
  auto& lists = Lists();
  TObturo* component = nullptr;
  {
    std::lock_guard lock(lists.RegistryLock);
    auto slot = lists.Registry.find(Context);
    if (slot == lists.Registry.end() || slot->second.Component == nullptr) return 0;
    component = slot->second.Component;
    ++slot->second.Running;
    CallbacksOnThisThread.push_back(Context);
  }
  auto ended = ScopeExit([&] {
    std::lock_guard lock(lists.RegistryLock);
    // Gone when the handler destroyed its own component.
    if (auto slot = lists.Registry.find(Context); slot != lists.Registry.end()) --slot->second.Running;
    CallbacksOnThisThread.pop_back();
    lists.CallbackEnded.notify_all();
  });
  if (OperationsInProgress > 0) {
    handler(*component);
    return 0;
  }
  // Letting it escape would end the program; say what was lost instead.
  try {
    handler(*component);
  } catch (const std::exception& e) {
    std::cerr << "Camera event lost: " << e.what() << std::endl;
  } catch (...) {
    std::cerr << "Camera event lost" << std::endl;
  }
  return 0;
}

TSDKStatus TObturo::CameraEventCallback(uint32_t EventId, const void* EventData, uint32_t, uint32_t Context) {
  return Deliver(Context, [&](TObturo& component) { component.HandleCameraEvent(EventId, EventData); });
}

void TObturo::HandleCameraEvent(uint32_t eventId, const void* data) {
  if (!OnEvent) return;
  const uint32_t code = eventId & 0xFFFF;
  if (code == SDKCameraEventPropertyChanged) {
    // The camera's text property changed: read it (as the library expects to
    // be asked), nothing to report.
    GetDevicePropertyText();
    return;
  }
  EventCallbackType event;
  event.Severity = Lookup(CameraEventSeverities, (eventId >> 16) & 0xF);
  event.EventKind = code == SDKCameraEventPowerState ? Lookup(PowerStateKinds, EventWord(data, 0) & 0xF)
                                                     : Lookup(CameraEventKinds, code);
  OnEvent(event);
}

TSDKStatus TObturo::ReleaseEventCallback(uint32_t EventId, const void* EventData, uint32_t, uint32_t Context) {
  return Deliver(Context, [&](TObturo& component) { component.HandleReleaseEvent(EventId, EventData); });
}

void TObturo::HandleReleaseEvent(uint32_t eventId, const void* data) {
  if (!OnRemoteEvent) return;
  RemoteEventCallbackType event = RemoteEventCallbackNotUsed;
  AdditionNotifyRemoteEventType eventData;
  if (const ReleaseEventEntry* plain = Find(PlainReleaseEvents, eventId)) event = plain->Event;
  switch (eventId) {
    case SDKReleaseEventReleaseComplete: {
      const uint32_t count = EventWord(data, 0);
      if (FReleaseMode == ReleaseModeOnlyToCamera) {
        DiscardReleasedPictures(count);
        return;
      }
      event = RemoteEventCallbackReleaseComplete;
      eventData.DataKind = 1;
      eventData.PictureCount = static_cast<int32_t>(count);
      if (FReleaseDataKind == ReleaseDataKingTakeBothThumbAndPic) eventData.PictureCount /= 2;
      break;
    }
    case SDKReleaseEventImageReady: {
      if (Serving() == Backend::RC && data) FRCSDK->AddCapturedImage(data);
      if (FReleaseMode == ReleaseModeOnlyToCamera) {
        DiscardReleasedPictures(1);
        return;
      }
      const uint32_t type = EventWord(data, 1);
      eventData.PictureType = Lookup(PictureTypes, type);
      if (eventData.PictureType == 0) throw ECamException("Not known release picture type = " + IntToStr(type));
      event = RemoteEventCallbackReleaseImageReady;
      eventData.DataKind = 2;
      break;
    }
    default: break;
  }
  OnRemoteEvent(event, eventData);
}

// Pictures released to the camera only may still wait in the library: fetch
// each into a scratch file and delete it, through the backend serving the
// camera. A library that keeps nothing for the computer refuses the fetch;
// then there is nothing to discard, and the release must not fail for it.
void TObturo::DiscardReleasedPictures(uint32_t count) {
  const std::string scratch = ProgramDir() + "/Temp.jpg";
  try {
    for (uint32_t i = 0; i < count; ++i) {
      switch (Serving()) {
        case Backend::CD: FCDSDK->GetReleasedPicture(scratch, nullptr, 0); break;
        case Backend::RC: FRCSDK->GetReleasedPicture(scratch, nullptr, 0); break;
        case Backend::PR:
        case Backend::None: return;  // PR transfers announce themselves through PR events
      }
      std::remove(scratch.c_str());
    }
  } catch (const ECamException&) {
    std::remove(scratch.c_str());
  }
}

TSDKStatus TObturo::TakePictureProgressCallback(uint32_t Progress, uint32_t, uint32_t Context) {
  Deliver(Context, [&](TObturo& component) {
    if (component.OnRemoteTakePictureEvent) component.OnRemoteTakePictureEvent(static_cast<int32_t>(Progress));
  });
  Sleep(ProgressPause);
  return 0;
}

TSDKStatus TObturo::GetPictureProgressCallback(uint32_t Progress, uint32_t, uint32_t Context) {
  Deliver(Context, [&](TObturo& component) {
    if (component.OnRemoteGetPictureEvent) component.OnRemoteGetPictureEvent(static_cast<int32_t>(Progress));
  });
  Sleep(ProgressPause);
  return 0;
}

TSDKStatus TObturo::PREventCallback(uint32_t, uint32_t Context, const void* EventRecord) {
  if (!EventRecord) return 0;
  return Deliver(Context,
                 [&](TObturo& component) { component.HandlePREvent(static_cast<const uint8_t*>(EventRecord)); });
}

void TObturo::HandlePREvent(const uint8_t* record) {
  ByteReader reader(record, PREventRecordSize);
  reader.Seek(PREventCodeOffset);
  const uint16_t code = reader.U16();
  reader.Seek(PREventParameterOffset);
  const uint32_t parameter = reader.U32();

  if (OnEvent) {
    if (code == PREventPowerState) {
      const PROnEventEntry* power = Find(PRPowerStates, parameter);
      OnEvent(power ? power->Event : EventCallbackType{0, 0});
    } else if (const PROnEventEntry* entry = Find(PROnEvents, code)) {
      OnEvent(entry->Event);
    }
  }

  if (!OnRemoteEvent) return;
  const PRRemoteEventEntry* entry = Find(PRRemoteEvents, code);
  if (entry == nullptr) return;
  if (entry->Keep) {
    PREventRecord copy;
    std::memcpy(copy.data(), record, copy.size());
    std::lock_guard lock(FPendingLock);
    FPendingReleases.push_back(copy);
  }
  if (!entry->Event) return;
  AdditionNotifyRemoteEventType data;
  if (*entry->Event == RemoteEventCallbackReleaseComplete) data = {1, 0, 1};  // one picture waits
  OnRemoteEvent(*entry->Event, data);
}

TSDKStatus TObturo::PRDataCallback(uint32_t, uint32_t, uint32_t Context, const void* DataBlock) {
  if (!DataBlock) return 0;
  return Deliver(Context,
                 [&](TObturo& component) { component.HandlePRData(static_cast<const uint8_t*>(DataBlock)); });
}

void TObturo::HandlePRData(const uint8_t* block) {
  const PRDataPiece piece = ReadPRDataBlock(block);
  const auto percent = static_cast<int32_t>(piece.Percent);
  const uint32_t length = piece.Length;
  const char* chunk = piece.Bytes;

  if (OnRemoteGetPictureEvent) OnRemoteGetPictureEvent(percent);
  Sleep(ProgressPause);
  if (length > 0 && chunk && FPictureStream.is_open()) {
    FPictureStream.write(chunk, length);
    if (!FPictureStream) throw EInOutError("Could not write the picture into \"" + FPictureFileName + "\"");
    FPictureStreamOpen = true;
  } else if (length == 0 && FPictureStreamOpen) {
    if (!ClosePictureStream()) throw EInOutError("Could not write the picture into \"" + FPictureFileName + "\"");
  }
}

bool TObturo::ClosePictureStream() {
  FPictureStreamOpen = false;
  if (!FPictureStream.is_open()) return true;
  FPictureStream.close();  // writes what is still buffered
  bool written = !FPictureStream.fail();
  FPictureStream.clear();
  return written;
}

}  // namespace korv
