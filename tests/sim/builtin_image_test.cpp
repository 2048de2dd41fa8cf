#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "decode/mars_decoder.h"
#include "protocol/pat.h"
#include "sim/camera_image.h"
#include "sim/scenes.h"

namespace velmora::sim {
namespace {

TEST(BuiltinCameraImage, DirectoryListsEveryPhotoValidly) {
  const CameraImage image = builtin_camera_image();
  ASSERT_EQ(image.directory.size(), 8192u);
  const std::vector<PhotoEntry> entries = parse_pat(image.directory);
  ASSERT_EQ(entries.size(), image.photos.size());
  std::multiset<int> kinds;
  std::uint32_t previous = 0;
  for (const PhotoEntry& e : entries) {
    EXPECT_GT(e.location(), previous);
    previous = e.location();
    ASSERT_EQ(image.photos.count(e.location()), 1u);
    EXPECT_EQ(image.photos.at(e.location()).size(), e.size_bytes);
    kinds.insert(e.flags);
  }
  EXPECT_GE(kinds.count(0x22), 1u);
  EXPECT_EQ(kinds.count(0x20), 1u);
  EXPECT_EQ(kinds.count(0x00), 1u);
  EXPECT_EQ(kinds.count(0x28), 1u);
  EXPECT_EQ(kinds.count(0x01), 1u);
}

TEST(BuiltinCameraImage, StillPhotosDecodeCloseToTheirScenes) {
  const CameraImage image = builtin_camera_image();
  for (const PhotoEntry& e : parse_pat(image.directory)) {
    if (e.non_still) continue;
    const auto& stored = image.photos.at(e.location());
    EXPECT_LE(stored[7], 100) << "header byte 7 is a percentage";
    const auto width = static_cast<std::int32_t>(e.width), height = static_cast<std::int32_t>(e.height);
    const BayerPlane plane = decode_raw_photo(stored, width, height, e.compressed, 0);
    const int limit = e.compressed ? 7 : 0;
    // Which scene is which is not fixed; one of them must match.
    bool matched = false;
    for (Scene scene : {Scene::ColourChart, Scene::Gradients, Scene::Landscape, Scene::FineDetail}) {
      const BayerPlane target = mosaic_scene_bggr(scene, width, height);
      bool close = true;
      for (std::size_t i = 0; i < target.samples.size() && close; ++i) {
        close = std::abs(plane.samples[i] - target.samples[i]) <= limit;
      }
      matched = matched || close;
    }
    EXPECT_TRUE(matched) << "photo at location " << e.location();
  }
}

TEST(BuiltinCameraImage, IsTheSameEveryTime) {
  const CameraImage first = builtin_camera_image();
  const CameraImage second = builtin_camera_image();
  EXPECT_EQ(first.directory, second.directory);
  EXPECT_EQ(first.photos, second.photos);
}

TEST(Scenes, MosaicIsBlueGreenOverGreenRed) {
  const BayerPlane plane = mosaic_scene_bggr(Scene::ColourChart, 176, 144);
  ASSERT_EQ(plane.samples.size(), 176u * 144u);
  for (const auto& [x, y] : {std::pair{40, 40}, std::pair{100, 70}, std::pair{150, 120}}) {
    const Rgb c = scene_pixel(Scene::ColourChart, x, y, 176, 144);
    const int expected = y % 2 == 0 ? (x % 2 == 0 ? c.blue : c.green) : (x % 2 == 0 ? c.green : c.red);
    EXPECT_EQ(plane.samples[y * 176 + x], expected) << x << "," << y;
  }
}

}  // namespace
}  // namespace velmora::sim
