#include "render/glitch.h"

#include <algorithm>
#include <array>
#include <vector>

#include "base/failure.h"
#include "render/pixel_math.h"

namespace velmora {
namespace {

// Row and tile quantities are kept in 64 bits so the shuffles cannot
// overflow on any image that fits in memory; the storm's noise is 32-bit
// unsigned by design. Along a row, wrap(x + o, W) is (wrap(o, W) + x) mod W,
// so the source columns are walked with one wrap instead of a division per
// pixel.
using Coord = std::int64_t;

Coord wrap(Coord a, Coord n) { return ((a % n) + n) % n; }

// Column walker: wrap(x + offset, width) for x = 0, 1, 2, ...
struct Column {
  std::size_t at;
  std::size_t width;
  std::size_t next() {
    const std::size_t here = at;
    if (++at == width) at = 0;
    return here;
  }
};

Column column_from(Coord offset, Coord width) {
  return {static_cast<std::size_t>(wrap(offset, width)), static_cast<std::size_t>(width)};
}

const std::uint8_t* row_at(const RgbImage& src, Coord row) {
  return src.pixels.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(src.width) * 3;
}

void scanline_shear_row(const RgbImage& src, Coord y, std::uint8_t* out) {
  const Coord w = src.width;
  const auto uw = static_cast<std::size_t>(w);
  const std::uint8_t* row = row_at(src, y);
  const Coord shift = ((y / 9) * 53 + (y / 37) * 97) % w - w / 2;
  const auto start = static_cast<std::size_t>(wrap(shift, w));
  std::copy(row + start * 3, row + uw * 3, out);
  std::copy(row, row + start * 3, out + (uw - start) * 3);
}

void channel_tear_row(const RgbImage& src, Coord y, std::uint8_t* out) {
  const Coord w = src.width;
  const std::uint8_t* row = row_at(src, y);
  const Coord o = y % 38 < 19 ? (y / 16) * 3 + 37 : (y / 16) * 3 - 51;
  const std::uint8_t* lower = row_at(src, wrap(y + 7, src.height));
  Column red = column_from(o, w);
  Column blue = column_from(-o, w);
  for (std::size_t x = 0; x < static_cast<std::size_t>(w); ++x, out += 3) {
    out[0] = row[red.next() * 3];
    out[1] = row[x * 3 + 1];
    out[2] = lower[blue.next() * 3 + 2];
  }
}

void solarize_posterize_row(const RgbImage& src, Coord y, std::uint8_t* out) {
  const std::uint8_t* row = row_at(src, y);
  std::array<std::array<std::uint8_t, 256>, 3> luts{};
  for (int ch = 0; ch < 3; ++ch) {
    const Coord band = y / 19 + ch;
    for (int c = 0; c < 256; ++c) {
      const int folded = c <= 100 ? c : 255 - c;
      luts[ch][c] = static_cast<std::uint8_t>((band % 3) * 31 + (folded / 40) * 40);
    }
  }
  for (std::size_t x = 0; x < static_cast<std::size_t>(src.width); ++x, out += 3) {
    for (int ch = 0; ch < 3; ++ch) out[ch] = luts[ch][row[x * 3 + ch]];
  }
}

void mosaic_shred_row(const RgbImage& src, Coord y, std::uint8_t* out) {
  const Coord w = src.width;
  const Coord h = src.height;
  // Within a tile the source column is (x rem 16) + a multiple of 16 below
  // W, so it exceeds W - 1 by less than 16 and wraps at most once; the same
  // holds for the source row.
  const Coord bx = std::max<Coord>((w + 15) / 16, 1);
  const Coord by = std::max<Coord>((h + 15) / 16, 1);
  const Coord ty = y / 16;
  for (Coord x = 0; x < w; x += 16) {
    const Coord tx = x / 16;
    Coord sy = y % 16 + ((ty * 41 + tx * 29) % by) * 16;
    while (sy >= h) sy -= h;
    const Coord base = ((ty * 83 + tx * 47) % bx) * 16;
    const std::uint8_t* source_row = row_at(src, sy);
    const Coord end = std::min<Coord>(x + 16, w);
    for (Coord xi = x; xi < end; ++xi, out += 3) {
      Coord sx = xi % 16 + base;
      while (sx >= w) sx -= w;
      const std::uint8_t* p = source_row + static_cast<std::size_t>(sx) * 3;
      out[0] = p[0];
      out[1] = p[1];
      out[2] = p[2];
    }
  }
}

void digital_storm_row(const RgbImage& src, Coord y, std::uint8_t* out) {
  const Coord w = src.width;
  const std::uint8_t* row = row_at(src, y);
  const Coord o = ((y / 11) * 29) % w;
  const auto uy = static_cast<std::uint32_t>(y);
  const std::uint32_t row_noise = ((uy / 7u) * 119u) ^ (uy * 151u);
  Column red = column_from(o, w);
  Column green = column_from(-o, w);
  for (std::size_t x = 0; x < static_cast<std::size_t>(w); ++x, out += 3) {
    const std::uint32_t n = row_noise ^ (static_cast<std::uint32_t>(x) * 73u);
    out[0] = static_cast<std::uint8_t>(row[red.next() * 3 + 2] ^ ((n >> 3) & 127u));
    out[1] = static_cast<std::uint8_t>(row[green.next() * 3] ^ ((n >> 5) & 255u));
    out[2] = static_cast<std::uint8_t>(row[x * 3 + 1] ^ ((n >> 2) & 191u));
  }
}

using GlitchRow = void (*)(const RgbImage& src, Coord y, std::uint8_t* out);

// Indexed by effect number.
constexpr GlitchRow kGlitchRows[] = {scanline_shear_row, channel_tear_row, solarize_posterize_row, mosaic_shred_row,
                                     digital_storm_row};

}  // namespace

std::string glitch_effect_name(std::int32_t effect) {
  switch (effect) {
    case kGlitchScanlineShear: return "scanline-shear";
    case kGlitchChannelTear: return "channel-tear";
    case kGlitchSolarizePosterize: return "solarize-posterize";
    case kGlitchMosaicShred: return "mosaic-shred";
    case kGlitchDigitalStorm: return "digital-storm";
    default: return "unknown";
  }
}

void render_glitch(const RgbImage& source, std::int32_t effect, RgbImage& out) {
  if (!render_detail::well_formed(source)) throw Failure("Invalid RGB source for visual glitch effect");
  if (effect < kGlitchScanlineShear || effect > kGlitchDigitalStorm) {
    out = source;
    return;
  }
  out.width = source.width;
  out.height = source.height;
  out.pixels.resize(source.pixels.size());
  const GlitchRow glitch_row = kGlitchRows[effect - kGlitchScanlineShear];
  const std::size_t row_bytes = static_cast<std::size_t>(source.width) * 3;
  for (Coord y = 0; y < source.height; ++y) {
    glitch_row(source, y, out.pixels.data() + static_cast<std::size_t>(y) * row_bytes);
  }
}

RgbImage render_glitch(const RgbImage& source, std::int32_t effect) {
  RgbImage result;
  render_glitch(source, effect, result);
  return result;
}

}  // namespace velmora
