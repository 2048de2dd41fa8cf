#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>

#include "decode/mars_decoder.h"
#include "sim/camera_image.h"
#include "sim/scenes.h"

namespace velmora::sim {
namespace {

struct Entry {
  std::uint8_t flags;
  std::uint32_t location;
  std::uint32_t size;
};

std::uint32_t le24(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16; }

std::vector<Entry> table_at_16(const std::vector<std::uint8_t>& directory) {
  std::vector<Entry> entries;
  std::size_t at = 16;
  while (at + 8 <= directory.size() && directory[at] != 0xFF) {
    entries.push_back({directory[at], le24(&directory[at + 1]), le24(&directory[at + 4])});
    at += 8;
  }
  EXPECT_LT(at, directory.size());
  for (std::size_t i = at + 1; i < directory.size(); ++i) EXPECT_EQ(directory[i], 0) << "byte " << i;
  for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(directory[i], 0) << "byte " << i;
  return entries;
}

// What the directory parser accepts, written out independently.
bool entry_is_valid(const Entry& e, int& width, int& height) {
  static const std::map<int, std::pair<int, int>> geometry = {
      {0, {176, 144}}, {2, {352, 288}}, {6, {320, 240}}, {8, {640, 480}}, {1, {0, 0}}};
  const auto it = geometry.find(e.flags & 0x0F);
  if (it == geometry.end() || e.size == 0) return false;
  if ((e.size + 432) / 8192 * 8192 + 8192 > 16777216u) return false;
  std::tie(width, height) = it->second;
  if (width == 0) return true;
  const std::uint32_t expected = static_cast<std::uint32_t>(width * height + 12);
  return (e.flags & 0x20) ? e.size >= 12 && e.size < expected : e.size == expected;
}

TEST(BuiltinCameraImage, DirectoryListsEveryPhotoValidly) {
  const CameraImage image = builtin_camera_image();
  ASSERT_EQ(image.directory.size(), 8192u);
  const std::vector<Entry> entries = table_at_16(image.directory);
  ASSERT_EQ(entries.size(), image.photos.size());
  std::multiset<int> kinds;
  std::uint32_t previous = 0;
  for (const Entry& e : entries) {
    int width = 0, height = 0;
    EXPECT_TRUE(entry_is_valid(e, width, height)) << "flags " << int(e.flags) << " size " << e.size;
    EXPECT_GT(e.location, previous);
    previous = e.location;
    ASSERT_EQ(image.photos.count(e.location), 1u);
    EXPECT_EQ(image.photos.at(e.location).size(), e.size);
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
  for (const Entry& e : table_at_16(image.directory)) {
    int width = 0, height = 0;
    if (!entry_is_valid(e, width, height) || width == 0) continue;
    const auto& stored = image.photos.at(e.location);
    EXPECT_LE(stored[7], 100) << "header byte 7 is a percentage";
    const BayerPlane plane = decode_raw_photo(stored, width, height, (e.flags & 0x20) != 0, 0);
    const int limit = (e.flags & 0x20) ? 7 : 0;
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
    EXPECT_TRUE(matched) << "photo at location " << e.location;
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
