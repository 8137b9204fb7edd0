// A CDSDK.DLL that stops after the third entry of the table, for the
// loader's missing-entry test.
#include "camera/sdkapi/SDKTypes.h"

extern "C" {
__attribute__((visibility("default"))) korv::TSDKStatus CDStartSDK(const void*, uint32_t) { return 0; }
__attribute__((visibility("default"))) korv::TSDKStatus CDFinishSDK() { return 0; }
__attribute__((visibility("default"))) korv::TSDKStatus CDGetSDKVersion() { return 0; }
}
