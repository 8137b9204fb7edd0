// Every entry of the PR table, exported as a weak definition that answers
// "Unimplemented"; the entries of PRSDK.cpp replace them at link time.
#include "camera/sdkapi/SDKEntries.h"

#define USBCAM_UNIMPLEMENTED(Name) \
  extern "C" __attribute__((visibility("default"), weak)) korv::TSDKStatus Name() { return korv::SDKUnimplemented; }
#define USBCAM_UNIMPLEMENTED_TYPED(Name, Type) USBCAM_UNIMPLEMENTED(Name)
#define USBCAM_UNIMPLEMENTED_DECORATED(Name, Export, Type) USBCAM_UNIMPLEMENTED(Name)

KORV_PR_ENTRIES(USBCAM_UNIMPLEMENTED_TYPED, USBCAM_UNIMPLEMENTED, USBCAM_UNIMPLEMENTED_DECORATED)
