#include "exposure/Brightness.h"

#include <array>

namespace korv {

std::optional<double> MeanBrightness(const DecodedPixels& p) {
  if (!p.Rows || p.Width <= 0 || p.Height <= 0 || (p.Channels != 1 && p.Channels != 3 && p.Channels != 4) ||
      p.Stride < size_t(p.Width) * size_t(p.Channels))
    return std::nullopt;
  // The 32-bit layout keeps blue first; RGB keeps red first.
  const int red = p.Channels == 4 ? 2 : 0, blue = p.Channels == 4 ? 0 : 2;
  std::array<uint64_t, 256> histogram{};
  for (int y = 0; y < p.Height; ++y) {
    const uint8_t* pixel = p.Rows + size_t(y) * p.Stride;
    for (int x = 0; x < p.Width; ++x, pixel += p.Channels) {
      unsigned luma = p.Channels == 1 ? pixel[0] : (77u * pixel[red] + 150u * pixel[1] + 29u * pixel[blue]) >> 8;
      ++histogram[luma];
    }
  }
  double sum = 0;
  for (size_t level = 0; level < histogram.size(); ++level) sum += double(level) * double(histogram[level]);
  return sum / (double(p.Width) * p.Height * 255);
}

}  // namespace korv
