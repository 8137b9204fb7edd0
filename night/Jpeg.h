// Pictures in and out of JPEG files for the night's products (libjpeg-turbo).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korv {

struct RgbImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Pixels;  // rows of R, G, B bytes
  uint8_t* Row(int y) { return Pixels.data() + size_t(y) * size_t(Width) * 3; }
  const uint8_t* Row(int y) const { return Pixels.data() + size_t(y) * size_t(Width) * 3; }
};

// Files larger than this are no pictures of a sky camera.
inline constexpr uint64_t kMaxJpegFileBytes = 64ull << 20;

// Decodes the JPEG file `path` into `image` (its buffer reused), scaled down by
// libjpeg's DCT scaling until it has at most `maxPixels` pixels; false with the
// cause in `problem` for a file too large, unreadable or no decodable JPEG.
bool DecodeJpegFile(const std::string& path, uint64_t maxPixels, RgbImage& image, std::string* problem);

// The size DecodeJpegFile would give, from the file's header alone.
bool ReadJpegSize(const std::string& path, uint64_t maxPixels, int* width, int* height, std::string* problem);

// Writes `image` as a JPEG of `quality` under `path`: written beside it under a
// temporary name, then renamed, so the name never holds half a picture.
bool WriteJpegFile(const std::string& path, const RgbImage& image, int quality, std::string* problem);

}  // namespace korv
