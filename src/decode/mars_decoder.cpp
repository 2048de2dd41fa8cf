#include "decode/mars_decoder.h"

#include <algorithm>

#include "base/failure.h"
#include "decode/bit_reader.h"
#include "decode/mars_code.h"

namespace velmora {
namespace {

// Three zero bytes let the 8-bit look-ahead run to the end of the real
// stream; all "bits remaining" checks count them.
constexpr std::size_t kStreamPadding = 3;

std::size_t start_bit_for(std::uint8_t variant) { return variant >= 1 && variant <= 7 ? variant : 0; }

// The most a sample can take: the longest code, the literal's, and its value.
constexpr std::size_t kMaxSampleBits = 5 + kMarsLiteralBits;

// A row (not one of the two seed rows) whose samples all have their bits in
// the stream even if every one were a literal, with a 32-bit window to
// spare: no check of the general loop can fail in it, so it reads each
// sample's code and value from one window without checking.
bool row_cannot_run_out(const MsbBitReader& bits, std::int32_t width) {
  return bits.remaining() >= kMaxSampleBits * static_cast<std::size_t>(width) + 32;
}

void decode_full_row(MsbBitReader& bits, std::uint8_t* samples, std::int32_t width, int row, int sign) {
  std::uint8_t* out = samples + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
  for (int col = 0; col < width; ++col) {
    const std::uint32_t window = bits.window32();
    const MarsCode& code = classify_mars_code(static_cast<std::uint8_t>(window >> 24));
    int value = 0;
    if (code.literal) {
      value = static_cast<int>((window << code.length) >> (32 - kMarsLiteralBits)) << 3;
      bits.skip(code.length + kMarsLiteralBits);
    } else {
      value = predict_mars_sample(samples, width, row, col) + sign * code.delta;
      bits.skip(code.length);
    }
    out[col] = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
  }
}

}  // namespace

void decompress_mars(std::span<const std::uint8_t> stream, std::int32_t width, std::int32_t height,
                     std::uint8_t variant, std::vector<std::uint8_t>& samples) {
  if (width < kMinMarsDimension || height < kMinMarsDimension || width > kMaxMarsDimension ||
      height > kMaxMarsDimension) {
    throw Failure("Unsupported Mars dimensions");
  }
  if (stream.size() > kMaxCompressedStreamBytes) throw Failure("Compressed payload exceeds safety cap");

  std::vector<std::uint8_t> padded;
  padded.reserve(stream.size() + kStreamPadding);
  padded.assign(stream.begin(), stream.end());
  padded.resize(stream.size() + kStreamPadding, 0);

  MsbBitReader bits(padded, start_bit_for(variant));
  const int sign = variant == kMarsVariantSwapSigns ? -1 : 1;
  const std::size_t total = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  samples.resize(total);
  std::uint8_t* out = samples.data();

  for (int row = 0; row < height; ++row) {
    if (row >= 2 && row_cannot_run_out(bits, width)) {
      decode_full_row(bits, samples.data(), width, row, sign);
      out += width;
      continue;
    }
    for (int col = 0; col < width; ++col) {
      if (row < 2 && col < 2) {
        if (bits.remaining() < 8) throw Failure("Incomplete compressed row seed");
        *out++ = static_cast<std::uint8_t>(bits.read(8));
        continue;
      }
      if (bits.remaining() < 8) throw Failure("Truncated compressed Mars symbol");
      const MarsCode& code = classify_mars_code(static_cast<std::uint8_t>(bits.peek(8)));
      bits.skip(code.length);
      int value = 0;
      if (code.literal) {
        if (bits.remaining() < 8) throw Failure("Truncated Mars literal");
        value = static_cast<int>(bits.read(kMarsLiteralBits)) << 3;
      } else {
        value = predict_mars_sample(samples.data(), width, row, col) + sign * code.delta;
      }
      *out++ = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
    }
  }
  if (static_cast<std::size_t>(out - samples.data()) != total) {
    throw Failure("Mars decompressor produced wrong image size");
  }
}

std::vector<std::uint8_t> decompress_mars(std::span<const std::uint8_t> stream, std::int32_t width, std::int32_t height,
                                          std::uint8_t variant) {
  std::vector<std::uint8_t> samples;
  decompress_mars(stream, width, height, variant, samples);
  return samples;
}

void decode_raw_photo(std::span<const std::uint8_t> raw, std::int32_t width, std::int32_t height, bool compressed,
                      std::uint8_t variant, BayerPlane& plane) {
  if (width <= 0 || height <= 0 || raw.size() < kRawHeaderBytes) throw Failure("Invalid Mars raw photo");
  const std::int64_t sample_count = static_cast<std::int64_t>(width) * height;
  if (sample_count > kMaxImageSamples) throw Failure("Image exceeds safety cap");

  plane.width = width;
  plane.height = height;
  const auto data = raw.subspan(kRawHeaderBytes);
  if (compressed) {
    decompress_mars(data, width, height, variant, plane.samples);
    return;
  }
  if (data.size() != static_cast<std::uint64_t>(sample_count)) {
    throw Failure("Non-compressed Mars payload length mismatch");
  }
  plane.samples.assign(data.begin(), data.end());
}

BayerPlane decode_raw_photo(std::span<const std::uint8_t> raw, std::int32_t width, std::int32_t height, bool compressed,
                            std::uint8_t variant) {
  BayerPlane plane;
  decode_raw_photo(raw, width, height, compressed, variant, plane);
  return plane;
}

}  // namespace velmora
