#include "render/parametric.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "base/failure.h"
#include "render/pixel_math.h"
#include "render/portable_pow.h"

namespace velmora {
namespace {

using render_detail::clamp_double;
using render_detail::gray_world_gains;
using render_detail::nearest_byte;
using render_detail::Histograms;
using Lut = std::array<std::uint8_t, 256>;

void apply_luts(std::vector<std::uint8_t>& px, const std::array<Lut, 3>& luts) {
  for (std::size_t i = 0; i < px.size(); ++i) px[i] = luts[i % 3][px[i]];
}

void apply_lut(std::vector<std::uint8_t>& px, const Lut& lut) { apply_luts(px, {lut, lut, lut}); }

// First bin whose running total reaches count; 255 when none does.
int first_bin_reaching(const std::array<std::uint64_t, 256>& hist, std::uint64_t count) {
  std::uint64_t total = 0;
  for (int bin = 0; bin < 256; ++bin) {
    total += hist[bin];
    if (total >= count) return bin;
  }
  return 255;
}

void stretch_levels(std::vector<std::uint8_t>& px, std::uint64_t n, const StyleParams& p) {
  const Histograms h = render_detail::histograms(px);
  const auto low_count = static_cast<std::uint64_t>(static_cast<double>(n) * p.low_percentile);
  const auto high_count = static_cast<std::uint64_t>(static_cast<double>(n) * p.high_percentile);
  std::array<Lut, 3> luts{};
  for (int ch = 0; ch < 3; ++ch) {
    int lo = first_bin_reaching(h[ch], low_count);
    int hi = first_bin_reaching(h[ch], high_count);
    if (hi <= lo + 4) lo = 0, hi = 255;
    for (int c = 0; c < 256; ++c) {
      luts[ch][c] = nearest_byte(static_cast<double>((c - lo) * 255) / static_cast<double>(hi - lo));
    }
  }
  apply_luts(px, luts);
}

void balance_white(std::vector<std::uint8_t>& px, std::uint64_t n, double strength) {
  const std::array<double, 3> gains = gray_world_gains(px, n);
  const double s = clamp_double(strength, 0.0, 1.0);
  std::array<Lut, 3> luts{};
  for (int ch = 0; ch < 3; ++ch) {
    const double factor = (gains[ch] - 1.0) * s + 1.0;
    for (int c = 0; c < 256; ++c) luts[ch][c] = nearest_byte(c * factor);
  }
  apply_luts(px, luts);
}

// Ties: every step's argument is a fixed sequence of IEEE operations, so a
// value that lands on .5 (levels with an even hi - lo, contrast 0.5) does so
// on every platform and rounds up. The powers here are correctly rounded and
// irrational away from the ends (0 and 1 map exactly), so they never sit on
// a tie.
Lut tone_curve(double gamma) {
  Lut lut{};
  for (int c = 0; c < 256; ++c) lut[c] = nearest_byte(portable_pow(c / 255.0, gamma) * 255.0);
  return lut;
}

Lut contrast_curve(double contrast) {
  Lut lut{};
  for (int c = 0; c < 256; ++c) lut[c] = nearest_byte((c - 128) * contrast + 128.0);
  return lut;
}

double luma(double r, double g, double b) { return 0.587 * g + 0.299 * r + 0.114 * b; }

void saturate(std::vector<std::uint8_t>& px, double saturation) {
  for (std::size_t i = 0; i + 2 < px.size(); i += 3) {
    const double y = luma(px[i], px[i + 1], px[i + 2]);
    for (std::size_t ch = 0; ch < 3; ++ch) px[i + ch] = nearest_byte((px[i + ch] - y) * saturation + y);
  }
}

Lut highlight_curve(double shaping) {
  const double k = clamp_double(shaping, 0.0, 1.5) + 1.0;
  const double d = 1.0 - 0.7;  // 0.30000000000000004, as the curve is defined
  Lut lut{};
  for (int c = 0; c < 256; ++c) {
    const double x = c / 255.0;
    lut[c] = x > 0.7 ? nearest_byte((portable_pow((x - 0.7) / d, k) * d + 0.7) * 255.0) : static_cast<std::uint8_t>(c);
  }
  return lut;
}

// Pulls each row's mean luma towards the mean of its two neighbours on
// either side; all gains come from the unchanged image.
void destripe(std::vector<std::uint8_t>& px, std::int32_t width, std::int32_t height, double strength) {
  const double s = clamp_double(strength, 0.0, 1.0);
  const auto w = static_cast<std::size_t>(width);
  const auto h = static_cast<std::size_t>(height);
  std::vector<double> means(h);
  for (std::size_t y = 0; y < h; ++y) {
    double sum = 0.0;
    const std::uint8_t* row = px.data() + y * w * 3;
    for (std::size_t x = 0; x < w; ++x) sum += luma(row[x * 3], row[x * 3 + 1], row[x * 3 + 2]);
    means[y] = sum / static_cast<double>(width);
  }
  std::vector<double> gains(h, 1.0);
  for (std::size_t y = 0; y < h; ++y) {
    if (!(means[y] > 2.0)) continue;
    double sum = 0.0;
    int count = 0;
    for (const std::ptrdiff_t dy : {-2, -1, 1, 2}) {
      const std::ptrdiff_t ny = static_cast<std::ptrdiff_t>(y) + dy;
      if (ny < 0 || ny >= static_cast<std::ptrdiff_t>(h)) continue;
      sum += means[static_cast<std::size_t>(ny)];
      ++count;
    }
    const double ratio = clamp_double(sum / count / means[y], 0.94, 1.06);
    gains[y] = (ratio - 1.0) * s + 1.0;
  }
  for (std::size_t y = 0; y < h; ++y) {
    std::uint8_t* row = px.data() + y * w * 3;
    for (std::size_t i = 0; i < w * 3; ++i) row[i] = nearest_byte(row[i] * gains[y]);
  }
}

}  // namespace

RgbImage render_parametric(const RgbImage& baseline, const StyleParams& p) {
  if (!render_detail::well_formed(baseline)) throw Failure("Invalid baseline RGB image");
  if (!(p.low_percentile >= 0.0 && p.low_percentile < p.high_percentile && p.high_percentile <= 1.0)) {
    throw Failure("Invalid percentile range");
  }
  if (!(p.gamma > 0.0)) throw Failure("Gamma must be positive");

  RgbImage image = baseline;
  std::vector<std::uint8_t>& px = image.pixels;
  const std::uint64_t n = px.size() / 3;
  stretch_levels(px, n, p);
  if (p.white_balance_strength > 0.0) balance_white(px, n, p.white_balance_strength);
  apply_lut(px, tone_curve(p.gamma));
  if (std::fabs(p.contrast - 1.0) > 1e-9) apply_lut(px, contrast_curve(p.contrast));
  if (std::fabs(p.saturation - 1.0) > 1e-9) saturate(px, p.saturation);
  if (p.highlight_shaping > 0.0) apply_lut(px, highlight_curve(p.highlight_shaping));
  if (p.destripe_strength > 0.0 && image.height >= 5) destripe(px, image.width, image.height, p.destripe_strength);
  return image;
}

}  // namespace velmora
