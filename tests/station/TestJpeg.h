// JPEG pictures made on the spot for tests and benchmarks.
#pragma once

#include <cstdint>
#include <vector>

namespace korv::test {

// A width × height picture of smooth gradients (colour or grey), with
// pseudo-random noise of up to ±`noise` levels (a photograph's detail,
// which makes the data as large and slow to decode as a real picture's),
// encoded by libjpeg, in one scan or progressive.
std::vector<uint8_t> MakeJpeg(int width, int height, bool grey = false, int noise = 0, int quality = 85,
                              bool progressive = false);

}  // namespace korv::test
