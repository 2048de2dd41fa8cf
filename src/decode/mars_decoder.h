#pragma once
// Raw photo container (12-byte header, then samples or a Mars bit stream) and
// the Mars decompressor. Pure functions; every fault throws Failure.

#include <cstdint>
#include <span>
#include <vector>

#include "base/camera_format.h"
#include "decode/bayer_plane.h"

namespace velmora {

inline constexpr std::int64_t kMaxImageSamples = 16777216;
inline constexpr std::size_t kMaxCompressedStreamBytes = 16777216;
inline constexpr std::int32_t kMinMarsDimension = 2;
inline constexpr std::int32_t kMaxMarsDimension = 4096;

// Decoder variants: 0 normal; 1-7 start reading the stream at that bit
// offset; 8 apply every code delta with the opposite sign; others act as 0.
inline constexpr std::uint8_t kMarsVariantSwapSigns = 8;

BayerPlane decode_raw_photo(std::span<const std::uint8_t> raw, std::int32_t width, std::int32_t height, bool compressed,
                            std::uint8_t variant);
// The same into plane, whose buffer is reused; after a failure its contents
// are unspecified.
void decode_raw_photo(std::span<const std::uint8_t> raw, std::int32_t width, std::int32_t height, bool compressed,
                      std::uint8_t variant, BayerPlane& plane);

// `stream` is the raw photo without its 12 header bytes.
std::vector<std::uint8_t> decompress_mars(std::span<const std::uint8_t> stream, std::int32_t width, std::int32_t height,
                                          std::uint8_t variant);
void decompress_mars(std::span<const std::uint8_t> stream, std::int32_t width, std::int32_t height,
                     std::uint8_t variant, std::vector<std::uint8_t>& samples);

}  // namespace velmora
