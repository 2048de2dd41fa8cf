#pragma once
// The preview canvas's picture: converted once on arrival to the bitmap
// layout the blit wants, then scaled to fit the canvas on every paint.

#include <cstdint>
#include <optional>
#include <vector>

#include "render/rgb_image.h"
#include "ui/control_table.h"

namespace velmora {

// Bytes per bitmap row: 3 per pixel, padded to a multiple of 4.
std::int64_t bgr_stride(std::int32_t width);

// Top-down BGR rows with that stride; the padding is zero.
std::vector<std::uint8_t> to_bgr_rows(const RgbImage& image);

// Where the image goes on a canvas of cw x ch: scaled up or down to fit
// inside a 10-pixel margin, aspect kept, centred, at least 1 x 1. Nothing
// for an image without pixels.
std::optional<DesignRect> preview_placement(int cw, int ch, std::int32_t image_width, std::int32_t image_height);

}  // namespace velmora
