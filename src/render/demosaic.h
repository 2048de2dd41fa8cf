#pragma once
// Bilinear demosaic of a Bayer plane under one of the four 2 x 2 patterns.

#include <cstdint>
#include <span>
#include <string>

#include "render/rgb_image.h"

namespace velmora {

// BayerPattern numbers; the user interface and the download job pass these.
enum BayerPattern : std::int32_t {
  kPatternRggb = 0,
  kPatternBggr = 1,  // the default ("BGGR (Auto)")
  kPatternGrbg = 2,
  kPatternGbrg = 3,
};

// "rggb", "bggr", "grbg", "gbrg"; "unknown" for any other number.
std::string bayer_pattern_name(std::int32_t pattern);

// raw holds the raw photo layout: 12 ignored header bytes, then the samples,
// sample (x, y) at byte 12 + y * width + x. Edge pixels reuse their own row or
// column for missing neighbours; all averages truncate.
// Throws Failure "Invalid image dimensions", "Raw photo is shorter than
// 12-byte header plus width*height Bayer samples", or "Unknown Bayer pattern"
// for a pattern number outside 0..3.
RgbImage demosaic_baseline(std::span<const std::uint8_t> raw, std::int32_t width, std::int32_t height,
                           std::int32_t pattern);
// The same into out, whose buffer is reused.
void demosaic_baseline(std::span<const std::uint8_t> raw, std::int32_t width, std::int32_t height, std::int32_t pattern,
                       RgbImage& out);

namespace render_detail {
// demosaic_baseline on width * height samples without the header; the
// caller has checked the sample count.
void demosaic_plane(const std::uint8_t* samples, std::int32_t width, std::int32_t height, std::int32_t pattern,
                    RgbImage& out);
}  // namespace render_detail

}  // namespace velmora
