#include "render/demosaic.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

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

namespace {

// Rows y - 1, y and y + 1, clamped into the image.
struct Rows {
  const std::uint8_t* up;
  const std::uint8_t* mid;
  const std::uint8_t* down;
};

// A row holds colour sites (red or blue) and green sites. kFirst is the
// output offset of the row's colour (0 in a red row, 2 in a blue row) and
// kSecond that of the other colour. The sums are those of the table of
// sites; the shifts are the truncating divisions of non-negative sums.
template <int kFirst, int kSecond>
void colour_site(const Rows& r, std::int32_t xm, std::int32_t x, std::int32_t xp, std::uint8_t* out) {
  out[kFirst] = r.mid[x];
  out[1] = static_cast<std::uint8_t>((r.mid[xm] + r.mid[xp] + r.up[x] + r.down[x]) >> 2);
  out[kSecond] = static_cast<std::uint8_t>((r.up[xm] + r.up[xp] + r.down[xm] + r.down[xp]) >> 2);
}

template <int kFirst, int kSecond>
void green_site(const Rows& r, std::int32_t xm, std::int32_t x, std::int32_t xp, std::uint8_t* out) {
  out[kFirst] = static_cast<std::uint8_t>((r.mid[xm] + r.mid[xp]) >> 1);
  out[1] = r.mid[x];
  out[kSecond] = static_cast<std::uint8_t>((r.up[x] + r.down[x]) >> 1);
}

// Pixel x with its neighbours' columns clamped; for the image edges.
template <int kFirst, int kSecond>
void edge_site(const Rows& r, std::int32_t width, bool colour, std::int32_t x, std::uint8_t* out) {
  const std::int32_t xm = std::max(x - 1, 0);
  const std::int32_t xp = std::min(x + 1, width - 1);
  if (colour) {
    colour_site<kFirst, kSecond>(r, xm, x, xp, out + static_cast<std::size_t>(x) * 3);
  } else {
    green_site<kFirst, kSecond>(r, xm, x, xp, out + static_cast<std::size_t>(x) * 3);
  }
}

// Each interior pixel's three output bytes for either site it could be,
// computed for the whole row in plain loops the compiler vectorises (the
// same truncating sums as colour_site and green_site). Byte i of a word is
// (word >> 8i) & 255, output offset i of the pixel.
struct RowWords {
  std::vector<std::uint16_t> column;  // up + down
  std::vector<std::uint32_t> colour;
  std::vector<std::uint32_t> green;

  explicit RowWords(std::size_t width) : column(width), colour(width), green(width) {}

  template <int kFirst, int kSecond>
  void compute(const Rows& r, std::size_t width) {
    std::uint16_t* const v = column.data();
    for (std::size_t x = 0; x < width; ++x) v[x] = static_cast<std::uint16_t>(r.up[x] + r.down[x]);
    const std::uint8_t* const mid = r.mid;
    for (std::size_t x = 1; x + 1 < width; ++x) {
      const std::uint32_t sides = static_cast<std::uint32_t>(mid[x - 1]) + mid[x + 1];
      const std::uint32_t cross = (sides + v[x]) >> 2;
      const std::uint32_t diagonal = (static_cast<std::uint32_t>(v[x - 1]) + v[x + 1]) >> 2;
      const std::uint32_t horizontal = sides >> 1;
      const std::uint32_t vertical = static_cast<std::uint32_t>(v[x]) >> 1;
      const std::uint32_t own = mid[x];
      colour[x] = (own << (8 * kFirst)) | (cross << 8) | (diagonal << (8 * kSecond));
      green[x] = (horizontal << (8 * kFirst)) | (own << 8) | (vertical << (8 * kSecond));
    }
  }
};

void store_bytes(std::uint64_t word, int count, std::uint8_t* out) {
  for (int i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(word >> (8 * i));
}

// One output row; colour_parity is the parity of x at the colour sites.
template <int kFirst, int kSecond>
void demosaic_row(const Rows& r, RowWords& words, std::int32_t width, std::int32_t colour_parity,
                  std::uint8_t* out) {
  const auto w = static_cast<std::size_t>(width);
  words.compute<kFirst, kSecond>(r, w);
  const std::uint32_t* const colour = words.colour.data();
  const std::uint32_t* const green = words.green.data();
  // Interior pixels in pairs, the colour site first.
  std::size_t x = colour_parity == 1 ? 1 : 2;
  if (colour_parity == 0 && w > 2) store_bytes(green[1], 3, out + 3);
  for (; x + 2 < w; x += 2) {
    const std::uint64_t pair = colour[x] | (static_cast<std::uint64_t>(green[x + 1]) << 24);
    std::uint8_t* o = out + x * 3;
    if constexpr (std::endian::native == std::endian::little) {
      // One 8-byte store; its last two bytes land on pixel x + 2, which is
      // written after this pair.
      std::memcpy(o, &pair, sizeof pair);
    } else {
      store_bytes(pair, 6, o);
    }
  }
  // At most one interior pixel is left, a colour site.
  if (x + 1 < w) store_bytes(colour[x], 3, out + x * 3);
  edge_site<kFirst, kSecond>(r, width, colour_parity == 0, 0, out);
  if (width > 1) edge_site<kFirst, kSecond>(r, width, ((width - 1) & 1) == colour_parity, width - 1, out);
}

}  // namespace

namespace render_detail {

void demosaic_plane(const std::uint8_t* samples, std::int32_t width, std::int32_t height, std::int32_t pattern,
                    RgbImage& out) {
  if (width < 1 || height < 1) throw Failure("Invalid image dimensions");
  const PatternCells cells = pattern_cells(pattern);
  const auto w = static_cast<std::size_t>(width);
  RowWords words(w);
  out.width = width;
  out.height = height;
  out.pixels.resize(w * static_cast<std::size_t>(height) * 3);
  for (std::int32_t y = 0; y < height; ++y) {
    const Rows rows{samples + static_cast<std::size_t>(std::max(y - 1, 0)) * w, samples + static_cast<std::size_t>(y) * w,
                    samples + static_cast<std::size_t>(std::min(y + 1, height - 1)) * w};
    std::uint8_t* const row = out.pixels.data() + static_cast<std::size_t>(y) * w * 3;
    const auto& row_cells = cells[y & 1];
    const std::int32_t colour_parity =
        row_cells[0] == Site::kRed || row_cells[0] == Site::kBlue ? 0 : 1;
    const bool red_row = row_cells[0] == Site::kRed || row_cells[1] == Site::kRed;
    if (red_row) {
      demosaic_row<0, 2>(rows, words, width, colour_parity, row);
    } else {
      demosaic_row<2, 0>(rows, words, width, colour_parity, row);
    }
  }
}

}  // namespace render_detail

void demosaic_baseline(std::span<const std::uint8_t> raw, std::int32_t width, std::int32_t height,
                       std::int32_t pattern, RgbImage& out) {
  if (width < 1 || height < 1) throw Failure("Invalid image dimensions");
  const std::uint64_t count = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (raw.size() < 12 || raw.size() - 12 < count) {
    throw Failure("Raw photo is shorter than 12-byte header plus width*height Bayer samples");
  }
  render_detail::demosaic_plane(raw.data() + 12, width, height, pattern, out);
}

RgbImage demosaic_baseline(std::span<const std::uint8_t> raw, std::int32_t width, std::int32_t height,
                           std::int32_t pattern) {
  RgbImage image;
  demosaic_baseline(raw, width, height, pattern, image);
  return image;
}

}  // namespace velmora
