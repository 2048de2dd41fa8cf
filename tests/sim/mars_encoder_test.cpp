// The simulator's own products, held to no other reference: the encoder, the scenes, the built-in camera.
#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "base/failure.h"
#include "base/text.h"
#include "decode/mars_decoder.h"
#include "protocol/pat.h"
#include "sim/camera_image.h"
#include "sim/mars_encoder.h"
#include "sim/scenes.h"

namespace velmora::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

int max_difference(const Bytes& a, const Bytes& b) {
  int worst = a.size() == b.size() ? 0 : 999;
  for (std::size_t i = 0; i < a.size() && worst < 999; ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

int round_trip_error(const BayerPlane& p) {
  return max_difference(decompress_mars(encode_mars(p), p.width, p.height, 0), p.samples);
}

TEST(MarsEncoder, DecodesWithinTheLiteralStepAndExactlyWhereTheFormatCan) {
  std::uint32_t state = 7;
  const auto next = [&] { return static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24); };
  for (const auto& [width, height] : {std::pair{2, 2}, std::pair{3, 9}, std::pair{97, 31}, std::pair{176, 144}}) {
    BayerPlane noise{width, height, Bytes(static_cast<std::size_t>(width) * height)};
    for (auto& s : noise.samples) s = next() % 252;
    EXPECT_LE(round_trip_error(noise), 4) << width << "x" << height;
    Bytes stream(noise.samples.size() * 2);  // any long enough stream decodes, so its plane is reachable
    for (auto& b : stream) b = next();
    EXPECT_EQ(round_trip_error({width, height, decompress_mars(stream, width, height, 0)}), 0);
  }
  BayerPlane smooth{352, 288, {}};
  for (int i = 0; i < 352 * 288; ++i)
    smooth.samples.push_back(static_cast<std::uint8_t>(40 + i / 352 % 2 * 60 + i % 352 / 4));
  EXPECT_EQ(encode_mars(smooth).size(), 21040u) << "the shorter code on a tie";
  for (const auto& [width, height, size] : {std::tuple{1, 4, 4}, std::tuple{4097, 2, 8194}, std::tuple{4, 4, 15}}) {
    EXPECT_THROW(encode_mars({width, height, Bytes(size)}), Failure) << width << "x" << height;
  }
}

TEST(BuiltinCameraImage, ListsEveryPhotoAndItsStillsShowTheScenes) {
  const CameraImage image = builtin_camera_image();
  EXPECT_EQ(image.photos, builtin_camera_image().photos) << "the same every time";
  std::string flags;
  for (const PhotoEntry& e : parse_pat(image.directory)) {
    flags += hex_bytes(std::span(&e.flags, 1)) + " ";
    ASSERT_EQ(image.photos.at(e.location()).size(), e.size_bytes);
    if (e.non_still) continue;
    const auto width = static_cast<std::int32_t>(e.width), height = static_cast<std::int32_t>(e.height);
    EXPECT_LE(image.photos.at(e.location())[7], 100) << "header byte 7 is a percentage";
    const Bytes samples = decode_raw_photo(image.photos.at(e.location()), width, height, e.compressed, 0).samples;
    int best = 999;
    for (Scene scene : {Scene::ColourChart, Scene::Gradients, Scene::Landscape, Scene::FineDetail}) {
      best = std::min(best, max_difference(samples, mosaic_scene_bggr(scene, width, height).samples));
    }
    EXPECT_LE(best, e.compressed ? 7 : 0) << "photo at " << e.location();
  }
  EXPECT_EQ(flags + std::to_string(image.photos.size()), "22 22 20 00 01 22 28 7") << "one entry per photo";
  const Bytes mosaic = mosaic_scene_bggr(Scene::ColourChart, 176, 144).samples;
  const auto at = [&](int x, int y) { return scene_pixel(Scene::ColourChart, x, y, 176, 144); };
  EXPECT_EQ(std::vector<int>({mosaic[70 * 176 + 100], mosaic[70 * 176 + 101], mosaic[71 * 176 + 101]}),
            std::vector<int>({at(100, 70).blue, at(101, 70).green, at(101, 71).red}));
}

}  // namespace
}  // namespace velmora::sim
