// The Mars decoder and the raw photo container: any stream, any dimensions,
// any decoder variant. A fault must be a Failure; a result has every sample.

#include <algorithm>

#include "base/failure.h"
#include "decode/mars_decoder.h"
#include "fuzz/harness.h"

using namespace velmora;
using fuzzing::require;

// Input: width and height (16-bit little-endian, signed), a flags byte (bit 0
// compressed, bit 1 with the 12-byte container header), the decoder variant,
// then the stream.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const auto width = static_cast<std::int32_t>(static_cast<std::int16_t>(data[0] | data[1] << 8));
  const auto height = static_cast<std::int32_t>(static_cast<std::int16_t>(data[2] | data[3] << 8));
  const bool compressed = data[4] & 1;
  const bool with_header = data[4] & 2;
  const std::uint8_t variant = data[5];
  const std::span<const std::uint8_t> bytes(data + 6, size - 6);
  const auto samples = static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
  try {
    if (with_header) {
      const BayerPlane plane = decode_raw_photo(bytes, width, height, compressed, variant);
      require(plane.width == width && plane.height == height && plane.samples.size() == samples,
              "plane does not match its dimensions");
    } else {
      require(decompress_mars(bytes, width, height, variant).size() == samples,
              "decompressed size does not match the dimensions");
    }
  } catch (const Failure&) {
  }
  return 0;
}
