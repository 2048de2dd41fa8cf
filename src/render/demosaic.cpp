#include "render/demosaic.h"

#include <algorithm>
#include <array>

#include "base/failure.h"

namespace velmora {
namespace {

enum class Site { kRed, kBlue, kGreenRedRow, kGreenBlueRow };

// Site of each (y parity, x parity) cell of the 2 x 2 pattern.
using PatternCells = std::array<std::array<Site, 2>, 2>;

PatternCells pattern_cells(std::int32_t pattern) {
  using enum Site;
  switch (pattern) {
    case kPatternRggb: return {{{kRed, kGreenRedRow}, {kGreenBlueRow, kBlue}}};
    case kPatternBggr: return {{{kBlue, kGreenBlueRow}, {kGreenRedRow, kRed}}};
    case kPatternGrbg: return {{{kGreenRedRow, kRed}, {kBlue, kGreenBlueRow}}};
    case kPatternGbrg: return {{{kGreenBlueRow, kBlue}, {kRed, kGreenRedRow}}};
    default: throw Failure("Unknown Bayer pattern");
  }
}

}  // namespace

std::string bayer_pattern_name(std::int32_t pattern) {
  switch (pattern) {
    case kPatternRggb: return "rggb";
    case kPatternBggr: return "bggr";
    case kPatternGrbg: return "grbg";
    case kPatternGbrg: return "gbrg";
    default: return "unknown";
  }
}

RgbImage demosaic_baseline(std::span<const std::uint8_t> raw, std::int32_t width, std::int32_t height,
                           std::int32_t pattern) {
  if (width < 1 || height < 1) throw Failure("Invalid image dimensions");
  const std::uint64_t count = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (raw.size() < 12 || raw.size() - 12 < count) {
    throw Failure("Raw photo is shorter than 12-byte header plus width*height Bayer samples");
  }
  const PatternCells cells = pattern_cells(pattern);
  const std::uint8_t* samples = raw.data() + 12;
  const auto s = [&](std::int32_t x, std::int32_t y) -> int {
    x = std::clamp(x, 0, width - 1);
    y = std::clamp(y, 0, height - 1);
    return samples[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  };

  RgbImage image{width, height, std::vector<std::uint8_t>(count * 3)};
  std::uint8_t* out = image.pixels.data();
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const int centre = s(x, y);
      const int cross = (s(x - 1, y) + s(x + 1, y) + s(x, y - 1) + s(x, y + 1)) / 4;
      const int diagonal = (s(x - 1, y - 1) + s(x + 1, y - 1) + s(x - 1, y + 1) + s(x + 1, y + 1)) / 4;
      const int horizontal = (s(x - 1, y) + s(x + 1, y)) / 2;
      const int vertical = (s(x, y - 1) + s(x, y + 1)) / 2;
      int r = 0, g = 0, b = 0;
      switch (cells[y & 1][x & 1]) {
        case Site::kRed: r = centre, g = cross, b = diagonal; break;
        case Site::kBlue: r = diagonal, g = cross, b = centre; break;
        case Site::kGreenRedRow: r = horizontal, g = centre, b = vertical; break;
        case Site::kGreenBlueRow: r = vertical, g = centre, b = horizontal; break;
      }
      *out++ = static_cast<std::uint8_t>(r);
      *out++ = static_cast<std::uint8_t>(g);
      *out++ = static_cast<std::uint8_t>(b);
    }
  }
  return image;
}

}  // namespace velmora
