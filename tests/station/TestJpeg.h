// JPEG pictures made on the spot for tests and benchmarks.
#pragma once

#include <cstdint>
#include <vector>

namespace korv::test {

// A width × height picture of smooth gradients (colour or grey), encoded by libjpeg.
std::vector<uint8_t> MakeJpeg(int width, int height, bool grey = false, int quality = 85);

}  // namespace korv::test
