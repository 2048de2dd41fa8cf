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
  explicit MsbBitWriter(std::size_t expected_bytes) { bytes_.reserve(expected_bytes); }
  // count <= 24
  void put(std::uint32_t value, int count) {
    pending_ = (pending_ << count) | (value & ((1u << count) - 1));
    pending_bits_ += count;
    while (pending_bits_ >= 8) {
      pending_bits_ -= 8;
      bytes_.push_back(static_cast<std::uint8_t>(pending_ >> pending_bits_));
    }
  }
  std::vector<std::uint8_t> take() {
    if (pending_bits_ > 0) bytes_.push_back(static_cast<std::uint8_t>(pending_ << (8 - pending_bits_)));
    pending_bits_ = 0;
    return std::move(bytes_);
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint64_t pending_ = 0;
  int pending_bits_ = 0;
};

int literal_value(int target) { return std::min((target + 4) / 8, 31) * 8; }

// The nearest reachable value for (prediction, target); on a tie the shorter
// code. Index into kMarsCodes.
std::uint8_t best_code(int prediction, int target) {
  std::uint8_t best = 0;
  int best_error = 1 << 20;
  int best_bits = 1 << 20;
  for (std::size_t i = 0; i < kMarsCodes.size(); ++i) {
    const MarsCode& code = kMarsCodes[i];
    const int value = code.literal ? literal_value(target) : std::clamp(prediction + code.delta, 0, 255);
    const int error = std::abs(value - target);
    const int bits = code.length + (code.literal ? kMarsLiteralBits : 0);
    if (error < best_error || (error == best_error && bits < best_bits)) {
      best = static_cast<std::uint8_t>(i);
      best_error = error;
      best_bits = bits;
    }
  }
  return best;
}

// Every (prediction, target) pair has a fixed answer; a table keeps the
// simulator's start-up fast.
const std::vector<std::uint8_t>& choice_table() {
  static const std::vector<std::uint8_t> table = [] {
    std::vector<std::uint8_t> t(256 * 256);
    for (int prediction = 0; prediction < 256; ++prediction) {
      for (int target = 0; target < 256; ++target) t[prediction * 256 + target] = best_code(prediction, target);
    }
    return t;
  }();
  return table;
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
  const std::vector<std::uint8_t>& choices = choice_table();
  std::vector<std::uint8_t> decoded(plane.samples.size());
  MsbBitWriter out(plane.samples.size() / 2);
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      const std::size_t at = static_cast<std::size_t>(row) * width + col;
      const int target = plane.samples[at];
      if (row < 2 && col < 2) {
        out.put(static_cast<std::uint32_t>(target), 8);
        decoded[at] = static_cast<std::uint8_t>(target);
        continue;
      }
      const int prediction = predict_mars_sample(decoded.data(), width, row, col);
      const MarsCode& code = kMarsCodes[choices[static_cast<std::size_t>(prediction * 256 + target)]];
      out.put(code.pattern, code.length);
      int value = 0;
      if (code.literal) {
        value = literal_value(target);
        out.put(static_cast<std::uint32_t>(value >> 3), kMarsLiteralBits);
      } else {
        value = std::clamp(prediction + code.delta, 0, 255);
      }
      decoded[at] = static_cast<std::uint8_t>(value);
    }
  }
  return out.take();
}

}  // namespace velmora::sim
