#include "render/mars_historical.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "base/failure.h"
#include "render/pixel_math.h"
#include "render/portable_pow.h"

namespace velmora {
namespace {

using render_detail::clamp_byte;
using render_detail::truncate_byte;

using render_detail::histograms;
using render_detail::Histograms;

// The table truncates, so an exact integer must not come out a hair low: the
// powers are correctly rounded and hit integers only at i = 0 and 255, and
// for exponent 1 (byte 100) i / 255 * 255 gives back exactly i for every i.
void header_tone_curve(std::vector<std::uint8_t>& px, std::uint8_t header_percent) {
  const double g = std::max(0.6, std::sqrt(header_percent / 100.0));
  std::array<std::uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) table[i] = truncate_byte(portable_pow(i / 255.0, g) * 255.0);
  for (auto& c : px) c = table[c];
}

// Grows with the share of mid-tone values (bins 48..207).
double saturation_amount(const Histograms& h, std::uint64_t n) {
  std::uint64_t mid = 0;
  for (const auto& channel : h) {
    for (int bin = 48; bin <= 207; ++bin) mid += channel[bin];
  }
  const double x = static_cast<double>(1 + mid);
  const double q = std::sqrt(x * 1.5 / static_cast<double>(n * 3));
  return (q * 1.4) * q;
}

// Stretches each channel so that its brightest 0.5 % reach 253, unless
// that would scale some channel by more than 2.5.
void bright_point(std::vector<std::uint8_t>& px, const Histograms& h, std::uint64_t m) {
  std::array<double, 3> factors{};
  for (int ch = 0; ch < 3; ++ch) {
    int bin = 254;
    std::uint64_t total = 0;
    while (bin > 32 && total < m) total += h[ch][bin--];
    factors[ch] = 253.0 / bin;
  }
  if (*std::max_element(factors.begin(), factors.end()) > 2.5) return;
  for (std::size_t i = 0; i < px.size(); ++i) px[i] = truncate_byte(px[i] * factors[i % 3]);
}

// Pulls each channel's darkest 0.5 % down towards 0, the strongest channel
// limited to a factor of 1.15 and the others scaled with it.
void dark_point(std::vector<std::uint8_t>& px, std::uint64_t m) {
  const Histograms h = histograms(px);
  std::array<double, 3> factors{};
  for (int ch = 0; ch < 3; ++ch) {
    int bin = 0;
    std::uint64_t total = 0;
    while (bin < 96 && total < m) total += h[ch][bin++];
    factors[ch] = 254.0 / (255 - bin);
  }
  const double largest = *std::max_element(factors.begin(), factors.end());
  if (largest >= 1.15) {
    for (auto& f : factors) f = f / largest * 1.15;
  }
  for (std::size_t i = 0; i < px.size(); ++i) {
    const auto scaled = static_cast<std::int32_t>((px[i] - 255) * 256 * factors[i % 3]);
    px[i] = clamp_byte((scaled + 65288) >> 8);
  }
}

void enhance_colour(std::vector<std::uint8_t>& px, double amount) {
  for (std::size_t i = 0; i + 2 < px.size(); i += 3) {
    const int avg = (px[i] + px[i + 1] + px[i + 2]) / 3;
    for (std::size_t ch = 0; ch < 3; ++ch) {
      const int c = px[i + ch];
      const double step = c > avg ? static_cast<double>((c - avg) * (255 - c)) / (256 - avg) * amount
                                  : static_cast<double>((c - avg) * (255 - avg)) / (256 - c) * amount;
      px[i + ch] = clamp_byte(c + static_cast<long long>(step));
    }
  }
}

}  // namespace

RgbImage render_mars_historical(const RgbImage& baseline, std::span<const std::uint8_t> raw) {
  if (raw.size() < 12) throw Failure("Mars raw payload is shorter than its 12-byte header");
  if (!render_detail::well_formed(baseline)) throw Failure("Invalid baseline RGB image");

  RgbImage image = baseline;
  std::vector<std::uint8_t>& px = image.pixels;
  const std::uint64_t n = px.size() / 3;
  header_tone_curve(px, raw[7]);
  const Histograms h = histograms(px);
  const double amount = saturation_amount(h, n);
  const std::uint64_t m = n / 200;
  bright_point(px, h, m);
  dark_point(px, m);
  if (amount > 0.0) enhance_colour(px, amount);
  return image;
}

}  // namespace velmora
