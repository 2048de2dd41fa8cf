#pragma once
// The render dispatcher: the one entry point through which the preview and
// the download job obtain every rendered image.

#include <cstdint>
#include <span>

#include "decode/bayer_plane.h"
#include "render/demosaic.h"
#include "render/pixel_math.h"
#include "render/rgb_image.h"
#include "render/style_params.h"

namespace velmora {

// Demosaics samples (a width x height plane) under pattern and renders the
// result in style with additional set. raw is the raw photo the samples were
// decoded from; only the mars-historical style reads it (its header).
// Throws Failure "Bayer dimensions mismatch", "Baseline Bayer demosaic
// cannot be modified" (style 5 with a set other than 0), or the failures of
// the pipelines.
RgbImage render_photo(std::span<const std::uint8_t> raw, std::span<const std::uint8_t> samples, std::int32_t width,
                      std::int32_t height, std::int32_t pattern, std::int32_t style, std::int32_t set);

inline RgbImage render_photo(std::span<const std::uint8_t> raw, const BayerPlane& plane, std::int32_t pattern,
                             std::int32_t style, std::int32_t set) {
  return render_photo(raw, plane.samples, plane.width, plane.height, pattern, style, set);
}

// The same into out, whose buffer is reused; after a failure its contents
// are unspecified.
void render_photo(std::span<const std::uint8_t> raw, std::span<const std::uint8_t> samples, std::int32_t width,
                  std::int32_t height, std::int32_t pattern, std::int32_t style, std::int32_t set, RgbImage& out);

inline void render_photo(std::span<const std::uint8_t> raw, const BayerPlane& plane, std::int32_t pattern,
                         std::int32_t style, std::int32_t set, RgbImage& out) {
  render_photo(raw, plane.samples, plane.width, plane.height, pattern, style, set, out);
}

// A photo demosaicked in one pattern, with its channel histograms: where every
// style of that pattern starts. A photo's renders in one pattern share it
// rather than each demosaicking and counting again.
struct DemosaickedPhoto {
  std::int32_t pattern = 0;
  RgbImage image;
  render_detail::Histograms histograms{};
};

// Demosaics samples (a width x height plane) under pattern into out, whose
// buffer is reused. Throws Failure "Bayer dimensions mismatch".
void demosaic_photo(std::span<const std::uint8_t> samples, std::int32_t width, std::int32_t height,
                    std::int32_t pattern, DemosaickedPhoto& out);

// render_photo from an already demosaicked photo, into out.
void render_demosaicked(std::span<const std::uint8_t> raw, const DemosaickedPhoto& photo, std::int32_t style,
                        std::int32_t set, RgbImage& out);

// Scales each channel so its mean meets the mean of the three means; gains
// are limited to 0.35..3.0. Throws Failure "Invalid baseline RGB image".
RgbImage gray_world(RgbImage image);
// The same, given the image's channel histograms.
RgbImage gray_world(RgbImage image, const render_detail::Histograms& histograms);

}  // namespace velmora
