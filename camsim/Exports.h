// Declares, with their types, the entries of one table that a library
// simulates, so that a simulation whose argument list differs from the
// binding's fails to compile. Include once in the library's source after
// defining CAMSIM_TABLE.
#pragma once

#include "camera/sdkapi/SDKEntries.h"
#include "camsim/Simulator.h"

#define CAMSIM_DECLARE_TYPED(Name, Type) extern "C" CAMSIM_EXPORT korv::Type Name;
#define CAMSIM_DECLARE_UNTYPED(Name)
#define CAMSIM_DECLARE_DECORATED(Name, Export, Type) \
  extern "C" CAMSIM_EXPORT korv::Type Name __asm__(CAMSIM_PLACEHOLDER(Name));

CAMSIM_TABLE(CAMSIM_DECLARE_TYPED, CAMSIM_DECLARE_UNTYPED, CAMSIM_DECLARE_DECORATED)
