// The brightness of a picture, measured on the pixels its preview already
// decoded: the mean of a histogram of their luma, 0 (black) .. 1 (white).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace korv {

// Decoded rows of a picture: `channels` bytes a pixel (3 = RGB, 4 = the
// blue, green, red and unused byte of a 32-bit picture, 1 = grey).
struct DecodedPixels {
  const uint8_t* Rows = nullptr;
  int Width = 0, Height = 0;
  size_t Stride = 0;  // bytes from one row to the next
  int Channels = 3;
};

// Nothing for a picture without pixels or with rows that don't fit its stride.
std::optional<double> MeanBrightness(const DecodedPixels& picture);

}  // namespace korv
