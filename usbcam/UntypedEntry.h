// An entry of the loaded PR library that no backend calls, looked up by
// name with the type it has in the USB library: for the hand tools that
// exercise the library's whole interface.
#pragma once

#include <dlfcn.h>

#include <cstring>

#include "camera/sdk/PRAPI.h"

namespace korv::usbcam {

template <class F>
F* UntypedEntry(const char* name) {
  void* symbol = dlsym(PRSDKLibrary().handle(), name);
  F* function = nullptr;
  std::memcpy(&function, &symbol, sizeof function);
  return function;
}

}  // namespace korv::usbcam
