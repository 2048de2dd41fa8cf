#include "ui/preview_image.h"

#include <algorithm>

namespace velmora {

std::int64_t bgr_stride(std::int32_t width) { return (3 * static_cast<std::int64_t>(width) + 3) / 4 * 4; }

std::vector<std::uint8_t> to_bgr_rows(const RgbImage& image) {
  const std::int64_t stride = bgr_stride(image.width);
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride * std::max(image.height, 0)), 0);
  for (std::int64_t y = 0; y < image.height; ++y) {
    const std::uint8_t* src = image.pixels.data() + y * image.width * 3;
    std::uint8_t* dst = rows.data() + y * stride;
    for (std::int64_t x = 0; x < image.width; ++x, src += 3, dst += 3) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }
  return rows;
}

std::optional<DesignRect> preview_placement(int cw, int ch, std::int32_t image_width, std::int32_t image_height) {
  if (image_width < 1 || image_height < 1) return std::nullopt;
  const double scale = std::min(static_cast<double>(std::max(ch - 20, 1)) / image_height,
                                static_cast<double>(std::max(cw - 20, 1)) / image_width);
  const int dw = std::max(static_cast<int>(scale * image_width), 1);
  const int dh = std::max(static_cast<int>(scale * image_height), 1);
  return DesignRect{(cw - dw) / 2, (ch - dh) / 2, dw, dh};
}

}  // namespace velmora
