#include "render/render_photo.h"

#include <array>
#include <vector>

#include "base/failure.h"
#include "render/mars_historical.h"
#include "render/parametric.h"
#include "render/pixel_math.h"

namespace velmora {

RgbImage render_photo(std::span<const std::uint8_t> raw, std::span<const std::uint8_t> samples, std::int32_t width,
                      std::int32_t height, std::int32_t pattern, std::int32_t style, std::int32_t set) {
  if (static_cast<std::int64_t>(samples.size()) != static_cast<std::int64_t>(width) * height) {
    throw Failure("Bayer dimensions mismatch");
  }
  std::vector<std::uint8_t> shaped(12 + samples.size(), 0);
  std::copy(samples.begin(), samples.end(), shaped.begin() + 12);
  RgbImage baseline = demosaic_baseline(shaped, width, height, pattern);

  switch (style) {
    case kStyleBaseline:
      if (set != kSetPlain) throw Failure("Baseline Bayer demosaic cannot be modified");
      return baseline;
    case kStyleMarsHistorical: return render_mars_historical(baseline, raw);
    case kStyleGrayworld: return gray_world(baseline);
    default: return render_parametric(baseline, apply_additional_set(style_params(style), set));
  }
}

RgbImage gray_world(const RgbImage& image) {
  if (!render_detail::well_formed(image)) throw Failure("Invalid baseline RGB image");
  const std::array<double, 3> gains = render_detail::gray_world_gains(image.pixels, image.pixels.size() / 3);
  RgbImage out = image;
  for (std::size_t i = 0; i < out.pixels.size(); ++i) {
    out.pixels[i] = render_detail::nearest_byte(out.pixels[i] * gains[i % 3]);
  }
  return out;
}

}  // namespace velmora
