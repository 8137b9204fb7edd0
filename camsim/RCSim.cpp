// RCSDK.DLL stand-in: starts and lists no camera; every other entry answers
// "Unimplemented".
#define CAMSIM_TABLE KORV_RC_ENTRIES
#include "camsim/Exports.h"

namespace korv::camsim {
const char* const LibraryTag = "RC";
void ResetLibraryState(const Scenario&) {}
}  // namespace korv::camsim

using namespace korv;
using namespace korv::camsim;

namespace {
constexpr TSDKHandle EmptyDeviceList = 1;
}

extern "C" {

TSDKStatus RCStartSDK(const void* version, uint32_t option) {
  return Enter("RCStartSDK", version, option);
}

TSDKStatus RCEnumDeviceReset(uint32_t kind, TSDKHandle* list) {
  if (TSDKStatus failure = Enter("RCEnumDeviceReset", kind, list)) return failure;
  if (list == nullptr) return StatusInvalidPointer;
  *list = EmptyDeviceList;
  return SDKOk;
}

TSDKStatus RCGetDeviceCount(TSDKHandle list, uint32_t* count) {
  if (TSDKStatus failure = Enter("RCGetDeviceCount", list, count)) return failure;
  if (count == nullptr) return StatusInvalidPointer;
  *count = 0;
  return list == EmptyDeviceList ? SDKOk : StatusInvalidHandle;
}

TSDKStatus RCEnumDeviceNext(TSDKHandle list, void* record) {
  if (TSDKStatus failure = Enter("RCEnumDeviceNext", list, record)) return failure;
  return list == EmptyDeviceList ? StatusEnumNotApplicable : StatusInvalidHandle;
}

TSDKStatus RCEnumDeviceRelease(TSDKHandle list) {
  if (TSDKStatus failure = Enter("RCEnumDeviceRelease", list)) return failure;
  return list == EmptyDeviceList ? SDKOk : StatusInvalidHandle;
}

}  // extern "C"
