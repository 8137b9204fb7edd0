#include "camera/sdk/SDKLibrary.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/Exception.h"
#include "runtime/ProgramDir.h"

namespace korv {

namespace {

// Sanitizer runtimes wrap dlopen, and glibc then applies the wrapper's search
// path instead of the RUNPATH of the program that asked; libc's own dlopen,
// called from here, keeps the program's folder in the search.
void* OpenByBareName(const char* fileName) {
  using Opener = void* (*)(const char*, int);
  static const Opener opener = [] {
    Opener found = &dlopen;
    if (void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD)) {
      if (void* symbol = dlsym(libc, "dlopen")) std::memcpy(&found, &symbol, sizeof found);
      dlclose(libc);
    }
    return found;
  }();
  return opener(fileName, RTLD_NOW | RTLD_LOCAL);
}

// KORV_CAMERA=usb chooses real cameras: the libraries of the program
// folder's usb/ subfolder (PRSDK.DLL over USB, CD and EOS libraries that
// list no cameras) instead of the simulated ones beside the program;
// KORV_CAMERA=usb-try those of usb-try/, the same with the scripted camera
// of the hand tool beside the USB.
std::string LibraryFile(const char* fileName) {
  const char* choice = std::getenv("KORV_CAMERA");
  const std::string folder = choice == nullptr ? "" : choice;
  if (folder == "usb" || folder == "usb-try") return ProgramDir() + "/" + folder + "/" + fileName;
  return fileName;
}

}  // namespace

void SDKEntryBase::RaiseUnbound() const {
  throw EInOutError(std::string(ExportName) + " is not available: " + LibraryName +
                    " is not loaded or lacks this entry");
}

void SDKLibrary::Load() {
  if (Loaded) return;
  // Windows needs the process error mode switched around the load so that a
  // missing file shows no dialog; dlopen never shows one, so nothing to do.
  Handle = OpenByBareName(LibraryFile(FileName).c_str());
  if (Handle == nullptr) {
    if (RaiseWhenMissing) throw EInOutError(std::string(FileName) + " could not be loaded");
    return;
  }
  Loaded = true;
  // atexit runs the routines last-registered first, so the libraries are
  // closed in the reverse order of their loading.
  std::atexit(ExitRoutine);
  for (size_t i = 0; i < Entries.size(); ++i) {
    SDKEntryBase& entry = *Entries[i];
    void* symbol = dlsym(Handle, entry.ExportName);
    if (symbol == nullptr) throw EAssertionFailed::At(UnitName, static_cast<int>(i + 1));
    static_assert(sizeof(SDKEntryBase::Proc) == sizeof(void*));
    std::memcpy(&entry.Address, &symbol, sizeof symbol);
    ++Bindings;
  }
}

void SDKLibrary::Free() {
  for (SDKEntryBase* entry : Entries) entry->Address = nullptr;
  if (Handle != nullptr) dlclose(Handle);
  Handle = nullptr;
}

}  // namespace korv
