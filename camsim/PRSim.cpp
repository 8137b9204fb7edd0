// PRSDK.DLL stand-in: starts and lists no camera; every other entry answers
// "Unimplemented".
#include <cstring>

#define CAMSIM_TABLE KORV_PR_ENTRIES
#include "camsim/Exports.h"

namespace korv::camsim {
const char* const LibraryTag = "PR";
void ResetLibraryState(const Scenario&) {}
}  // namespace korv::camsim

using namespace korv;
using namespace korv::camsim;

extern "C" {

TSDKStatus PR_StartSDK() {
  return Enter("PR_StartSDK");
}

TSDKStatus PR_GetDeviceList(uint32_t* size, void* buffer) {
  if (TSDKStatus failure = Enter("PR_GetDeviceList", size, buffer)) return failure;
  if (size == nullptr || buffer == nullptr) return PRStatusInvalidParameter;
  if (*size < 4) return PRStatusInsufficientBuffer;
  std::memset(buffer, 0, 4);
  *size = 4;
  return SDKOk;
}

}  // extern "C"
