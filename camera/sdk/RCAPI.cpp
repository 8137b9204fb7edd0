#include "camera/sdk/RCAPI.h"

namespace korv {

#define KORV_SDK_FILE "RCSDK.DLL"
KORV_RC_ENTRIES(KORV_SDK_DEFINE_TYPED, KORV_SDK_DEFINE_UNTYPED, KORV_SDK_DEFINE_DECORATED)

namespace {

SDKEntryBase* const Entries[] = {
    KORV_RC_ENTRIES(KORV_SDK_LIST_TYPED, KORV_SDK_LIST_UNTYPED, KORV_SDK_LIST_DECORATED)};

SDKLibrary Library{KORV_SDK_FILE, "RCAPI", Entries, true, FreeRCSDK};

}  // namespace

void LoadRCSDK() { Library.Load(); }
void FreeRCSDK() { Library.Free(); }
const SDKLibrary& RCSDKLibrary() { return Library; }

}  // namespace korv
