#pragma once
// The Mars code table and the sample prediction, shared by the decompressor
// and the simulator's encoder so that both predict from the same neighbours.

#include <array>
#include <cstdint>

namespace velmora {

struct MarsCode {
  std::uint8_t pattern;  // the leading bits, right-aligned
  std::uint8_t length;   // bits consumed
  std::int16_t delta;
  bool literal;          // five value bits follow; no prediction
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

// Classifies the next 8 stream bits (most significant first) by their prefix.
const MarsCode& classify_mars_code(std::uint8_t next8);

// Prediction for the non-seed sample at (row, col) from the samples already
// produced; `samples` is the row-major plane of width `width`, filled up to
// (row, col - 1). Requires row >= 2 or col >= 2.
int predict_mars_sample(const std::uint8_t* samples, int width, int row, int col);

}  // namespace velmora
