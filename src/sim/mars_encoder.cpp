#include "sim/mars_encoder.h"

#include <algorithm>
#include <cstdlib>

#include "base/failure.h"
#include "decode/mars_code.h"
#include "decode/mars_decoder.h"

namespace velmora::sim {
namespace {

class MsbBitWriter {
 public:
  void put(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      if (used_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1u) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> (used_ % 8));
      ++used_;
    }
  }
  std::vector<std::uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t used_ = 0;
};

struct Choice {
  const MarsCode* code;
  int value;  // what the decoder will store
};

const MarsCode& literal_code() {
  for (const MarsCode& code : kMarsCodes) {
    if (code.literal) return code;
  }
  return kMarsCodes.back();
}

// The nearest reachable value; on a tie the shorter code.
Choice choose(int target, int prediction) {
  const MarsCode& literal = literal_code();
  Choice best{&literal, std::min((target + 4) / 8, 31) * 8};
  int best_bits = literal.length + kMarsLiteralBits;
  for (const MarsCode& code : kMarsCodes) {
    if (code.literal) continue;
    const int value = std::clamp(prediction + code.delta, 0, 255);
    const int error = std::abs(value - target);
    const int best_error = std::abs(best.value - target);
    if (error < best_error || (error == best_error && code.length < best_bits)) {
      best = Choice{&code, value};
      best_bits = code.length;
    }
  }
  return best;
}

}  // namespace

std::vector<std::uint8_t> encode_mars(const BayerPlane& plane) {
  const int width = plane.width;
  const int height = plane.height;
  if (width < kMinMarsDimension || height < kMinMarsDimension || width > kMaxMarsDimension ||
      height > kMaxMarsDimension ||
      plane.samples.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    throw Failure("Invalid Bayer plane for Mars encoding");
  }
  // Predictions must come from what the decoder will have, not from the target.
  std::vector<std::uint8_t> decoded(plane.samples.size());
  MsbBitWriter out;
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      const std::size_t at = static_cast<std::size_t>(row) * width + col;
      const int target = plane.samples[at];
      if (row < 2 && col < 2) {
        out.put(static_cast<std::uint32_t>(target), 8);
        decoded[at] = static_cast<std::uint8_t>(target);
        continue;
      }
      const Choice choice = choose(target, predict_mars_sample(decoded.data(), width, row, col));
      out.put(choice.code->pattern, choice.code->length);
      if (choice.code->literal) out.put(static_cast<std::uint32_t>(choice.value >> 3), kMarsLiteralBits);
      decoded[at] = static_cast<std::uint8_t>(choice.value);
    }
  }
  return out.take();
}

}  // namespace velmora::sim
