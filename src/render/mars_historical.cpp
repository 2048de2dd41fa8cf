#include "render/mars_historical.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "base/camera_format.h"
#include "base/failure.h"
#include "render/pixel_math.h"
#include "render/portable_pow.h"

namespace velmora {
namespace {

using render_detail::ChannelLuts;
using render_detail::clamp_byte;
using render_detail::Histograms;
using render_detail::Lut;
using render_detail::mapped_histograms;
using render_detail::then_apply;
using render_detail::truncate_byte;

// The tone curve and the bright and dark points map each channel value on its
// own, so they fold into one table per channel; the histograms each of them
// reads are the previous ones pushed through the tables, exactly what counting
// the changed image gives.

// The table truncates, so an exact integer must not come out a hair low: the
// powers are correctly rounded and hit integers only at i = 0 and 255, and
// for exponent 1 (byte 100) i / 255 * 255 gives back exactly i for every i.
Lut header_tone_curve(std::uint8_t header_percent) {
  const double g = std::max(0.6, std::sqrt(header_percent / 100.0));
  Lut table{};
  for (int i = 0; i < 256; ++i) table[i] = truncate_byte(portable_pow(i / 255.0, g) * 255.0);
  return table;
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
// that would scale some channel by more than 2.5 (then false).
bool bright_point(const Histograms& h, std::uint64_t m, ChannelLuts& luts) {
  std::array<double, 3> factors{};
  for (int ch = 0; ch < 3; ++ch) {
    int bin = 254;
    std::uint64_t total = 0;
    while (bin > 32 && total < m) total += h[ch][bin--];
    factors[ch] = 253.0 / bin;
  }
  if (*std::max_element(factors.begin(), factors.end()) > 2.5) return false;
  for (int ch = 0; ch < 3; ++ch) {
    for (int c = 0; c < 256; ++c) luts[ch][c] = truncate_byte(c * factors[ch]);
  }
  return true;
}

// Pulls each channel's darkest 0.5 % down towards 0, the strongest channel
// limited to a factor of 1.15 and the others scaled with it.
ChannelLuts dark_point(const Histograms& h, std::uint64_t m) {
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
  ChannelLuts luts{};
  for (int ch = 0; ch < 3; ++ch) {
    for (int c = 0; c < 256; ++c) {
      const auto scaled = static_cast<std::int32_t>((c - 255) * 256 * factors[ch]);
      luts[ch][c] = clamp_byte((scaled + 65288) >> 8);
    }
  }
  return luts;
}

// The enhanced value depends only on the value and its pixel's average, so
// it is tabled once per image: entry avg * 256 + c.
std::vector<std::uint8_t> enhance_table(double amount) {
  std::vector<std::uint8_t> table(256 * 256);
  for (int avg = 0; avg < 256; ++avg) {
    for (int c = 0; c < 256; ++c) {
      const double step = c > avg ? static_cast<double>((c - avg) * (255 - c)) / (256 - avg) * amount
                                  : static_cast<double>((c - avg) * (255 - avg)) / (256 - c) * amount;
      table[static_cast<std::size_t>(avg) * 256 + static_cast<std::size_t>(c)] =
          clamp_byte(c + static_cast<long long>(step));
    }
  }
  return table;
}

void enhance_colour(std::vector<std::uint8_t>& px, const ChannelLuts& luts, double amount) {
  const std::vector<std::uint8_t> table = enhance_table(amount);
  const std::size_t end = px.size() - px.size() % 3;
  for (std::size_t i = 0; i < end; i += 3) {
    const int r = luts[0][px[i]];
    const int g = luts[1][px[i + 1]];
    const int b = luts[2][px[i + 2]];
    const std::uint8_t* row = table.data() + static_cast<std::size_t>((r + g + b) / 3) * 256;
    px[i] = row[r];
    px[i + 1] = row[g];
    px[i + 2] = row[b];
  }
}

}  // namespace

RgbImage render_mars_historical(RgbImage image, std::span<const std::uint8_t> raw) {
  const Histograms h = render_detail::histograms(image.pixels);
  return render_mars_historical(std::move(image), raw, h);
}

RgbImage render_mars_historical(RgbImage image, std::span<const std::uint8_t> raw, const Histograms& h) {
  if (raw.size() < 12) throw Failure("Mars raw payload is shorter than its 12-byte header");
  if (!render_detail::well_formed(image)) throw Failure("Invalid baseline RGB image");

  std::vector<std::uint8_t>& px = image.pixels;
  const std::uint64_t n = px.size() / 3;
  const Lut tone = header_tone_curve(raw[7]);
  ChannelLuts luts{tone, tone, tone};
  const Histograms toned = mapped_histograms(h, luts);
  const double amount = saturation_amount(toned, n);
  const std::uint64_t m = n / 200;
  ChannelLuts bright{};
  Histograms brightened = toned;
  if (bright_point(toned, m, bright)) {
    then_apply(luts, bright);
    brightened = mapped_histograms(toned, bright);
  }
  then_apply(luts, dark_point(brightened, m));
  if (amount > 0.0) {
    enhance_colour(px, luts, amount);
  } else {
    render_detail::apply_luts(px, luts);
  }
  return image;
}

}  // namespace velmora
