// CDSDK.DLL stand-in.
#define CAMSIM_TABLE KORV_CD_ENTRIES
#include "camsim/Exports.h"

namespace korv::camsim {
const char* const LibraryTag = "CD";
void ResetLibraryState(const Scenario&) {}
}  // namespace korv::camsim
