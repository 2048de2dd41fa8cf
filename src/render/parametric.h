#pragma once
// The eight-step pipeline shared by the parametric output styles.

#include "render/pixel_math.h"
#include "render/rgb_image.h"
#include "render/style_params.h"

namespace velmora {

// Levels stretch, white balance, tone curve, contrast, saturation, highlight
// shaping and row destriping, in that order, on image (pass an rvalue to
// render in place).
// Throws Failure "Invalid baseline RGB image", "Invalid percentile range" or
// "Gamma must be positive" before touching any pixel.
RgbImage render_parametric(RgbImage image, const StyleParams& params);

// The same, given the image's channel histograms.
RgbImage render_parametric(RgbImage image, const StyleParams& params, const render_detail::Histograms& histograms);

}  // namespace velmora
