#pragma once

#include <cstdint>
#include <vector>

namespace velmora {

// width x height pixels, row-major from the top row, red, green, blue per pixel.
struct RgbImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> pixels;
};

}  // namespace velmora
