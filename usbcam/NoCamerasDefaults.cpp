// The weak "Unimplemented" entries of the no-camera libraries (NoCameras.cpp
// replaces the few that answer otherwise). The decorated CD entry is linked
// under a placeholder that the build renames, as for the simulated library.
#include "camera/sdkapi/SDKEntries.h"

#define NO_CAMERAS_DEFAULT(Name)                                                           \
  extern "C" __attribute__((visibility("default"), weak)) korv::TSDKStatus Name() {        \
    return korv::SDKUnimplemented;                                                         \
  }
#define NO_CAMERAS_DEFAULT_TYPED(Name, Type) NO_CAMERAS_DEFAULT(Name)
#define NO_CAMERAS_DEFAULT_DECORATED(Name, Export, Type)                                   \
  extern "C" korv::TSDKStatus Name() __asm__("camsim_decorated_" #Name);                   \
  NO_CAMERAS_DEFAULT(Name)

NO_CAMERAS_TABLE(NO_CAMERAS_DEFAULT_TYPED, NO_CAMERAS_DEFAULT, NO_CAMERAS_DEFAULT_DECORATED)
