#include "camera/sdk/PRAPI.h"

namespace korv {

#define KORV_SDK_FILE "PRSDK.DLL"
KORV_PR_ENTRIES(KORV_SDK_DEFINE_TYPED, KORV_SDK_DEFINE_UNTYPED, KORV_SDK_DEFINE_DECORATED)

namespace {

SDKEntryBase* const Entries[] = {
    KORV_PR_ENTRIES(KORV_SDK_LIST_TYPED, KORV_SDK_LIST_UNTYPED, KORV_SDK_LIST_DECORATED)};

SDKLibrary Library{KORV_SDK_FILE, "PRAPI", Entries, false, FreePRSDK};

}  // namespace

void LoadPRSDK() { Library.Load(); }
void FreePRSDK() { Library.Free(); }
const SDKLibrary& PRSDKLibrary() { return Library; }

}  // namespace korv
