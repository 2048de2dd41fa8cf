#pragma once
// The Mars code table and the sample prediction, shared by the decompressor
// and the simulator's encoder so that both predict from the same neighbours.

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmora {

struct MarsCode {
  std::uint8_t pattern;  // the leading bits, right-aligned
  std::uint8_t length;   // bits consumed
  std::int16_t delta;
  bool literal;  // five value bits follow; no prediction
};

// Prefix-free: every 8-bit look-ahead starts with exactly one of these.
inline constexpr std::array<MarsCode, 8> kMarsCodes = {{
    {0b0, 1, 0, false},
    {0b101, 3, +3, false},
    {0b110, 3, -3, false},
    {0b1000, 4, +8, false},
    {0b1001, 4, -8, false},
    {0b1111, 4, -20, false},
    {0b11100, 5, +20, false},
    {0b11101, 5, 0, true},
}};

inline constexpr int kMarsLiteralBits = 5;

namespace mars_detail {

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

inline constexpr std::array<std::uint8_t, 256> kCodeIndex = build_code_index();

}  // namespace mars_detail

// Classifies the next 8 stream bits (most significant first) by their prefix.
// Inline with the prediction below: the decoder calls both once per sample.
inline const MarsCode& classify_mars_code(std::uint8_t next8) { return kMarsCodes[mars_detail::kCodeIndex[next8]]; }

// Prediction for the non-seed sample at (row, col) from the samples already
// produced; `samples` is the row-major plane of width `width`, filled up to
// (row, col - 1). Requires row >= 2 or col >= 2.
inline int predict_mars_sample(const std::uint8_t* samples, int width, int row, int col) {
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
