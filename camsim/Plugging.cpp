#include "camsim/Plugging.h"

namespace korv::camsim {

bool Plugging::Present() {
  if (!GoneUntil) return true;
  if (std::chrono::steady_clock::now() < *GoneUntil) return false;
  GoneUntil.reset();
  ++Comebacks;
  return true;
}

bool Plugging::CountRelease(const CameraProfile& profile) {
  if (Comebacks != 0 || ++Releases != profile.UnplugAfter) return false;
  const auto away = std::chrono::duration<double>(profile.UnplugSeconds);
  GoneUntil = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(away);
  return true;
}

}  // namespace korv::camsim
