#pragma once
// The "mars-historical" style: a tone curve from the raw header, bright and
// dark point correction from the histograms, and a colour enhancement.

#include <cstdint>
#include <span>

#include "render/pixel_math.h"
#include "render/rgb_image.h"

namespace velmora {

// Renders image (pass an rvalue to render in place). raw is the raw photo
// the image was rendered from; only its header byte 7
// (a percentage that sets the tone curve) is read.
// Throws Failure "Mars raw payload is shorter than its 12-byte header" or
// "Invalid baseline RGB image" before touching any pixel.
RgbImage render_mars_historical(RgbImage image, std::span<const std::uint8_t> raw);

// The same, given the image's channel histograms.
RgbImage render_mars_historical(RgbImage image, std::span<const std::uint8_t> raw,
                                const render_detail::Histograms& histograms);

}  // namespace velmora
