#include "render/glitch.h"

#include <algorithm>

#include "base/failure.h"
#include "render/pixel_math.h"

namespace velmora {
namespace {

// Coordinates are kept in 64 bits so the shuffles cannot overflow on any
// image that fits in memory; the storm's noise is 32-bit unsigned by design.
using Coord = std::int64_t;

Coord wrap(Coord a, Coord n) { return ((a % n) + n) % n; }

struct Pixels {
  const RgbImage& image;
  std::uint8_t at(Coord x, Coord y, int channel) const {
    return image.pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x)) * 3 +
                        static_cast<std::size_t>(channel)];
  }
};

void glitch_pixel(const Pixels& src, std::int32_t effect, Coord x, Coord y, std::uint8_t* out) {
  const Coord w = src.image.width;
  const Coord h = src.image.height;
  switch (effect) {
    case kGlitchScanlineShear: {
      const Coord shift = ((y / 9) * 53 + (y / 37) * 97) % w - w / 2;
      const Coord sx = wrap(x + shift, w);
      for (int ch = 0; ch < 3; ++ch) out[ch] = src.at(sx, y, ch);
      break;
    }
    case kGlitchChannelTear: {
      const Coord o = y % 38 < 19 ? (y / 16) * 3 + 37 : (y / 16) * 3 - 51;
      out[0] = src.at(wrap(x + o, w), y, 0);
      out[1] = src.at(x, y, 1);
      out[2] = src.at(wrap(x - o, w), wrap(y + 7, h), 2);
      break;
    }
    case kGlitchSolarizePosterize: {
      for (int ch = 0; ch < 3; ++ch) {
        const int c = src.at(x, y, ch);
        const int folded = c <= 100 ? c : 255 - c;
        const Coord band = y / 19 + ch;
        out[ch] = static_cast<std::uint8_t>((band % 3) * 31 + (folded / 40) * 40);
      }
      break;
    }
    case kGlitchMosaicShred: {
      const Coord bx = std::max<Coord>((w + 15) / 16, 1);
      const Coord by = std::max<Coord>((h + 15) / 16, 1);
      const Coord sx = wrap(x % 16 + (((y / 16) * 83 + (x / 16) * 47) % bx) * 16, w);
      const Coord sy = wrap(y % 16 + (((y / 16) * 41 + (x / 16) * 29) % by) * 16, h);
      for (int ch = 0; ch < 3; ++ch) out[ch] = src.at(sx, sy, ch);
      break;
    }
    case kGlitchDigitalStorm: {
      const Coord o = ((y / 11) * 29) % w;
      const auto ux = static_cast<std::uint32_t>(x);
      const auto uy = static_cast<std::uint32_t>(y);
      const std::uint32_t n = ((uy / 7u) * 119u) ^ (ux * 73u) ^ (uy * 151u);
      out[0] = static_cast<std::uint8_t>(src.at(wrap(x + o, w), y, 2) ^ ((n >> 3) & 127u));
      out[1] = static_cast<std::uint8_t>(src.at(wrap(x - o, w), y, 0) ^ ((n >> 5) & 255u));
      out[2] = static_cast<std::uint8_t>(src.at(x, y, 1) ^ ((n >> 2) & 191u));
      break;
    }
  }
}

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

RgbImage render_glitch(const RgbImage& source, std::int32_t effect) {
  if (!render_detail::well_formed(source)) throw Failure("Invalid RGB source for visual glitch effect");
  RgbImage result = source;
  if (effect < kGlitchScanlineShear || effect > kGlitchDigitalStorm) return result;
  const Pixels src{source};
  std::uint8_t* out = result.pixels.data();
  for (Coord y = 0; y < source.height; ++y) {
    for (Coord x = 0; x < source.width; ++x, out += 3) glitch_pixel(src, effect, x, y, out);
  }
  return result;
}

}  // namespace velmora
