// Every entry of one library's table (CAMSIM_TABLE, set by the build),
// exported as a weak definition that answers "Unimplemented". The
// simulations in the library's own source replace them at link time.
#include "camera/sdkapi/SDKEntries.h"
#include "camsim/Simulator.h"

#define CAMSIM_DEFAULT(Name)                                                         \
  extern "C" CAMSIM_EXPORT __attribute__((weak)) korv::TSDKStatus Name() {           \
    return korv::camsim::Unhandled(#Name);                                           \
  }
#define CAMSIM_DEFAULT_TYPED(Name, Type) CAMSIM_DEFAULT(Name)
#define CAMSIM_DEFAULT_DECORATED(Name, Export, Type)                                 \
  extern "C" korv::TSDKStatus Name() __asm__(CAMSIM_PLACEHOLDER(Name));              \
  CAMSIM_DEFAULT(Name)

CAMSIM_TABLE(CAMSIM_DEFAULT_TYPED, CAMSIM_DEFAULT, CAMSIM_DEFAULT_DECORATED)
