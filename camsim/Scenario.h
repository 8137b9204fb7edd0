// What the simulated libraries pretend is attached: cameras per library,
// their texts, power, zoom, release-control faculty and, per setting, which
// codes the camera lists or accepts. Parsed from the text format described
// in README.md.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "camera/sdkapi/SDKTypes.h"

namespace korv::camsim {

struct SettingProfile {
  bool Listable = false;  // the camera's enumeration of this setting works
  bool AnyValue = false;  // every value is accepted (colour temperature)
  std::vector<uint32_t> Codes;
  uint32_t Current = 0;

  bool Accepts(uint32_t code) const;
};

struct CameraProfile {
  std::string Model = "Canon PowerShot G5";
  std::string ListName = "Canon PowerShot G5";
  std::string Owner = "Sky Station";
  uint32_t PowerState = 0x00000006;  // AC adapter, full
  uint32_t Faculty = 0x4000001F;     // remote control, capabilities 0-4
  uint32_t ZoomPosition = 0;
  uint32_t ZoomMax1 = 12;  // reported first by the maximum-zoom entry
  uint32_t ZoomMax2 = 4;
  bool EventsFromThread = false;  // release events after the release call returned
  uint32_t BusyWrites = 0;        // settings writes refused as "Device busy" after attaching
  // CD, RC: after release number UnplugAfter (0: never) the camera is gone
  // for UnplugSeconds, then comes back under a new device record.
  uint32_t UnplugAfter = 0;
  double UnplugSeconds = 0;
  // The sky of the pictures: fixed local time and date (-1/0: the clock's),
  // cloud cover in percent (-1: the day's own weather).
  int Hour = -1, Minute = 0;
  int Month = 0, Day = 0;
  int CloudPercent = -1;
  // By setting name (see SettingNames()); an ImageFormat code is
  // quality << 16 | size.
  std::map<std::string, SettingProfile, std::less<>> Settings;
  // PR cameras (PTP): device properties by code (listed in DeviceInfo or
  // not; the values the descriptor offers and a write accepts; the current
  // value), the operations DeviceInfo lists, the events one release sends
  // (each a picture to fetch) and the battery properties.
  std::map<uint32_t, SettingProfile> Properties;
  std::vector<uint32_t> Operations;
  std::vector<uint32_t> ReleaseEvents{PREventObjectAdded};
  uint32_t BatteryKind = 1, BatteryLevel = 3;

  // A PowerShot camera with every setting listed or accepted as a typical
  // model of its kind would.
  static CameraProfile PowerShot();
};

// Calls After+1 ... After+Count of a library entry (plain name) answer Status.
struct InjectedFailure {
  std::string Entry;
  uint32_t Count = 0, Status = 0, After = 0;
};

struct Scenario {
  std::vector<CameraProfile> CD, PR, RC;
  std::vector<InjectedFailure> Failures;
  std::vector<CameraProfile>& Library(std::string_view tag);
};

// Names that the "setting" and "value" lines accept.
const std::vector<std::string>& SettingNames();

// Reads a scenario; returns 0, or the 1-based line of the first fault with
// its description in `error`.
uint32_t ParseScenario(std::string_view text, Scenario& scenario, std::string& error);

// The scenario of a fresh library: the file named by CAMSIM_SCENARIO when
// set (a file that can't be read or parsed is reported on stderr and leaves
// no camera attached), else one PowerShot camera on the CD library.
Scenario DefaultScenario();

}  // namespace korv::camsim
