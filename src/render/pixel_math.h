#pragma once
// Rounding and checks shared by the render pipelines.

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "render/rgb_image.h"

namespace velmora::render_detail {

inline std::uint8_t clamp_byte(long long v) {
  return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Nearest integer, halves away from zero, then clamped to 0..255. NaN
// (only reachable through degenerate parameters) stores 0.
inline std::uint8_t nearest_byte(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 255.0) return 255;
  return static_cast<std::uint8_t>(std::round(v));
}

// Drops the fraction (toward zero), then clamped to 0..255.
inline std::uint8_t truncate_byte(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 255.0) return 255;
  return static_cast<std::uint8_t>(v);
}

inline double clamp_double(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

// width >= 1, height >= 1 and exactly width * height * 3 pixel bytes.
inline bool well_formed(const RgbImage& image) {
  return image.width >= 1 && image.height >= 1 &&
         image.pixels.size() == static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height) * 3u;
}

using Histograms = std::array<std::array<std::uint64_t, 256>, 3>;

// One 256-bin histogram per channel of interleaved RGB bytes.
inline Histograms histograms(const std::vector<std::uint8_t>& px) {
  Histograms h{};
  for (std::size_t i = 0; i < px.size(); ++i) ++h[i % 3][px[i]];
  return h;
}

// Gray-world gains: gray / channel mean with gray = (green + red + blue
// means) / 3 (summed in that order), 1.0 for a zero mean, each clamped to
// 0.35..3.0. px must hold n >= 1 pixels.
inline std::array<double, 3> gray_world_gains(const std::vector<std::uint8_t>& px, std::uint64_t n) {
  std::array<std::uint64_t, 3> sums{};
  for (std::size_t i = 0; i < px.size(); ++i) sums[i % 3] += px[i];
  std::array<double, 3> means{};
  for (int ch = 0; ch < 3; ++ch) means[ch] = static_cast<double>(sums[ch]) / static_cast<double>(n);
  const double gray = (means[1] + means[0] + means[2]) / 3.0;
  std::array<double, 3> gains{};
  for (int ch = 0; ch < 3; ++ch) gains[ch] = means[ch] == 0.0 ? 1.0 : clamp_double(gray / means[ch], 0.35, 3.0);
  return gains;
}

}  // namespace velmora::render_detail
