#include "camera/sdk/CDAPI.h"

namespace korv {

#define KORV_SDK_FILE "CDSDK.DLL"
KORV_CD_ENTRIES(KORV_SDK_DEFINE_TYPED, KORV_SDK_DEFINE_UNTYPED, KORV_SDK_DEFINE_DECORATED)

namespace {

SDKEntryBase* const Entries[] = {
    KORV_CD_ENTRIES(KORV_SDK_LIST_TYPED, KORV_SDK_LIST_UNTYPED, KORV_SDK_LIST_DECORATED)};

SDKLibrary Library{KORV_SDK_FILE, "CDAPI", Entries, true, FreeCDSDK};

}  // namespace

void LoadCDSDK() { Library.Load(); }
void FreeCDSDK() { Library.Free(); }
const SDKLibrary& CDSDKLibrary() { return Library; }

}  // namespace korv
