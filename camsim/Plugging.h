// A simulated camera on and off the bus, as the scenario's "unplug after N
// for S" has it: away once, right after its Nth release, for S seconds, then
// back under a new device record. Plug() counts the comebacks; device
// records and handles carry it, so those of before stay dead.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "camsim/Scenario.h"

namespace korv::camsim {

class Plugging {
public:
  // Whether the camera is attached now; one whose time away is over is back.
  bool Present();
  uint32_t Plug() const { return Comebacks; }
  // Counts a release since attaching; true when the camera went away with it.
  bool CountRelease(const CameraProfile& profile);

private:
  uint32_t Releases = 0;
  uint32_t Comebacks = 0;
  std::optional<std::chrono::steady_clock::time_point> GoneUntil;
};

}  // namespace korv::camsim
