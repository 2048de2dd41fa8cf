#include "bench_photo.h"

#include "decode/mars_decoder.h"
#include "sim/mars_encoder.h"
#include "sim/scenes.h"

namespace velmora::bench {

const std::vector<std::uint8_t>& stored_photo() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> stored = {0x56, 0x28, kWidth / 16, kHeight / 16, 0, 0, 0, 45, 0, 0, 0, 0};
    const auto stream = sim::encode_mars(sim::mosaic_scene_bggr(sim::Scene::Landscape, kWidth, kHeight));
    stored.insert(stored.end(), stream.begin(), stream.end());
    return stored;
  }();
  return bytes;
}

const BayerPlane& decoded_plane() {
  static const BayerPlane plane = decode_raw_photo(stored_photo(), kWidth, kHeight, true, 0);
  return plane;
}

const RgbImage& scene_image() {
  static const RgbImage image = [] {
    RgbImage out{kWidth, kHeight, std::vector<std::uint8_t>(static_cast<std::size_t>(kWidth) * kHeight * 3)};
    std::size_t at = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const sim::Rgb rgb = sim::scene_pixel(sim::Scene::Landscape, x, y, kWidth, kHeight);
        out.pixels[at++] = static_cast<std::uint8_t>(rgb.red);
        out.pixels[at++] = static_cast<std::uint8_t>(rgb.green);
        out.pixels[at++] = static_cast<std::uint8_t>(rgb.blue);
      }
    }
    return out;
  }();
  return image;
}

}  // namespace velmora::bench
