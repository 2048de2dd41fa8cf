#include "decode/mars_code.h"

#include <cstddef>

namespace velmora {
namespace {

constexpr std::array<std::uint8_t, 256> build_code_index() {
  std::array<std::uint8_t, 256> index{};
  for (int value = 0; value < 256; ++value) {
    for (std::size_t i = 0; i < kMarsCodes.size(); ++i) {
      if ((value >> (8 - kMarsCodes[i].length)) == kMarsCodes[i].pattern) {
        index[static_cast<std::size_t>(value)] = static_cast<std::uint8_t>(i);
      }
    }
  }
  return index;
}

constexpr std::array<std::uint8_t, 256> kCodeIndex = build_code_index();

}  // namespace

const MarsCode& classify_mars_code(std::uint8_t next8) { return kMarsCodes[kCodeIndex[next8]]; }

int predict_mars_sample(const std::uint8_t* samples, int width, int row, int col) {
  const auto at = [&](int r, int c) -> int { return samples[static_cast<std::size_t>(r) * width + c]; };
  if (row < 2) return at(row, col - 2);
  const int up = at(row - 2, col);
  if (col < 2) {
    // Near the right edge there is no sample two columns on; the one above stands in.
    const int up_right = col >= width - 2 ? up : at(row - 2, col + 2);
    return (up_right + up) / 2;
  }
  const int left = at(row, col - 2);
  const int up_left = at(row - 2, col - 2);
  if (col <= width - 3) return (left + up_left / 2 + up + at(row - 2, col + 2) / 2 + 1) / 3;
  return (left + up_left + up + 1) / 3;
}

}  // namespace velmora
