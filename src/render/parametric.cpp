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

using render_detail::ChannelLuts;
using render_detail::clamp_double;
using render_detail::Histograms;
using render_detail::Lut;
using render_detail::nearest_byte;

// Every step but saturation and destriping maps each channel value on its
// own, so consecutive steps fold into one table per channel; the statistics
// the white balance needs come from the histograms pushed through the tables
// (integer totals, the same as summing the bytes).

// First bin whose running total reaches count; 255 when none does.
int first_bin_reaching(const std::array<std::uint64_t, 256>& hist, std::uint64_t count) {
  std::uint64_t total = 0;
  for (int bin = 0; bin < 256; ++bin) {
    total += hist[bin];
    if (total >= count) return bin;
  }
  return 255;
}

ChannelLuts levels_luts(const Histograms& h, std::uint64_t n, const StyleParams& p) {
  const auto low_count = static_cast<std::uint64_t>(static_cast<double>(n) * p.low_percentile);
  const auto high_count = static_cast<std::uint64_t>(static_cast<double>(n) * p.high_percentile);
  ChannelLuts luts{};
  for (int ch = 0; ch < 3; ++ch) {
    int lo = first_bin_reaching(h[ch], low_count);
    int hi = first_bin_reaching(h[ch], high_count);
    if (hi <= lo + 4) lo = 0, hi = 255;
    for (int c = 0; c < 256; ++c) {
      luts[ch][c] = nearest_byte(static_cast<double>((c - lo) * 255) / static_cast<double>(hi - lo));
    }
  }
  return luts;
}

ChannelLuts white_balance_luts(const Histograms& h, std::uint64_t n, double strength) {
  const std::array<double, 3> gains = render_detail::gray_world_gains(render_detail::channel_sums(h), n);
  const double s = clamp_double(strength, 0.0, 1.0);
  ChannelLuts luts{};
  for (int ch = 0; ch < 3; ++ch) {
    const double factor = (gains[ch] - 1.0) * s + 1.0;
    for (int c = 0; c < 256; ++c) luts[ch][c] = nearest_byte(c * factor);
  }
  return luts;
}

// luts[ch] followed by then[ch].
void then_apply(ChannelLuts& luts, const ChannelLuts& then) {
  for (int ch = 0; ch < 3; ++ch) {
    for (auto& v : luts[ch]) v = then[ch][v];
  }
}

void then_apply(ChannelLuts& luts, const Lut& then) {
  for (auto& lut : luts) {
    for (auto& v : lut) v = then[v];
  }
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

Lut identity_lut() {
  Lut lut{};
  for (int c = 0; c < 256; ++c) lut[c] = static_cast<std::uint8_t>(c);
  return lut;
}

// Mean luma of each row: the sum over the row, left to right, divided by the width.
std::vector<double> row_means(const std::vector<std::uint8_t>& px, std::int32_t width, std::int32_t height) {
  const auto w = static_cast<std::size_t>(width);
  std::vector<double> means(static_cast<std::size_t>(height));
  for (std::size_t y = 0; y < means.size(); ++y) {
    double sum = 0.0;
    const std::uint8_t* row = px.data() + y * w * 3;
    for (std::size_t x = 0; x < w; ++x) sum += luma(row[x * 3], row[x * 3 + 1], row[x * 3 + 2]);
    means[y] = sum / static_cast<double>(width);
  }
  return means;
}

// Pulls each row's mean luma towards the mean of its two neighbours on
// either side; all gains come from the unchanged image.
std::vector<double> destripe_gains(const std::vector<double>& means, double strength) {
  const double s = clamp_double(strength, 0.0, 1.0);
  const std::size_t h = means.size();
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
  return gains;
}

// Saturation around each pixel's luma, then the highlight table.
void saturate(std::vector<std::uint8_t>& px, const ChannelLuts& luts, double saturation, const Lut& highlight) {
  const std::size_t end = px.size() - px.size() % 3;
  std::uint8_t* p = px.data();
  for (std::size_t i = 0; i < end; i += 3) {
    const int r = luts[0][p[i]];
    const int g = luts[1][p[i + 1]];
    const int b = luts[2][p[i + 2]];
    const double y = luma(r, g, b);
    p[i] = highlight[nearest_byte((r - y) * saturation + y)];
    p[i + 1] = highlight[nearest_byte((g - y) * saturation + y)];
    p[i + 2] = highlight[nearest_byte((b - y) * saturation + y)];
  }
}

// Every value of row y becomes nearest(value * gains[y]).
void apply_row_gains(std::vector<std::uint8_t>& px, std::int32_t width, const std::vector<double>& gains) {
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
  for (std::size_t y = 0; y < gains.size(); ++y) {
    Lut lut{};
    for (int c = 0; c < 256; ++c) lut[c] = nearest_byte(c * gains[y]);
    std::uint8_t* row = px.data() + y * row_bytes;
    for (std::size_t i = 0; i < row_bytes; ++i) row[i] = lut[row[i]];
  }
}

}  // namespace

RgbImage render_parametric(RgbImage image, const StyleParams& p) {
  if (!render_detail::well_formed(image)) throw Failure("Invalid baseline RGB image");
  if (!(p.low_percentile >= 0.0 && p.low_percentile < p.high_percentile && p.high_percentile <= 1.0)) {
    throw Failure("Invalid percentile range");
  }
  if (!(p.gamma > 0.0)) throw Failure("Gamma must be positive");

  std::vector<std::uint8_t>& px = image.pixels;
  const std::uint64_t n = px.size() / 3;
  const Histograms h = render_detail::histograms(px);
  ChannelLuts luts = levels_luts(h, n, p);
  if (p.white_balance_strength > 0.0) {
    then_apply(luts, white_balance_luts(render_detail::mapped_histograms(h, luts), n, p.white_balance_strength));
  }
  then_apply(luts, tone_curve(p.gamma));
  if (std::fabs(p.contrast - 1.0) > 1e-9) then_apply(luts, contrast_curve(p.contrast));
  const Lut highlight = p.highlight_shaping > 0.0 ? highlight_curve(p.highlight_shaping) : identity_lut();
  if (std::fabs(p.saturation - 1.0) > 1e-9) {
    saturate(px, luts, p.saturation, highlight);
  } else {
    then_apply(luts, highlight);
    render_detail::apply_luts(px, luts);
  }
  if (p.destripe_strength > 0.0 && image.height >= 5) {
    apply_row_gains(px, image.width, destripe_gains(row_means(px, image.width, image.height), p.destripe_strength));
  }
  return image;
}

}  // namespace velmora
