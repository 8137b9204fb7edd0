// Machinery shared by the three simulated libraries: the call log, injected
// failures, the scenario in force, the lock over a library's state and the
// thread that delivers events after a call has returned. Each library links
// its own copy, so every library has its own state.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <type_traits>

#include "camera/sdkapi/SDKTypes.h"
#include "camsim/Scenario.h"

#define CAMSIM_EXPORT __attribute__((visibility("default")))
// Name under which an entry with a decorated export name is linked; the
// build renames it afterwards (tools/RenameExport.cpp).
#define CAMSIM_PLACEHOLDER(Name) "camsim_decorated_" #Name

namespace korv::camsim {

// Statuses the simulations answer with (texts in the libraries' tables).
constexpr TSDKStatus StatusNotSupported = 0x07;
constexpr TSDKStatus StatusFileOpenError = 0x23;
constexpr TSDKStatus StatusFileWriteError = 0x28;
constexpr TSDKStatus StatusInvalidParameter = 0x60;
constexpr TSDKStatus StatusInvalidHandle = 0x61;
constexpr TSDKStatus StatusInvalidPointer = 0x62;
constexpr TSDKStatus StatusInvalidLength = 0x64;
constexpr TSDKStatus StatusInvalidFunctionPointer = 0x65;
constexpr TSDKStatus StatusDeviceNotFound = 0x80;  // also what a camera that went away answers
constexpr TSDKStatus StatusDeviceBusy = 0x81;
constexpr TSDKStatus StatusDeviceMemoryFull = 0x84;
constexpr TSDKStatus StatusDeviceInvalidParameter = 0x86;
constexpr TSDKStatus StatusEnumNotApplicable = 0xF0;
constexpr TSDKStatus StatusInvalidFunctionCall = 0xF1;
constexpr TSDKStatus PRStatusInvalidParameter = 0x21;
constexpr TSDKStatus PRStatusInsufficientBuffer = 0x63;

// Provided by each library: its tag in scenarios ("CD", "PR" or "RC") and
// the reset of its own state (called with the state lock held).
extern const char* const LibraryTag;
void ResetLibraryState(const Scenario& scenario);
// What the program holds open in the library: sources or camera objects and
// enumerations (called with the state lock held).
uint32_t OpenHandles();

// The lock over the library's state. Never hold it while calling a
// callback: the program may call the library again from inside one.
std::unique_lock<std::mutex> LockState();
// The scenario in force (read it with the state lock held).
const Scenario& CurrentScenario();

template <class T>
uint64_t LogWord(T value) {
  if constexpr (std::is_pointer_v<T>) return reinterpret_cast<uintptr_t>(value);
  else return static_cast<uint64_t>(value);
}

// Start of every entry: logs the call with its arguments and returns the
// status of an injected failure that is due, else 0 (carry on).
TSDKStatus EnterWords(const char* entry, std::initializer_list<uint64_t> args);
template <class... Args>
TSDKStatus Enter(const char* entry, Args... args) {
  return EnterWords(entry, {LogWord(args)...});
}

// Start of an entry's body: logs the call under the entry's own name and
// returns early when a failure is due.
#define CAMSIM_ENTER(...) \
  if (korv::TSDKStatus failure = korv::camsim::Enter(__func__ __VA_OPT__(, ) __VA_ARGS__)) return failure

// What an entry without a simulation answers.
TSDKStatus Unhandled(const char* entry);

// Runs `event` on the library's event thread, after the events posted
// before it. Post just before an entry returns: its events then arrive once
// the call is over, as a camera that reports from its own thread would.
void Post(std::function<void()> event);

}  // namespace korv::camsim
