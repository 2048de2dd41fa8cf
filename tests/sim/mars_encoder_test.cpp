// The simulator's own products, which nothing else holds to a reference: the
// encoder behind every simulated photo, the scenes, and the built-in camera.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "base/failure.h"
#include "decode/mars_decoder.h"
#include "protocol/pat.h"
#include "sim/camera_image.h"
#include "sim/mars_encoder.h"
#include "sim/scenes.h"

namespace velmora::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Largest difference between a plane and what its encoding decodes to.
int round_trip_error(const BayerPlane& plane) {
  const Bytes decoded = decompress_mars(encode_mars(plane), plane.width, plane.height, 0);
  int worst = decoded.size() == plane.samples.size() ? 0 : 999;
  for (std::size_t i = 0; i < decoded.size() && worst < 999; ++i)
    worst = std::max(worst, std::abs(decoded[i] - plane.samples[i]));
  return worst;
}

TEST(MarsEncoder, DecodesWithinTheLiteralStepAndExactlyWhereTheFormatCan) {
  std::uint32_t state = 7;
  for (const auto& [width, height] : {std::pair{2, 2}, std::pair{3, 9}, std::pair{97, 31}, std::pair{176, 144}}) {
    BayerPlane noise{width, height, Bytes(static_cast<std::size_t>(width) * height)};
    for (auto& s : noise.samples) s = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24) % 252;
    EXPECT_LE(round_trip_error(noise), 4) << width << "x" << height;
    // Any long enough stream decodes, so its plane is reachable.
    Bytes stream(noise.samples.size() * 2);
    for (auto& b : stream) b = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    EXPECT_EQ(round_trip_error({width, height, decompress_mars(stream, width, height, 0)}), 0);
  }
  BayerPlane smooth{352, 288, {}};
  for (int i = 0; i < 352 * 288; ++i)
    smooth.samples.push_back(static_cast<std::uint8_t>(40 + (i / 352 % 2) * 60 + i % 352 / 4));
  EXPECT_LT(encode_mars(smooth).size(), smooth.samples.size() / 4);
  for (const BayerPlane& bad :
       {BayerPlane{1, 4, Bytes(4)}, BayerPlane{4097, 2, Bytes(8194)}, BayerPlane{4, 4, Bytes(15)}}) {
    EXPECT_THROW(encode_mars(bad), Failure) << bad.width << "x" << bad.height;
  }
}

TEST(BuiltinCameraImage, ListsEveryPhotoAndItsStillsShowTheScenes) {
  const CameraImage image = builtin_camera_image();
  EXPECT_EQ(image.photos, builtin_camera_image().photos) << "the same every time";
  std::multiset<int> kinds;
  for (const PhotoEntry& e : parse_pat(image.directory)) {
    kinds.insert(e.flags);
    ASSERT_EQ(image.photos.at(e.location()).size(), e.size_bytes);
    if (e.non_still) continue;
    const auto width = static_cast<std::int32_t>(e.width), height = static_cast<std::int32_t>(e.height);
    const BayerPlane plane = decode_raw_photo(image.photos.at(e.location()), width, height, e.compressed, 0);
    int best = 999;
    for (Scene scene : {Scene::ColourChart, Scene::Gradients, Scene::Landscape, Scene::FineDetail}) {
      const BayerPlane target = mosaic_scene_bggr(scene, width, height);
      int worst = 0;
      for (std::size_t i = 0; i < target.samples.size(); ++i)
        worst = std::max(worst, std::abs(plane.samples[i] - target.samples[i]));
      best = std::min(best, worst);
    }
    EXPECT_LE(best, e.compressed ? 7 : 0) << "photo at " << e.location();
  }
  EXPECT_EQ(kinds.size(), image.photos.size());
  EXPECT_EQ(std::vector<int>(
                {int(kinds.count(0x00)), int(kinds.count(0x01)), int(kinds.count(0x20)), int(kinds.count(0x28))}),
            std::vector<int>({1, 1, 1, 1}));
  EXPECT_GE(kinds.count(0x22), 1u);
  const BayerPlane mosaic = mosaic_scene_bggr(Scene::ColourChart, 176, 144);
  const auto at = [&](int x, int y) { return scene_pixel(Scene::ColourChart, x, y, 176, 144); };
  EXPECT_EQ(std::vector<int>(
                {mosaic.samples[70 * 176 + 100], mosaic.samples[70 * 176 + 101], mosaic.samples[71 * 176 + 101]}),
            std::vector<int>({at(100, 70).blue, at(101, 70).green, at(101, 71).red}));
}

}  // namespace
}  // namespace velmora::sim
