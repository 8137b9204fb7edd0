// The pictures of the simulated cameras: a synthetic sky as it looks at a
// given local time (day gradient with clouds, dusk, night with stars),
// exposed by the camera's settings and encoded as a JPEG file's bytes.
#pragma once

#include <cstdint>
#include <string>

#include "camsim/Scenario.h"

namespace korv::camsim {

struct SkyShot {
  int Width = 640;
  int Height = 480;
  int JpegQuality = 75;  // 1..100
  // Local time of the shot.
  int Month = 6, Day = 21, Hour = 12, Minute = 0;
  // Exposure: how many stops the camera lets in more than the scene needs
  // (0 = well exposed, +2 = two stops over, -3 = three under).
  double ExposureStops = 0;
  double Iso = 100;           // sensor noise grows with it
  double ExposureSeconds = 0; // and with long exposures
  double ZoomFactor = 1;      // 1 = widest
  int CloudPercent = -1;      // cloud cover; -1 = the day's own weather
  uint32_t Seed = 1;          // varies the noise from picture to picture
};

// Brightness of the open sky at that time as an exposure value at ISO 100,
// from the sun's height over a mid-European horizon.
double SkyExposureValue(int month, int day, int hour, int minute);

// The settings of a PowerShot that expose a shot, in the codes both
// PowerShot libraries share (eighth stops for Av, Tv and exposure
// compensation; ISO 0 = automatic, 0x48 = ISO 100).
struct ExposureCodes {
  bool Automatic = true;  // the camera meters itself, within its limits
  uint32_t Av = 32, Tv = 56, Iso = 0, ExposureComp = 24;
};

// Sets the time (the scenario's or the clock's), clouds, exposure, noise
// and zoom of `shot` for picture number `picturesTaken` of the camera.
void Expose(SkyShot& shot, const CameraProfile& profile, const ExposureCodes& codes, uint32_t picturesTaken);

// JPEG bytes of the picture.
std::string RenderSkyJpeg(const SkyShot& shot);

}  // namespace korv::camsim
