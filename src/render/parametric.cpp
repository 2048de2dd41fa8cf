#include "render/parametric.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <mutex>
#include <utility>
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
using render_detail::then_apply;

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

// Every render in a style asks for the same few curves, and their powers are
// the slow part of building them, so each curve is built once per process.
Lut cached_curve(int kind, double parameter, Lut (*build)(double)) {
  static std::mutex mutex;
  static std::map<std::pair<int, std::uint64_t>, Lut> curves;
  const std::pair<int, std::uint64_t> key{kind, std::bit_cast<std::uint64_t>(parameter)};
  const std::lock_guard<std::mutex> lock(mutex);
  auto it = curves.find(key);
  if (it == curves.end()) {
    if (curves.size() >= 64) curves.clear();
    it = curves.emplace(key, build(parameter)).first;
  }
  return it->second;
}

Lut identity_lut() {
  Lut lut{};
  for (int c = 0; c < 256; ++c) lut[c] = static_cast<std::uint8_t>(c);
  return lut;
}

// Mean luma of each row: the sum over the row, left to right, divided by the
// width. The products come from tables (the same multiplications), and four
// rows are summed side by side so that their chains of additions overlap;
// each row's additions keep their order.
std::vector<double> row_means(const std::vector<std::uint8_t>& px, std::int32_t width, std::int32_t height) {
  std::array<double, 256> red{}, green{}, blue{};
  for (int c = 0; c < 256; ++c) {
    red[c] = 0.299 * static_cast<double>(c);
    green[c] = 0.587 * static_cast<double>(c);
    blue[c] = 0.114 * static_cast<double>(c);
  }
  const auto row_luma = [&](const std::uint8_t* p) { return green[p[1]] + red[p[0]] + blue[p[2]]; };
  const auto w = static_cast<std::size_t>(width);
  const std::size_t row_bytes = w * 3;
  std::vector<double> means(static_cast<std::size_t>(height));
  std::size_t y = 0;
  for (; y + 4 <= means.size(); y += 4) {
    const std::uint8_t* row = px.data() + y * row_bytes;
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    for (std::size_t i = 0; i < row_bytes; i += 3) {
      s0 += row_luma(row + i);
      s1 += row_luma(row + row_bytes + i);
      s2 += row_luma(row + 2 * row_bytes + i);
      s3 += row_luma(row + 3 * row_bytes + i);
    }
    means[y] = s0 / static_cast<double>(width);
    means[y + 1] = s1 / static_cast<double>(width);
    means[y + 2] = s2 / static_cast<double>(width);
    means[y + 3] = s3 / static_cast<double>(width);
  }
  for (; y < means.size(); ++y) {
    const std::uint8_t* row = px.data() + y * row_bytes;
    double sum = 0.0;
    for (std::size_t i = 0; i < row_bytes; i += 3) sum += row_luma(row + i);
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

// Saturation around each pixel's luma, then the highlight table. Each row
// is split into channel planes so the arithmetic runs as plain loops over
// doubles that the compiler vectorises; the operations per value are the
// same.
[[gnu::always_inline]] inline void saturate_rows(std::vector<std::uint8_t>& px, std::int32_t width,
                                                 const ChannelLuts& luts, double saturation, const Lut& highlight) {
  const auto w = static_cast<std::size_t>(width);
  std::vector<double> planes(w * 6);
  std::vector<std::int32_t> results(w * 3);
  double* const r = planes.data();
  double* const g = r + w;
  double* const b = g + w;
  double* const scratch = b + w;
  const std::int32_t* const ro = results.data();
  const std::int32_t* const go = ro + w;
  const std::int32_t* const bo = go + w;
  for (std::uint8_t* row = px.data(); row != px.data() + px.size(); row += w * 3) {
    for (std::size_t x = 0; x < w; ++x) {
      r[x] = luts[0][row[x * 3]];
      g[x] = luts[1][row[x * 3 + 1]];
      b[x] = luts[2][row[x * 3 + 2]];
    }
    for (std::size_t x = 0; x < w; ++x) {
      const double y = luma(r[x], g[x], b[x]);
      r[x] = (r[x] - y) * saturation + y;
      g[x] = (g[x] - y) * saturation + y;
      b[x] = (b[x] - y) * saturation + y;
    }
    render_detail::nearest_bytes(r, scratch, results.data(), w * 3);
    for (std::size_t x = 0; x < w; ++x) {
      row[x * 3] = highlight[ro[x]];
      row[x * 3 + 1] = highlight[go[x]];
      row[x * 3 + 2] = highlight[bo[x]];
    }
  }
}

void saturate_portable(std::vector<std::uint8_t>& px, std::int32_t width, const ChannelLuts& luts, double saturation,
                       const Lut& highlight) {
  saturate_rows(px, width, luts, saturation, highlight);
}

#if defined(__x86_64__) || defined(__i386__)
// The same loops four doubles wide where the processor has AVX2; every value
// goes through the same IEEE operations, so the bytes are the same.
[[gnu::target("avx2")]] void saturate_avx2(std::vector<std::uint8_t>& px, std::int32_t width, const ChannelLuts& luts,
                                           double saturation, const Lut& highlight) {
  saturate_rows(px, width, luts, saturation, highlight);
}
#endif

void saturate(std::vector<std::uint8_t>& px, std::int32_t width, const ChannelLuts& luts, double saturation,
              const Lut& highlight) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return saturate_avx2(px, width, luts, saturation, highlight);
#endif
  saturate_portable(px, width, luts, saturation, highlight);
}

// Every value of row y becomes nearest(value * gains[y]), through a table
// per row.
void apply_row_gains(std::vector<std::uint8_t>& px, std::int32_t width, const std::vector<double>& gains) {
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
  std::array<double, 256> values{};
  std::array<double, 256> scratch{};
  std::array<std::int32_t, 256> lut{};
  for (std::size_t y = 0; y < gains.size(); ++y) {
    for (int c = 0; c < 256; ++c) values[c] = c * gains[y];
    render_detail::nearest_bytes(values.data(), scratch.data(), lut.data(), 256);
    std::uint8_t* row = px.data() + y * row_bytes;
    for (std::size_t i = 0; i < row_bytes; ++i) row[i] = static_cast<std::uint8_t>(lut[row[i]]);
  }
}

}  // namespace

RgbImage render_parametric(RgbImage image, const StyleParams& p) {
  const Histograms h = render_detail::histograms(image.pixels);
  return render_parametric(std::move(image), p, h);
}

RgbImage render_parametric(RgbImage image, const StyleParams& p, const Histograms& h) {
  if (!render_detail::well_formed(image)) throw Failure("Invalid baseline RGB image");
  if (!(p.low_percentile >= 0.0 && p.low_percentile < p.high_percentile && p.high_percentile <= 1.0)) {
    throw Failure("Invalid percentile range");
  }
  if (!(p.gamma > 0.0)) throw Failure("Gamma must be positive");

  std::vector<std::uint8_t>& px = image.pixels;
  const std::uint64_t n = px.size() / 3;
  ChannelLuts luts = levels_luts(h, n, p);
  if (p.white_balance_strength > 0.0) {
    then_apply(luts, white_balance_luts(render_detail::mapped_histograms(h, luts), n, p.white_balance_strength));
  }
  then_apply(luts, cached_curve(0, p.gamma, tone_curve));
  if (std::fabs(p.contrast - 1.0) > 1e-9) then_apply(luts, contrast_curve(p.contrast));
  const Lut highlight =
      p.highlight_shaping > 0.0 ? cached_curve(1, p.highlight_shaping, highlight_curve) : identity_lut();
  if (std::fabs(p.saturation - 1.0) > 1e-9) {
    saturate(px, image.width, luts, p.saturation, highlight);
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
