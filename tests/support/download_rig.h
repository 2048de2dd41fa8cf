#pragma once
// A download against the simulated camera: a camera image built from a few
// small photos, a fixed local time, a temporary destination and file calls
// that record the names created and can be made to fail.

#include <string>
#include <vector>

#include "ops/download.h"
#include "ops/refresh.h"
#include "sim/mars_encoder.h"
#include "sim/scenes.h"
#include "support/faulty_file_api.h"
#include "support/sim_fixture.h"
#include "support/temp_dir.h"

namespace velmora::test {

inline constexpr std::uint8_t kLowRes = 0x00;  // 176 x 144
inline constexpr std::uint8_t kCompressedFlag = 0x20;
inline constexpr std::uint8_t kNonStill = 0x01;

inline std::vector<std::uint8_t> raw_header(std::uint8_t flags) { return {0x56, flags, 11, 9, 0, 0, 0, 50, 0, 0, 0, 0}; }

// A compressed low-resolution photo whose stream is followed by zero bytes:
// zeros decode as "no change", so every shifted-start decoder variant runs
// to the end as well.
inline std::vector<std::uint8_t> compressed_photo(std::size_t padding = 8192) {
  auto bytes = raw_header(kLowRes | kCompressedFlag);
  const auto stream = sim::encode_mars(sim::mosaic_scene_bggr(sim::Scene::Landscape, 176, 144));
  bytes.insert(bytes.end(), stream.begin(), stream.end());
  bytes.resize(bytes.size() + padding, 0);
  return bytes;
}

// The top row's seeds, then zero bits only: 32 + 25340 bits in 3170 bytes.
// With the decoder's 24 bits of look-ahead a start shifted by 6 or 7 bits
// runs out of stream, 1 to 5 do not.
inline std::vector<std::uint8_t> tight_compressed_photo() {
  auto bytes = raw_header(kLowRes | kCompressedFlag);
  bytes.resize(12 + 3170, 0);
  bytes[12] = 0x90;
  bytes[13] = 0x70;
  return bytes;
}

inline std::vector<std::uint8_t> uncompressed_photo() {
  auto bytes = raw_header(kLowRes);
  const auto plane = sim::mosaic_scene_bggr(sim::Scene::Landscape, 176, 144);
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
  for (std::uint32_t location = 0x100; const auto& photo : photos) {
    const auto entry = pat_entry(photo.flags, location, static_cast<std::uint32_t>(photo.bytes.size()));
    std::copy(entry.begin(), entry.end(), image.directory.begin() + static_cast<std::ptrdiff_t>(at));
    image.photos[location] = photo.bytes;
    at += 8;
    location += 0x100;
  }
  image.directory[at] = 0xFF;
  return image;
}

inline sim::SimulatedSetup download_setup(const std::vector<StoredPhoto>& photos, sim::SimulatedCameraConfig config) {
  config.image = camera_image(photos);
  return {std::move(config), sim::device_tree_scenario(sim::DeviceTreeScenario::CameraOnWinUsb), {}};
}

struct DownloadRig : OperationRig {
  explicit DownloadRig(const std::vector<StoredPhoto>& photos, sim::SimulatedCameraConfig config = {})
      : OperationRig(download_setup(photos, std::move(config))) {}

  void scan() { snapshot = scan_camera(env, [](const std::u16string&) {}); }

  // Into destination() unless the options name a folder.
  DownloadResult run(const std::vector<std::uint64_t>& indices, DownloadOptions options,
                     const DownloadConcurrency& concurrency = {}) {
    if (snapshot.entries.empty()) scan();
    if (options.destination.empty()) options.destination = destination().u16string();
    return run_download(env, snapshot, indices, options, progress, files, time, concurrency);
  }

  std::filesystem::path destination() const { return dir.path() / "out"; }

  FixedLocalTime time{"250314093005", "2025-03-14"};
  FaultyFileApi files;
  TempDir dir;
  ScanData snapshot;
};

inline DownloadOptions no_renders() {
  DownloadOptions o;
  o.restrained = o.balanced = o.expressive = false;
  return o;
}

}  // namespace velmora::test
