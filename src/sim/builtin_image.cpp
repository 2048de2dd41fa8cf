#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/camera_format.h"
#include "protocol/pat.h"
#include "sim/camera_image.h"
#include "sim/mars_encoder.h"
#include "sim/scenes.h"

namespace velmora::sim {
namespace {

constexpr std::size_t kTableOffset = 16;
constexpr std::uint8_t kEndOfTable = 0xFF;
// Locations count 256-byte pages of camera memory, photos stored back to back.
constexpr std::uint32_t kFirstLocation = 0x000100;
constexpr std::uint32_t kPageBytes = 256;

struct PhotoPlan {
  std::uint8_t flags;  // type code in the low nibble
  Scene scene;
  std::uint8_t header_percent;  // header byte 7
};

// The order of the camera's table: the stored order, so locations ascend.
constexpr PhotoPlan kPlans[] = {
    {0x22, Scene::ColourChart, 37}, {0x22, Scene::Landscape, 64}, {0x20, Scene::Gradients, 81},
    {0x00, Scene::Landscape, 52},   {0x01, Scene::Gradients, 0},  // a non-still item: opaque bytes
    {0x22, Scene::FineDetail, 100}, {0x28, Scene::Landscape, 45},
};

PhotoGeometry geometry(const PhotoPlan& plan) { return *type_code_geometry(plan.flags & kTypeCodeMask); }

std::vector<std::uint8_t> header(const PhotoPlan& plan) {
  std::vector<std::uint8_t> bytes(kRawHeaderBytes, 0);
  bytes[0] = 0x56;
  bytes[1] = plan.flags;
  bytes[2] = static_cast<std::uint8_t>(geometry(plan).width / 16);
  bytes[3] = static_cast<std::uint8_t>(geometry(plan).height / 16);
  bytes[7] = plan.header_percent;
  return bytes;
}

std::vector<std::uint8_t> non_still_bytes() {
  std::vector<std::uint8_t> bytes(3000);
  std::uint32_t state = 0x1234567u;
  for (auto& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 16);
  }
  return bytes;
}

std::vector<std::uint8_t> stored_photo(const PhotoPlan& plan) {
  if ((plan.flags & kTypeCodeMask) == kNonStillType) return non_still_bytes();
  std::vector<std::uint8_t> stored = header(plan);
  const PhotoGeometry size = geometry(plan);
  BayerPlane plane = mosaic_scene_bggr(plan.scene, static_cast<int>(size.width), static_cast<int>(size.height));
  if (plan.flags & kCompressedFlag) {
    const std::vector<std::uint8_t> stream = encode_mars(plane);
    stored.insert(stored.end(), stream.begin(), stream.end());
  } else {
    stored.insert(stored.end(), plane.samples.begin(), plane.samples.end());
  }
  return stored;
}

void put_le24(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
  out[2] = static_cast<std::uint8_t>(value >> 16);
}

}  // namespace

CameraImage builtin_camera_image() {
  CameraImage image;
  image.directory.assign(kDirectoryBytes, 0);
  std::uint32_t location = kFirstLocation;
  std::size_t at = kTableOffset;
  for (const PhotoPlan& plan : kPlans) {
    std::vector<std::uint8_t> stored = stored_photo(plan);
    const auto size = static_cast<std::uint32_t>(stored.size());
    std::uint8_t* entry = &image.directory[at];
    entry[0] = plan.flags;
    put_le24(entry + 1, location);
    put_le24(entry + 4, size);
    image.photos[location] = std::move(stored);
    location += (size + kPageBytes - 1) / kPageBytes;
    at += kPatEntrySize;
  }
  image.directory[at] = kEndOfTable;
  return image;
}

}  // namespace velmora::sim
