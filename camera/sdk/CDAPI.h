// Binding unit of CDSDK.DLL: the entry variables through which the backends
// call the library, and its loader.
#pragma once

#include <span>

#include "camera/sdkapi/SDKEntries.h"
#include "camera/sdk/SDKLibrary.h"

namespace korv {

KORV_CD_ENTRIES(KORV_SDK_DECLARE_TYPED, KORV_SDK_DECLARE_UNTYPED, KORV_SDK_DECLARE_DECORATED)

// Opens CDSDK.DLL once and binds every entry (see SDKLibrary::Load).
// Raises EInOutError "CDSDK.DLL could not be loaded" when it cannot be opened.
void LoadCDSDK();
// Exit routine registered by the loader; nothing else calls it.
void FreeCDSDK();
// The library's loading state, for diagnostics and tests.
const SDKLibrary& CDSDKLibrary();

}  // namespace korv
