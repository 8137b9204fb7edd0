// Control entries that each simulated camera library exports besides the
// library's own entries, for tests and demonstrations (see README.md).
// Look them up with dlsym on the library's handle; every library has its own
// state, so a test drives each library it cares about.
#pragma once

#include <cstdint>

namespace korv::camsim {

// Back to the default scenario (CAMSIM_SCENARIO or one PowerShot camera on
// the CD library): cameras, settings, open handles, log and injected
// failures all start afresh. Waits for pending background events first.
using TCamSimReset = uint32_t();
// Replaces the scenario (text in the format of README.md) and resets as
// above. Returns 0, or the 1-based number of the first line it can't read
// (the previous scenario then stays).
using TCamSimLoadScenario = uint32_t(const char* ScenarioText);
// The next `Count` calls of the named entry (plain name, e.g.
// "CDOpenSource" or "CDGetReleaseControlFaculty") do nothing but return
// `Status`.
using TCamSimFailNext = uint32_t(const char* Entry, uint32_t Count, uint32_t Status);
// Copies the call log (one line per call: the entry's plain name, then its
// arguments in decimal, pointers as addresses) zero-terminated into the
// buffer, truncated to fit; returns the full length without the zero.
using TCamSimReadLog = uint32_t(char* Buffer, uint32_t Size);
// Call number `Call` from now (1 = the next), of whichever entry, only
// returns `Status`; 0 disarms. Returns how many calls were still to go
// before the failure armed earlier (0: none was armed, or it has struck), so
// that a test can tell whether an operation reached it.
using TCamSimFailCall = uint32_t(uint32_t Call, uint32_t Status);
// How many sources or camera objects and enumerations the program holds open.
using TCamSimOpenHandles = uint32_t();
using TCamSimClearLog = uint32_t();
// Waits until background events have all been delivered; 0 = idle, 1 = the
// time-out passed first.
using TCamSimWaitIdle = uint32_t(uint32_t TimeoutMs);
// Calls the camera-event callbacks registered on every open source with the
// event id and one data word, as the camera would.
using TCamSimRaiseCameraEvent = uint32_t(uint32_t EventId, uint32_t DataWord);
// Calls the release-event callback of every source in release control with
// the event id and two data words.
using TCamSimRaiseReleaseEvent = uint32_t(uint32_t EventId, uint32_t Word0, uint32_t Word1);

// PR: calls the event callback of every connected camera with a record of
// this event code and 32-bit parameter (at byte 16), as the camera would.
using TCamSimRaisePREvent = uint32_t(uint32_t EventCode, uint32_t Parameter);

}  // namespace korv::camsim
