#pragma once
// What a simulated camera has in memory: the 8192-byte directory area and the
// stored bytes of each photo, keyed by the photo's 24-bit location value.

#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

namespace velmora::sim {

struct CameraImage {
  std::vector<std::uint8_t> directory;  // returned by a directory read, padded to 8192
  std::map<std::uint32_t, std::vector<std::uint8_t>> photos;
};

// A camera-image folder: "directory.bin" and one "photo-LLLLLL.bin" per photo
// (LLLLLL = location value, six lower-case hex digits). Throws Failure.
CameraImage load_camera_image(const std::filesystem::path& folder);

// The built-in photos: procedurally drawn scenes, mosaicked and encoded.
CameraImage builtin_camera_image();

}  // namespace velmora::sim
