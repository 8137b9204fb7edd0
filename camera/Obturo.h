// TObturo: one way to remote-control a Canon camera, whichever of the three
// camera libraries serves it. The component picks the backend at Connect and
// forwards every later operation to it; the libraries' callbacks become the
// component's events, raised on the thread on which the library calls back.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/CamDefines.h"
#include "camera/sdk/DeviceLists.h"
#include "camera/sdkapi/SDKTypes.h"

namespace korv {

class TCDSDK;
class TPRSDK;
class TRCSDK;

using TNotifyEvent = std::function<void(EventCallbackType Event)>;
using TNotifyViewfinderEvent = std::function<void(const std::vector<uint8_t>& Jpegdata)>;
using TNotifyRemoteEvent = std::function<void(RemoteEventCallbackType Event, AdditionNotifyRemoteEventType EventData)>;
using TNotifyRemoteTakePictureEvent = std::function<void(int32_t PercentageDone)>;
using TNotifyRemoteGetPictureEvent = std::function<void(int32_t PercentageDone)>;
using TNotifyGetPictureEvent = std::function<void(int32_t PercentageDone)>;
using TNotifyRemoteProbeParamEvent = std::function<void(int32_t PercentageDone)>;
using TNotifyRawDevelopEvent = std::function<void(int32_t PercentageDone)>;

// An event handler that the program may replace while a library thread is
// raising it: each raise runs the handler that was assigned when it began,
// which lives until that raise returns.
template <typename Function>
class TEventHandler;

template <typename... Args>
class TEventHandler<std::function<void(Args...)>> {
  using Function = std::function<void(Args...)>;

public:
  TEventHandler() = default;
  TEventHandler(const TEventHandler&) = delete;
  TEventHandler& operator=(const TEventHandler&) = delete;

  TEventHandler& operator=(Function handler) {
    auto next = handler ? std::make_shared<const Function>(std::move(handler)) : nullptr;
    std::lock_guard lock(Lock);
    Current.swap(next);  // the old handler goes after the lock is released
    return *this;
  }
  explicit operator bool() const { return Get() != nullptr; }
  void operator()(Args... args) const {
    if (const auto handler = Get()) (*handler)(args...);
  }

private:
  std::shared_ptr<const Function> Get() const {
    std::lock_guard lock(Lock);
    return Current;
  }
  mutable std::mutex Lock;
  std::shared_ptr<const Function> Current;
};

class TObturo {
public:
  TObturo();
  ~TObturo();
  TObturo(const TObturo&) = delete;
  TObturo& operator=(const TObturo&) = delete;

  // Loads and starts the three libraries once per process (CD, PR, RC).
  void StartSDK();
  // Refreshes both name lists (shared by every instance) and returns them.
  TCameraLists EnumerateCameras();
  ConnectInfoType Connect(CameraKind Kind, int32_t ConnectToCamera);
  bool IsRemoteCapable();
  TRemoteCapabilities EnterRemoteMode(ReleaseModeType Mode, ReleaseDataKindType DataKind, bool ProbeParameters);
  // What the backend's release returns (0 when no backend is called).
  uint32_t TakePicture();
  // Writes the picture announced by the last release into `FileName`.
  void GetReleasedPicture(const std::string& FileName);
  TCameraSettings GetCameraSettings();
  // Writes the fields that are not 0.
  void SetCameraSettings(TCameraSettings Settings);
  TZoomInfo GetZoomInfo();
  void SetZoom(uint32_t Position);

  // Events. OnViewfinderEvent, OnGetPictureEvent and OnRawDevelopEvent are
  // accepted but never raised.
  TEventHandler<TNotifyViewfinderEvent> OnViewfinderEvent;
  TEventHandler<TNotifyEvent> OnEvent;
  TEventHandler<TNotifyRemoteEvent> OnRemoteEvent;
  TEventHandler<TNotifyRemoteTakePictureEvent> OnRemoteTakePictureEvent;
  TEventHandler<TNotifyRemoteGetPictureEvent> OnRemoteGetPictureEvent;
  TEventHandler<TNotifyGetPictureEvent> OnGetPictureEvent;
  TEventHandler<TNotifyRemoteProbeParamEvent> OnRemoteProbeParamEvent;
  TEventHandler<TNotifyRawDevelopEvent> OnRawDevelopEvent;

  // Fixed by EnterRemoteMode.
  ReleaseDataKindType ReleaseDataKind() const { return FReleaseDataKind; }
  ReleaseModeType ReleaseMode() const { return FReleaseMode; }

  const ConnectInfoType& ConnectInfo() const { return FConnectInfo; }
  int32_t RegistryIndex() const { return FRegistryIndex; }

  // The component registered under `index`, or nullptr. Registry indices
  // are never given twice in a process, so a library that still calls with
  // the index of a component that is gone reaches nobody.
  static TObturo* FromRegistry(uint32_t index);

  // Library callbacks; each receives the registry index as its context.
  static TSDKStatus CameraEventCallback(uint32_t EventId, const void* EventData, uint32_t Unused, uint32_t Context);
  static TSDKStatus ReleaseEventCallback(uint32_t EventId, const void* EventData, uint32_t Unused, uint32_t Context);
  static TSDKStatus TakePictureProgressCallback(uint32_t Progress, uint32_t Unused, uint32_t Context);
  static TSDKStatus GetPictureProgressCallback(uint32_t Progress, uint32_t Unused, uint32_t Context);
  static TSDKStatus PREventCallback(uint32_t Unused, uint32_t Context, const void* EventRecord);
  static TSDKStatus PRDataCallback(uint32_t Unused1, uint32_t Unused2, uint32_t Context, const void* DataBlock);

private:
  friend class ObturoTestAccess;  // tests reach the PR transfer state directly

  enum class Backend { None, CD, PR, RC };
  // The backend that Connect chose; None when no camera is connected.
  Backend Serving() const { return FBackend; }
  // Runs a call into the serving backend. A camera that the library no
  // longer finds is forgotten, so that Connect can bind it again.
  template <typename Operation>
  void Forward(Operation operation);
  template <typename Operation>
  void OnServingBackend(Operation operation);
  void ForgetCamera();
  // The registry index as the libraries' callback context.
  uint32_t Context() const { return static_cast<uint32_t>(FRegistryIndex); }
  void GetReleasedPRPicture(const std::string& FileName);
  void CheckConnected() const;
  void CheckRemoteAndConnected() const;

  // Runs `handler` on the component registered under `Context`, unless its
  // destruction has begun; the destructor waits for it to return. Inside a
  // component operation on this thread its exceptions travel back through the
  // library to the caller; on a library thread they are reported on stderr.
  template <typename Handler>
  static TSDKStatus Deliver(uint32_t Context, Handler handler);
  // Raises OnRemoteProbeParamEvent of the component registered under
  // `index`: the backends' probe progress callback.
  static void ReportProbeProgress(uint32_t index, int32_t PercentageDone);
  void HandleCameraEvent(uint32_t eventId, const void* data);
  void HandleReleaseEvent(uint32_t eventId, const void* data);
  void HandlePREvent(const uint8_t* record);
  void HandlePRData(const uint8_t* block);
  void DiscardReleasedPictures(uint32_t count);
  std::string GetDevicePropertyText();
  // False when what was still buffered could not be written.
  bool ClosePictureStream();

  // Callbacks on a library thread read the backend and the release choices.
  ConnectInfoType FConnectInfo;
  std::atomic<Backend> FBackend = Backend::None;
  bool FRemoteMode = false;
  std::atomic<ReleaseDataKindType> FReleaseDataKind = ReleaseDataKindTakeOnlyThumbnail;
  std::atomic<ReleaseModeType> FReleaseMode = ReleaseModeOnlyToPC;
  int32_t FRegistryIndex = -1;
  int32_t FCameraNumber = 0;
  std::mutex FPendingLock;  // PR events may arrive on a library thread
  std::deque<PREventRecord> FPendingReleases;
  std::string FPictureFileName;
  std::ofstream FPictureStream;
  bool FPictureStreamOpen = false;
  std::unique_ptr<TCDSDK> FCDSDK;
  std::unique_ptr<TPRSDK> FPRSDK;
  std::unique_ptr<TRCSDK> FRCSDK;
};

}  // namespace korv
