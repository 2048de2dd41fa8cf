#include "render/demosaic.h"

#include <algorithm>
#include <array>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/camera_format.h"
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

#if defined(__SSE2__)
// Sixteen interior pixels from x (a colour site) on, as eight pairs of a
// colour site and a green site, with the same truncating sums as
// colour_site and green_site in 16-bit lanes: even lanes of a load at x are
// the colour sites, odd lanes the green sites. Reads columns x - 2 to
// x + 17; writes the 48 output bytes of the sixteen pixels and the first two
// of pixel x + 16, which the caller writes afterwards.
template <int kFirst, int kSecond>
void sixteen_pixels(const Rows& r, std::size_t x, std::uint8_t* out) {
  const __m128i low = _mm_set1_epi16(0x00FF);
  const auto load = [](const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
  const auto even = [&](__m128i v) { return _mm_and_si128(v, low); };
  const auto odd = [](__m128i v) { return _mm_srli_epi16(v, 8); };
  const __m128i mid = load(r.mid + x);
  const __m128i up = load(r.up + x);
  const __m128i down = load(r.down + x);
  const __m128i up_before = load(r.up + x - 2);
  const __m128i down_before = load(r.down + x - 2);
  const __m128i mid_left = odd(load(r.mid + x - 2));     // mid[x - 1] of each colour site
  const __m128i mid_right2 = even(load(r.mid + x + 2));  // mid[x + 2]
  const __m128i own_colour = even(mid);
  const __m128i own_green = odd(mid);  // also mid[x + 1] of each colour site
  const __m128i column_colour = _mm_add_epi16(even(up), even(down));
  const __m128i column_green = _mm_add_epi16(odd(up), odd(down));
  const __m128i column_left = _mm_add_epi16(odd(up_before), odd(down_before));

  const __m128i cross = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(mid_left, own_green), column_colour), 2);
  const __m128i diagonal = _mm_srli_epi16(_mm_add_epi16(column_left, column_green), 2);
  const __m128i horizontal = _mm_srli_epi16(_mm_add_epi16(own_colour, mid_right2), 1);
  const __m128i vertical = _mm_srli_epi16(column_green, 1);

  // Each channel's sixteen bytes in pixel order: colour site, green site, ...
  const __m128i first = _mm_or_si128(own_colour, _mm_slli_epi16(horizontal, 8));
  const __m128i middle = _mm_or_si128(cross, _mm_slli_epi16(own_green, 8));
  const __m128i second = _mm_or_si128(diagonal, _mm_slli_epi16(vertical, 8));
  const __m128i red = kFirst == 0 ? first : second;
  const __m128i blue = kFirst == 0 ? second : first;

  const __m128i zero = _mm_setzero_si128();
  const __m128i rg_low = _mm_unpacklo_epi8(red, middle);
  const __m128i rg_high = _mm_unpackhi_epi8(red, middle);
  const __m128i b_low = _mm_unpacklo_epi8(blue, zero);
  const __m128i b_high = _mm_unpackhi_epi8(blue, zero);
  const __m128i quads[4] = {_mm_unpacklo_epi16(rg_low, b_low), _mm_unpackhi_epi16(rg_low, b_low),
                            _mm_unpacklo_epi16(rg_high, b_high), _mm_unpackhi_epi16(rg_high, b_high)};
  // Four pixels as 32-bit words become two 6-byte runs, each stored with an
  // 8-byte write whose last two bytes the next write replaces.
  const __m128i low_word = _mm_set_epi32(0, -1, 0, -1);
  for (int q = 0; q < 4; ++q) {
    const __m128i packed =
        _mm_or_si128(_mm_and_si128(quads[q], low_word), _mm_slli_epi64(_mm_srli_epi64(quads[q], 32), 24));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12 * q), packed);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12 * q + 6), _mm_srli_si128(packed, 8));
  }
}
#endif

// One output row; colour_parity is the parity of x at the colour sites.
template <int kFirst, int kSecond>
void demosaic_row(const Rows& r, std::int32_t width, std::int32_t colour_parity, std::uint8_t* out) {
  const auto w = static_cast<std::size_t>(width);
  const auto interior = [&](std::size_t x) {
    if (static_cast<std::int32_t>(x & 1) == colour_parity) {
      colour_site<kFirst, kSecond>(r, x - 1, x, x + 1, out + x * 3);
    } else {
      green_site<kFirst, kSecond>(r, x - 1, x, x + 1, out + x * 3);
    }
  };
  std::size_t x = 1;
#if defined(__SSE2__)
  // Blocks start at a colour site at least two columns in and read up to
  // seventeen columns on.
  const std::size_t first_block = colour_parity == 0 ? 2 : 3;
  for (; x < first_block && x + 1 < w; ++x) interior(x);
  for (; x + 18 <= w; x += 16) sixteen_pixels<kFirst, kSecond>(r, x, out + x * 3);
#endif
  for (; x + 1 < w; ++x) interior(x);
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
  out.width = width;
  out.height = height;
  out.pixels.resize(w * static_cast<std::size_t>(height) * 3);
  for (std::int32_t y = 0; y < height; ++y) {
    const Rows rows{samples + static_cast<std::size_t>(std::max(y - 1, 0)) * w,
                    samples + static_cast<std::size_t>(y) * w,
                    samples + static_cast<std::size_t>(std::min(y + 1, height - 1)) * w};
    std::uint8_t* const row = out.pixels.data() + static_cast<std::size_t>(y) * w * 3;
    const auto& row_cells = cells[y & 1];
    const std::int32_t colour_parity = row_cells[0] == Site::kRed || row_cells[0] == Site::kBlue ? 0 : 1;
    const bool red_row = row_cells[0] == Site::kRed || row_cells[1] == Site::kRed;
    if (red_row) {
      demosaic_row<0, 2>(rows, width, colour_parity, row);
    } else {
      demosaic_row<2, 0>(rows, width, colour_parity, row);
    }
  }
}

}  // namespace render_detail

void demosaic_baseline(std::span<const std::uint8_t> raw, std::int32_t width, std::int32_t height, std::int32_t pattern,
                       RgbImage& out) {
  if (width < 1 || height < 1) throw Failure("Invalid image dimensions");
  const std::uint64_t count = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (raw.size() < kRawHeaderBytes || raw.size() - kRawHeaderBytes < count) {
    throw Failure("Raw photo is shorter than 12-byte header plus width*height Bayer samples");
  }
  render_detail::demosaic_plane(raw.data() + kRawHeaderBytes, width, height, pattern, out);
}

RgbImage demosaic_baseline(std::span<const std::uint8_t> raw, std::int32_t width, std::int32_t height,
                           std::int32_t pattern) {
  RgbImage image;
  demosaic_baseline(raw, width, height, pattern, image);
  return image;
}

}  // namespace velmora
