// Builds the night's products from its pictures, each decoded once for all three:
//   keogram.jpg     the central column of every picture side by side, in order;
//   startrails.jpg  the per-pixel maximum of the dark pictures;
//   timelapse.mp4   one video frame per picture.
// Two threads decode while the encoder writes; memory does not grow with the
// number of pictures (a few frames in flight, one maximum, the keogram itself).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "station/Sun.h"

namespace korv {

struct NightOptions {
  std::string OutDir;
  int Fps = 25;
  double Brightest = 0.35;  // of full scale: brighter pictures stay out of the star trails
  std::optional<GeoPlace> Place;  // pictures taken with the sun above -15 degrees stay out too
  std::function<void(size_t done, size_t total)> Progress;
};

struct NightSummary {
  size_t Pictures = 0;  // decoded and in the keogram and the video
  size_t Skipped = 0;   // not decodable
  size_t InTrails = 0;
  bool TrailsFromDarkest = false;  // no picture qualified: the darkest stands in
  int VideoWidth = 0, VideoHeight = 0;
  std::string Problem;  // why the products could not be written; empty on success
};

// The sun's altitude below which pictures join the star trails.
inline constexpr double kTrailsSunAltitude = -15.0;

// The JPEG files (.jpg, .jpeg, any case) of `folders`, each folder's in name order.
std::vector<std::string> NightPictures(const std::vector<std::string>& folders);

NightSummary BuildNight(const std::vector<std::string>& pictures, const NightOptions& options);

}  // namespace korv
