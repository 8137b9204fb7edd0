// CDSDK.DLL stand-in: PowerShot cameras as the scenario describes them,
// simulated for every entry the CD backend calls (SourceLibrary.h). Other
// entries answer "Unimplemented" (Defaults.cpp).
#include "camsim/SourceLibrary.h"

#define CAMSIM_TABLE KORV_CD_ENTRIES
#include "camsim/Exports.h"

namespace korv::camsim {

const char* const LibraryTag = "CD";

void ResetLibraryState(const Scenario& scenario) { source::Reset(scenario.CD); }

}  // namespace korv::camsim

CAMSIM_SOURCE_ENTRIES(CD)

extern "C" {

// The CD enumeration hands out bare property ids.
korv::TSDKStatus CDEnumDevicePropertyNext(korv::TSDKHandle handle, uint32_t* id) {
  using namespace korv::camsim;
  CAMSIM_ENTER(handle, id);
  auto lock = LockState();
  if (id == nullptr) return StatusInvalidPointer;
  return source::EnumNextItem(handle, *id);
}

}  // extern "C"
