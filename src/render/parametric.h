#pragma once
// The eight-step pipeline shared by the parametric output styles.

#include "render/rgb_image.h"
#include "render/style_params.h"

namespace velmora {

// Levels stretch, white balance, tone curve, contrast, saturation, highlight
// shaping and row destriping, in that order, on image (pass an rvalue to
// render in place).
// Throws Failure "Invalid baseline RGB image", "Invalid percentile range" or
// "Gamma must be positive" before touching any pixel.
RgbImage render_parametric(RgbImage image, const StyleParams& params);

}  // namespace velmora
