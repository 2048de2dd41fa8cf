#pragma once
// A download against the simulated camera: a camera image built from a few
// small photos, the simulated device tree, a virtual clock, a fixed local
// time and a temporary destination. File creations are recorded in order.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "ops/download.h"
#include "ops/refresh.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "sim/mars_encoder.h"
#include "sim/scenes.h"
#include "sim/simulated_camera.h"
#include "sim/simulated_device_tree.h"
#include "support/sim_fixture.h"
#include "support/temp_dir.h"

namespace velmora::test {

inline constexpr std::uint8_t kLowRes = 0x00;        // 176 x 144
inline constexpr std::uint8_t kCompressedFlag = 0x20;
inline constexpr std::uint8_t kNonStill = 0x01;

// A raw photo header as the camera stores it.
inline std::vector<std::uint8_t> raw_header(std::uint8_t flags) {
  return {0x56, flags, 176 / 16, 144 / 16, 0, 0, 0, 50, 0, 0, 0, 0};
}

inline BayerPlane scene_plane() { return sim::mosaic_scene_bggr(sim::Scene::Landscape, 176, 144); }

// A compressed low-resolution photo whose stream is followed by zero bytes:
// zeros decode as "no change", so every shifted-start decoder variant runs
// to the end as well.
inline std::vector<std::uint8_t> compressed_photo(std::size_t padding = 8192) {
  auto bytes = raw_header(kLowRes | kCompressedFlag);
  const auto stream = sim::encode_mars(scene_plane());
  bytes.insert(bytes.end(), stream.begin(), stream.end());
  bytes.resize(bytes.size() + padding, 0);
  return bytes;
}

// The top row's two seed bytes, then zero bits only (the second row's seeds
// and one "no change" code per sample) and nothing more: 32 + 25340 bits of
// 25360 in 3170 bytes. With the decoder's 24 bits of look-ahead padding a
// start shifted by 6 or 7 bits runs out of stream, 1 to 5 do not.
inline std::vector<std::uint8_t> tight_compressed_photo() {
  auto bytes = raw_header(kLowRes | kCompressedFlag);
  const std::vector<std::uint8_t> stream_start = {0x90, 0x70};
  bytes.insert(bytes.end(), stream_start.begin(), stream_start.end());
  bytes.resize(12 + 3170, 0);
  return bytes;
}

inline std::vector<std::uint8_t> uncompressed_photo() {
  auto bytes = raw_header(kLowRes);
  const auto plane = scene_plane();
  bytes.insert(bytes.end(), plane.samples.begin(), plane.samples.end());
  return bytes;
}

inline std::vector<std::uint8_t> non_still_photo() { return std::vector<std::uint8_t>(3000, 0x5A); }

struct StoredPhoto {
  std::uint8_t flags;
  std::vector<std::uint8_t> bytes;
};

// The directory table at offset 16, photos at locations 0x100, 0x200, ...
inline sim::CameraImage camera_image(const std::vector<StoredPhoto>& photos) {
  sim::CameraImage image;
  image.directory.assign(8192, 0);
  std::size_t at = 16;
  std::uint32_t location = 0x100;
  for (const auto& photo : photos) {
    const auto size = static_cast<std::uint32_t>(photo.bytes.size());
    const auto entry = pat_entry(photo.flags, location, size);
    std::copy(std::begin(entry), std::end(entry), image.directory.begin() + static_cast<std::ptrdiff_t>(at));
    image.photos[location] = photo.bytes;
    at += 8;
    location += 0x100;
  }
  image.directory[at] = 0xFF;
  return image;
}

// Passes every call to the real files; remembers the names it was asked to
// create and can refuse names containing a given text.
class RecordingFileApi final : public FileApi {
 public:
  FileHandle create_new_file(const std::filesystem::path& path) override {
    const std::string name = utf16_to_utf8(path.filename().u16string());
    if (!refuse_containing.empty() && name.find(refuse_containing) != std::string::npos) {
      set_last_error(kErrorAccessDenied);
      return invalid_file_handle();
    }
    created.push_back(name);
    return real_.create_new_file(path);
  }
  bool write_file(FileHandle file, const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) override {
    return real_.write_file(file, data, size, written);
  }
  bool flush_file_buffers(FileHandle file) override { return real_.flush_file_buffers(file); }
  bool close_handle(FileHandle file) override { return real_.close_handle(file); }
  bool delete_file(const std::filesystem::path& path) override { return real_.delete_file(path); }

  std::vector<std::string> created;
  std::string refuse_containing;

 private:
  FileApi& real_ = system_file_api();
};

struct DownloadRig {
  explicit DownloadRig(const std::vector<StoredPhoto>& photos, sim::SimulatedCameraConfig config = {}) {
    config.image = camera_image(photos);
    camera = std::make_unique<sim::SimulatedCamera>(std::move(config), clock);
  }

  CameraEnvironment env() { return {*camera, tree, clock}; }

  const ScanData& scan() {
    snapshot = scan_camera(env(), [](const std::u16string&) {});
    return snapshot;
  }

  DownloadResult run(const std::vector<std::uint64_t>& indices, DownloadOptions options) {
    if (snapshot.entries.empty()) scan();
    if (options.destination.empty()) options.destination = destination().u16string();
    return run_download(env(), snapshot, indices, options,
                        [this](const std::u16string& line) { progress.push_back(utf16_to_utf8(line)); }, files,
                        time);
  }

  std::filesystem::path destination() const { return dir.path() / "out"; }

  // File names in the destination, sorted.
  std::vector<std::string> listing(const std::filesystem::path& folder) const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
      names.push_back(utf16_to_utf8(e.path().filename().u16string()));
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<std::string> listing() const { return listing(destination()); }

  VirtualClock clock;
  std::unique_ptr<sim::SimulatedCamera> camera;
  sim::SimulatedDeviceTree tree{sim::device_tree_scenario(sim::DeviceTreeScenario::CameraOnWinUsb)};
  FixedLocalTime time{"250314093005", "2025-03-14"};
  RecordingFileApi files;
  test::TempDir dir;
  ScanData snapshot;
  std::vector<std::string> progress;
};

inline DownloadOptions no_renders() {
  DownloadOptions o;
  o.restrained = o.balanced = o.expressive = false;
  return o;
}

inline DownloadOptions every_render() {
  DownloadOptions o;
  for (const auto& flag : kDownloadFlags) o.*flag = true;
  o.save_usb_transfer = o.save_bayer_plane = o.save_usb_log = o.save_metadata = o.dated_folder = false;
  return o;
}

}  // namespace velmora::test
