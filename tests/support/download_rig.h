#pragma once
// Downloads of a few small photos at a fixed local time into a temporary folder, through watched file calls.

#include "ops/download.h"
#include "ops/refresh.h"
#include "sim/mars_encoder.h"
#include "sim/scenes.h"
#include "support/sim_fixture.h"
#include "support/temp_dir.h"

namespace velmora::test {

struct StoredPhoto {
  std::uint8_t flags;  // 0x20: compressed, 0x01: not a still; 176 x 144 without 0x02
  std::vector<std::uint8_t> bytes;
};

// A photo's header, then the scene's stream or samples. Zero bytes after a
// stream decode as "no change": shifted-start decoder variants run to the end.
inline StoredPhoto photo(bool compressed, std::size_t padding = 0) {
  std::vector<std::uint8_t> bytes = {0x56, std::uint8_t(compressed ? 0x20 : 0), 11, 9, 0, 0, 0, 50, 0, 0, 0, 0};
  const BayerPlane plane = sim::mosaic_scene_bggr(sim::Scene::Landscape, 176, 144);
  const auto data = compressed ? sim::encode_mars(plane) : plane.samples;
  bytes.insert(bytes.end(), data.begin(), data.end());
  bytes.resize(bytes.size() + padding, 0);
  return {bytes[1], bytes};
}

// The top row's seeds, then zero bits only: 32 + 25340 bits in 3170 bytes.
// With the decoder's 24 bits of look-ahead a start shifted by 6 or 7 bits
// runs out of stream, 1 to 5 do not.
inline StoredPhoto tight_photo() {
  std::vector<std::uint8_t> bytes = {0x56, 0x20, 11, 9, 0, 0, 0, 50, 0, 0, 0, 0, 0x90, 0x70};
  bytes.resize(12 + 3170, 0);
  return {0x20, bytes};
}

// The directory: its table at offset 16, ended by 0xFF.
inline std::vector<std::uint8_t> directory_of(const std::vector<std::array<std::uint8_t, 8>>& entries) {
  std::vector<std::uint8_t> directory(8192, 0);
  for (std::size_t i = 0; i < entries.size(); ++i) std::copy_n(entries[i].begin(), 8, directory.begin() + 16 + 8 * i);
  directory[16 + 8 * entries.size()] = 0xFF;
  return directory;
}

// The photos at locations 0x100, 0x200, ... on the camera bound to WinUSB.
inline sim::SimulatedSetup download_setup(const std::vector<StoredPhoto>& photos, sim::SimulatedCameraConfig config) {
  std::vector<std::array<std::uint8_t, 8>> entries;
  for (std::uint32_t i = 0; i < photos.size(); ++i) {
    entries.push_back(pat_entry(photos[i].flags, 0x100 * (i + 1), std::uint32_t(photos[i].bytes.size())));
    config.image.photos[0x100 * (i + 1)] = photos[i].bytes;
  }
  config.image.directory = directory_of(entries);
  return {std::move(config), sim::device_tree_scenario(sim::DeviceTreeScenario::CameraOnWinUsb), {}};
}

struct DownloadRig : OperationRig {
  explicit DownloadRig(const std::vector<StoredPhoto>& photos, sim::SimulatedCameraConfig config = {})
      : OperationRig(download_setup(photos, std::move(config))) {}

  void scan() {
    snapshot = scan_camera(env, [](const std::u16string&) {});
  }
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

}  // namespace velmora::test
