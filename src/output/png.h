#pragma once
// PNG encoding without a compression library: the scanlines (filter type 0)
// travel in stored deflate blocks, so the file follows from the pixels alone.

#include <cstdint>
#include <vector>

#include "render/rgb_image.h"

namespace velmora {

// The complete file: signature, IHDR (8-bit truecolour), one IDAT holding the
// whole zlib stream, IEND. Throws Failure("Invalid RGB image buffer") unless
// width >= 1, height >= 1 and the image holds exactly width * height * 3 bytes.
std::vector<std::uint8_t> encode_png(const RgbImage& image);
// The same into out, replacing its contents and reusing its buffer.
void encode_png(const RgbImage& image, std::vector<std::uint8_t>& out);

}  // namespace velmora
