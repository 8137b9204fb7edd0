// Run-time binding of a camera library: the library is opened on first use
// by its bare file name (so the program's folder is searched through the
// executable's RUNPATH), every entry of its table is looked up by its
// exported name, and the library is closed when the process ends.
#pragma once

#include <cstddef>
#include <span>

#include "camera/sdkapi/SDKTypes.h"

namespace korv {

// One exported function of a camera library. Until it is bound (library not
// loaded, or binding stopped at an earlier missing entry) a call raises
// EInOutError "<export name> is not available: <library> is not loaded or
// lacks this entry" instead of jumping through a null address; that is the
// same kind of error a missing library gives at load time.
class SDKEntryBase {
public:
  constexpr SDKEntryBase(const char* exportName, const char* libraryName)
      : ExportName(exportName), LibraryName(libraryName) {}
  SDKEntryBase(const SDKEntryBase&) = delete;
  SDKEntryBase& operator=(const SDKEntryBase&) = delete;

  const char* exportName() const { return ExportName; }
  bool bound() const { return Address != nullptr; }

protected:
  using Proc = void (*)();
  [[noreturn]] void RaiseUnbound() const;
  Proc Address = nullptr;

private:
  friend class SDKLibrary;
  const char* ExportName;
  const char* LibraryName;
};

template <class Signature>
class SDKEntry;

template <class... Args>
class SDKEntry<TSDKStatus(Args...)> : public SDKEntryBase {
public:
  using SDKEntryBase::SDKEntryBase;

  TSDKStatus operator()(Args... args) const {
    if (Address == nullptr) RaiseUnbound();
    return reinterpret_cast<TSDKStatus (*)(Args...)>(Address)(args...);
  }
};

// Loading state of one library. Not locked: the loaders run on the thread
// that drives the camera component.
class SDKLibrary {
public:
  // `unitName` names the binding unit in assertion messages. A library that
  // can't be opened raises EInOutError "<file> could not be loaded" when
  // `raiseWhenMissing`, else nothing. `exitRoutine` is registered to run at
  // process end once the library has been opened.
  constexpr SDKLibrary(const char* fileName, const char* unitName,
                       std::span<SDKEntryBase* const> entries, bool raiseWhenMissing,
                       void (*exitRoutine)())
      : FileName(fileName), UnitName(unitName), Entries(entries),
        RaiseWhenMissing(raiseWhenMissing), ExitRoutine(exitRoutine) {}
  SDKLibrary(const SDKLibrary&) = delete;
  SDKLibrary& operator=(const SDKLibrary&) = delete;

  // Opens the library once and binds the entries in table order. A missing
  // entry raises EAssertionFailed::At(unit, its 1-based place in the table);
  // the entries before it stay bound, it and those after it stay unbound, and
  // later calls return at once. A library that can't be opened is tried
  // again at the next call.
  void Load();
  // Closes the library and unbinds every entry; only the exit routine calls it.
  void Free();

  bool loaded() const { return Loaded; }
  void* handle() const { return Handle; }
  // Number of successful look-ups so far (a second Load adds none).
  size_t bindings() const { return Bindings; }
  std::span<SDKEntryBase* const> entries() const { return Entries; }

private:
  const char* FileName;
  const char* UnitName;
  std::span<SDKEntryBase* const> Entries;
  bool RaiseWhenMissing;
  void (*ExitRoutine)();
  bool Loaded = false;
  void* Handle = nullptr;
  size_t Bindings = 0;
};

// Declares the entry variables of a table of SDKEntries.h.
#define KORV_SDK_DECLARE_TYPED(Name, Type) extern SDKEntry<Type> Name;
#define KORV_SDK_DECLARE_UNTYPED(Name) extern SDKEntry<TSDKUntyped> Name;
#define KORV_SDK_DECLARE_DECORATED(Name, Export, Type) extern SDKEntry<Type> Name;

// Defines the entry variables of a table (the library's file name in
// KORV_SDK_FILE) and lists their addresses in table order.
#define KORV_SDK_DEFINE_TYPED(Name, Type) SDKEntry<Type> Name{#Name, KORV_SDK_FILE};
#define KORV_SDK_DEFINE_UNTYPED(Name) SDKEntry<TSDKUntyped> Name{#Name, KORV_SDK_FILE};
#define KORV_SDK_DEFINE_DECORATED(Name, Export, Type) SDKEntry<Type> Name{Export, KORV_SDK_FILE};
#define KORV_SDK_LIST_TYPED(Name, Type) &Name,
#define KORV_SDK_LIST_UNTYPED(Name) &Name,
#define KORV_SDK_LIST_DECORATED(Name, Export, Type) &Name,

}  // namespace korv
