#include "render/render_photo.h"

#include <array>
#include <utility>
#include <vector>

#include "base/failure.h"
#include "render/mars_historical.h"
#include "render/parametric.h"
#include "render/pixel_math.h"

namespace velmora {

namespace {

void check_dimensions(std::span<const std::uint8_t> samples, std::int32_t width, std::int32_t height) {
  if (static_cast<std::int64_t>(samples.size()) != static_cast<std::int64_t>(width) * height) {
    throw Failure("Bayer dimensions mismatch");
  }
}

// Renders out, the demosaicked photo, in style and set where it lies;
// histograms are out's, or null to count them here.
void apply_style(std::span<const std::uint8_t> raw, std::int32_t style, std::int32_t set,
                 const render_detail::Histograms* histograms, RgbImage& out) {
  if (style == kStyleBaseline) {
    if (set != kSetPlain) throw Failure("Baseline Bayer demosaic cannot be modified");
    return;
  }
  const render_detail::Histograms h = histograms ? *histograms : render_detail::histograms(out.pixels);
  switch (style) {
    case kStyleMarsHistorical: out = render_mars_historical(std::move(out), raw, h); return;
    case kStyleGrayworld: out = gray_world(std::move(out), h); return;
    default: out = render_parametric(std::move(out), apply_additional_set(style_params(style), set), h); return;
  }
}

}  // namespace

void render_photo(std::span<const std::uint8_t> raw, std::span<const std::uint8_t> samples, std::int32_t width,
                  std::int32_t height, std::int32_t pattern, std::int32_t style, std::int32_t set, RgbImage& out) {
  check_dimensions(samples, width, height);
  // The samples are demosaicked where they lie; no header-shaped copy. Each
  // style then works on the same buffer.
  render_detail::demosaic_plane(samples.data(), width, height, pattern, out);
  apply_style(raw, style, set, nullptr, out);
}

void demosaic_photo(std::span<const std::uint8_t> samples, std::int32_t width, std::int32_t height,
                    std::int32_t pattern, DemosaickedPhoto& out) {
  check_dimensions(samples, width, height);
  render_detail::demosaic_plane(samples.data(), width, height, pattern, out.image);
  out.pattern = pattern;
  out.histograms = render_detail::histograms(out.image.pixels);
}

void render_demosaicked(std::span<const std::uint8_t> raw, const DemosaickedPhoto& photo, std::int32_t style,
                        std::int32_t set, RgbImage& out) {
  out.width = photo.image.width;
  out.height = photo.image.height;
  out.pixels.assign(photo.image.pixels.begin(), photo.image.pixels.end());
  apply_style(raw, style, set, &photo.histograms, out);
}

RgbImage render_photo(std::span<const std::uint8_t> raw, std::span<const std::uint8_t> samples, std::int32_t width,
                      std::int32_t height, std::int32_t pattern, std::int32_t style, std::int32_t set) {
  RgbImage image;
  render_photo(raw, samples, width, height, pattern, style, set, image);
  return image;
}

RgbImage gray_world(RgbImage image) {
  const render_detail::Histograms h = render_detail::histograms(image.pixels);
  return gray_world(std::move(image), h);
}

RgbImage gray_world(RgbImage image, const render_detail::Histograms& histograms) {
  if (!render_detail::well_formed(image)) throw Failure("Invalid baseline RGB image");
  const std::uint64_t n = image.pixels.size() / 3;
  const std::array<double, 3> gains = render_detail::gray_world_gains(render_detail::channel_sums(histograms), n);
  render_detail::ChannelLuts luts{};
  for (int ch = 0; ch < 3; ++ch) {
    for (int c = 0; c < 256; ++c) luts[ch][c] = render_detail::nearest_byte(c * gains[ch]);
  }
  render_detail::apply_luts(image.pixels, luts);
  return image;
}

}  // namespace velmora
