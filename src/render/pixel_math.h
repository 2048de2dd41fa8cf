#pragma once
// Rounding and checks shared by the render pipelines.

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "render/rgb_image.h"

namespace velmora::render_detail {

inline std::uint8_t clamp_byte(long long v) { return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Nearest integer, halves away from zero, then clamped to 0..255. NaN
// (only reachable through degenerate parameters) stores 0.
// Equals std::round without the library call: for 0 < v < 255, t = (int)v is
// floor(v) and v - t is exact (t = 0, or t <= v < 2t), so the comparison sees
// the true fraction.
inline std::uint8_t nearest_byte(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 255.0) return 255;
  const int t = static_cast<int>(v);
  return static_cast<std::uint8_t>(t + (v - t >= 0.5 ? 1 : 0));
}

// nearest_byte of n values at once, written to out; values and scratch are
// overwritten. Written as four plain loops the compiler vectorises (a select
// next to arithmetic keeps GCC from vectorising under -ftrapping-math).
// Exact: after the same clamp (NaN to 0), (c + 2^52) - 2^52 is c rounded to
// the nearest integer with ties to even, and d = c minus that is exact
// (Sterbenz, or c < 1). Ties to even differ from halves away from zero only
// on a tie with an even floor, which is exactly d == +0.5.
[[gnu::always_inline]] inline void nearest_bytes(double* values, double* scratch, std::int32_t* out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const double low = values[i] > 0.0 ? values[i] : 0.0;
    values[i] = low < 255.0 ? low : 255.0;
  }
  constexpr double kShift = 4503599627370496.0;  // 2^52
  for (std::size_t i = 0; i < n; ++i) {
    const double even = (values[i] + kShift) - kShift;
    scratch[i] = values[i] - even;
    values[i] = even;
  }
  for (std::size_t i = 0; i < n; ++i) scratch[i] = scratch[i] == 0.5 ? 1.0 : 0.0;
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::int32_t>(values[i] + scratch[i]);
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
using Lut = std::array<std::uint8_t, 256>;
using ChannelLuts = std::array<Lut, 3>;

// One 256-bin histogram per channel of interleaved RGB bytes. Alternate
// pixels count into separate tables, so runs of equal values do not wait on
// each other's increments; the tables are added up at the end.
inline Histograms histograms(const std::vector<std::uint8_t>& px) {
  std::array<std::array<std::uint64_t, 256>, 6> part{};
  const std::size_t pixels = px.size() / 3;
  const std::uint8_t* p = px.data();
  std::size_t i = 0;
  for (; i + 2 <= pixels; i += 2, p += 6) {
    ++part[0][p[0]];
    ++part[1][p[1]];
    ++part[2][p[2]];
    ++part[3][p[3]];
    ++part[4][p[4]];
    ++part[5][p[5]];
  }
  if (i < pixels) {
    ++part[0][p[0]];
    ++part[1][p[1]];
    ++part[2][p[2]];
  }
  Histograms h{};
  for (int ch = 0; ch < 3; ++ch) {
    for (int c = 0; c < 256; ++c) h[ch][c] = part[ch][c] + part[ch + 3][c];
  }
  return h;
}

// The histograms of the image after mapping every value through luts.
inline Histograms mapped_histograms(const Histograms& h, const ChannelLuts& luts) {
  Histograms out{};
  for (int ch = 0; ch < 3; ++ch) {
    for (int c = 0; c < 256; ++c) out[ch][luts[ch][c]] += h[ch][c];
  }
  return out;
}

// Each channel's value total, exactly as summing its bytes would give it.
inline std::array<std::uint64_t, 3> channel_sums(const Histograms& h) {
  std::array<std::uint64_t, 3> sums{};
  for (int ch = 0; ch < 3; ++ch) {
    for (int c = 0; c < 256; ++c) sums[ch] += h[ch][c] * static_cast<std::uint64_t>(c);
  }
  return sums;
}

// luts[ch] followed by then[ch].
inline void then_apply(ChannelLuts& luts, const ChannelLuts& then) {
  for (int ch = 0; ch < 3; ++ch) {
    for (auto& v : luts[ch]) v = then[ch][v];
  }
}

// Every channel's table followed by the same one.
inline void then_apply(ChannelLuts& luts, const Lut& then) {
  for (auto& lut : luts) {
    for (auto& v : lut) v = then[v];
  }
}

// Maps every value of interleaved RGB bytes through its channel's table.
inline void apply_luts(std::vector<std::uint8_t>& px, const ChannelLuts& luts) {
  const std::size_t end = px.size() - px.size() % 3;
  for (std::size_t i = 0; i < end; i += 3) {
    px[i] = luts[0][px[i]];
    px[i + 1] = luts[1][px[i + 1]];
    px[i + 2] = luts[2][px[i + 2]];
  }
}

// Gray-world gains: gray / channel mean with gray = (green + red + blue
// means) / 3 (summed in that order), 1.0 for a zero mean, each clamped to
// 0.35..3.0. sums are the channel totals over n >= 1 pixels.
inline std::array<double, 3> gray_world_gains(const std::array<std::uint64_t, 3>& sums, std::uint64_t n) {
  std::array<double, 3> means{};
  for (int ch = 0; ch < 3; ++ch) means[ch] = static_cast<double>(sums[ch]) / static_cast<double>(n);
  const double gray = (means[1] + means[0] + means[2]) / 3.0;
  std::array<double, 3> gains{};
  for (int ch = 0; ch < 3; ++ch) gains[ch] = means[ch] == 0.0 ? 1.0 : clamp_double(gray / means[ch], 0.35, 3.0);
  return gains;
}

}  // namespace velmora::render_detail
