#pragma once

#include <cstdint>
#include <vector>

namespace velmora {

// width x height 8-bit samples, row-major from the top row. Which colour each
// sample carries is decided at render time by the Bayer pattern.
struct BayerPlane {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> samples;
};

}  // namespace velmora
