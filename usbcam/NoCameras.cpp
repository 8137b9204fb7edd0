// CDSDK.DLL and RCSDK.DLL beside the USB PRSDK.DLL (bin/usb/): libraries
// that start, list no cameras and answer "Unimplemented" to everything
// else, so that with real cameras chosen the PowerShot on the USB is camera
// 0. Built once per table: NO_CAMERAS_TABLE and NO_CAMERAS_PREFIX (CD or
// RC) come from the build.
#include "camera/sdkapi/SDKEntries.h"

#define NO_CAMERAS_EXPORT extern "C" __attribute__((visibility("default")))
#define NO_CAMERAS_JOIN2(a, b) a##b
#define NO_CAMERAS_JOIN(a, b) NO_CAMERAS_JOIN2(a, b)
#define NO_CAMERAS_ENTRY(Suffix) NO_CAMERAS_JOIN(NO_CAMERAS_PREFIX, Suffix)

using korv::SDKOk;
using korv::TSDKHandle;
using korv::TSDKStatus;

namespace {
constexpr TSDKStatus StatusEnumNotApplicable = 0xF0;  // no (more) cameras to list
}

NO_CAMERAS_EXPORT TSDKStatus NO_CAMERAS_ENTRY(StartSDK)(const void*, uint32_t) { return SDKOk; }
NO_CAMERAS_EXPORT TSDKStatus NO_CAMERAS_ENTRY(EnumDeviceReset)(uint32_t, TSDKHandle* handle) {
  if (handle) *handle = 1;
  return SDKOk;
}
NO_CAMERAS_EXPORT TSDKStatus NO_CAMERAS_ENTRY(GetDeviceCount)(TSDKHandle, uint32_t* count) {
  if (count) *count = 0;
  return SDKOk;
}
NO_CAMERAS_EXPORT TSDKStatus NO_CAMERAS_ENTRY(EnumDeviceNext)(TSDKHandle, void*) { return StatusEnumNotApplicable; }
NO_CAMERAS_EXPORT TSDKStatus NO_CAMERAS_ENTRY(EnumDeviceRelease)(TSDKHandle) { return SDKOk; }
