// RCSDK.DLL stand-in: EOS cameras as the scenario describes them. The
// entries it shares with the CD library are simulated alike
// (SourceLibrary.h); its own are the capture session of the models outside
// release control, whose pictures are announced one by one with release
// event 34 and a captured-image record, and fetched by that record. Other
// entries answer "Unimplemented" (Defaults.cpp).
#include <cstring>
#include <vector>

#include "camsim/SourceLibrary.h"
#include "runtime/ByteReader.h"

#define CAMSIM_TABLE KORV_RC_ENTRIES
#include "camsim/Exports.h"

namespace korv::camsim {

const char* const LibraryTag = "RC";

void ResetLibraryState(const Scenario& scenario) { source::Reset(scenario.RC); }

}  // namespace korv::camsim

using namespace korv;
using namespace korv::camsim;
using namespace korv::camsim::source;

CAMSIM_SOURCE_ENTRIES(RC)

namespace {

// The captured-image record of a picture: its id, its type (16 thumbnail,
// 32 picture), its size in bytes, width and height.
std::array<uint32_t, 5> CapturedImageRecord(const Picture& picture) {
  return {picture.Id, picture.Type, static_cast<uint32_t>(picture.Jpeg.size()), picture.Width, picture.Height};
}

// The owner text with its zero, the power-state word, or any other property's word.
uint32_t PropertySize(const Camera& camera, uint32_t id) {
  return id == SDKPropOwnerName ? static_cast<uint32_t>(camera.Profile.Owner.size() + 1) : 4;
}

}  // namespace

extern "C" {

// The RC enumeration hands out property records: the id and its data size.
TSDKStatus RCEnumDevicePropertyNext(TSDKHandle handle, TRCDevicePropertyRecord* record) {
  CAMSIM_ENTER(handle, record);
  auto lock = LockState();
  if (record == nullptr) return StatusInvalidPointer;
  uint32_t id = 0;
  if (TSDKStatus status = EnumNextItem(handle, id)) return status;
  *record = {};
  record->Id = id;
  record->Size = PropertySize(Lib().Cameras[Lib().Enum(handle)->Camera], id);
  return SDKOk;
}

TSDKStatus RCStartCaptureSession(TSDKHandle source, TSDKEventCallback callback, uint32_t context) {
  CAMSIM_ENTER(source, callback, context);
  return StartCaptureSession(source, callback, context);
}

// Takes a picture in a capture session: each part that goes to the PC waits
// in the camera and is announced by release event 34 with its record.
TSDKStatus RCCapture(TSDKHandle source) {
  CAMSIM_ENTER(source);
  auto lock = LockState();
  Camera* camera = Lib().Source(source);
  if (camera == nullptr) return Lib().Missing(source);
  if (!camera->InCaptureSession) return StatusInvalidFunctionCall;
  if (camera->Pending.size() >= PendingLimit) return StatusDeviceMemoryFull;
  const bool fromThread = camera->Profile.EventsFromThread;
  const TSDKEventCallback callback = camera->ReleaseCallback;
  const uint32_t context = camera->ReleaseContext;
  const ReleasePlan plan = PlanRelease(*camera);
  lock.unlock();

  std::vector<Picture> ready = Render(plan);
  std::vector<std::array<uint32_t, 5>> records;
  lock.lock();
  if ((camera = Lib().Source(source)) == nullptr) return Lib().Missing(source);
  for (Picture& picture : ready) {
    picture.Id = ++Lib().LastPictureId;
    records.push_back(CapturedImageRecord(picture));
    camera->Pending.push_back(std::move(picture));
  }
  lock.unlock();

  auto announce = [=] {
    for (const auto& record : records) SendReleaseEvent(callback, context, SDKReleaseEventImageReady, record);
  };
  if (fromThread) Post(announce);
  else announce();
  CountRelease(source);
  return SDKOk;
}

// Writes the picture a captured-image record names into the storage's file;
// it leaves the camera once it is written.
TSDKStatus RCTakeCapturedImage(TSDKHandle source, TSDKProgressCallback progress, uint32_t context,
                               uint32_t progressOption, const void* capturedImage,
                               const TSDKStorageRecord* storage) {
  CAMSIM_ENTER(source, progress, context, progressOption, capturedImage, storage);
  auto lock = LockState();
  Camera* camera = Lib().Source(source);
  if (camera == nullptr) return Lib().Missing(source);
  if (capturedImage == nullptr) return StatusInvalidPointer;
  if (!ValidStorage(storage)) return StatusInvalidParameter;
  const uint32_t id = ByteReader(capturedImage, SDKReleaseInfoRecordSize).U32();
  auto waiting = [&](const Picture& picture) { return picture.Id == id && id != 0; };
  auto found = std::find_if(camera->Pending.begin(), camera->Pending.end(), waiting);
  if (found == camera->Pending.end()) return StatusInvalidParameter;
  const Picture picture = *found;
  const std::string fileName = storage->FileName;
  lock.unlock();

  Report(progress, context);
  if (TSDKStatus status = WritePicture(picture, fileName)) return status;
  lock.lock();
  if ((camera = Lib().Source(source)) != nullptr) {
    found = std::find_if(camera->Pending.begin(), camera->Pending.end(), waiting);
    if (found != camera->Pending.end()) camera->Pending.erase(found);
  }
  return SDKOk;
}

}  // extern "C"
