// Binding unit of PRSDK.DLL: the entry variables through which the backends
// call the library, and its loader.
#pragma once

#include <span>

#include "camera/sdkapi/SDKEntries.h"
#include "camera/sdk/SDKLibrary.h"

namespace korv {

KORV_PR_ENTRIES(KORV_SDK_DECLARE_TYPED, KORV_SDK_DECLARE_UNTYPED, KORV_SDK_DECLARE_DECORATED)

// Opens PRSDK.DLL once and binds every entry (see SDKLibrary::Load).
// A library that cannot be opened raises nothing: the entries stay unbound.
void LoadPRSDK();
// Exit routine registered by the loader; nothing else calls it.
void FreePRSDK();
// The library's loading state, for diagnostics and tests.
const SDKLibrary& PRSDKLibrary();

}  // namespace korv
