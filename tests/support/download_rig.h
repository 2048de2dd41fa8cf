#pragma once
// A download against the simulated camera: a camera image built from a few
// small photos, a fixed local time, a temporary destination and file calls
// that record the names created and can be made to fail.

#include <string>
#include <vector>

#include "ops/download.h"
#include "ops/refresh.h"
#include "protocol/pat.h"
#include "sim/mars_encoder.h"
#include "sim/scenes.h"
#include "support/faulty_file_api.h"
#include "support/sim_fixture.h"
#include "support/temp_dir.h"

namespace velmora::test {

inline constexpr std::uint8_t kLowRes = 0x00;  // 176 x 144
inline constexpr std::uint8_t kNonStill = 0x01;

// A low-resolution photo: its header, then the scene's stream or samples.
inline std::vector<std::uint8_t> photo(bool compressed, std::size_t padding = 0) {
  std::vector<std::uint8_t> bytes = {0x56, compressed ? kCompressedFlag : kLowRes, 11, 9, 0, 0, 0, 50, 0, 0, 0, 0};
  const BayerPlane plane = sim::mosaic_scene_bggr(sim::Scene::Landscape, 176, 144);
  const auto data = compressed ? sim::encode_mars(plane) : plane.samples;
  bytes.insert(bytes.end(), data.begin(), data.end());
  bytes.resize(bytes.size() + padding, 0);
  return bytes;
}
// Zero bytes after the stream decode as "no change", so every shifted-start
// decoder variant runs to the end as well.
inline std::vector<std::uint8_t> compressed_photo(std::size_t padding = 8192) { return photo(true, padding); }
inline std::vector<std::uint8_t> uncompressed_photo() { return photo(false); }
inline std::vector<std::uint8_t> non_still_photo() { return std::vector<std::uint8_t>(3000, 0x5A); }

// The top row's seeds, then zero bits only: 32 + 25340 bits in 3170 bytes.
// With the decoder's 24 bits of look-ahead a start shifted by 6 or 7 bits
// runs out of stream, 1 to 5 do not.
inline std::vector<std::uint8_t> tight_compressed_photo() {
  auto bytes = photo(true);
  bytes.resize(12 + 3170);
  std::fill(bytes.begin() + 12, bytes.end(), 0);
  bytes[12] = 0x90;
  bytes[13] = 0x70;
  return bytes;
}

// The directory: its table at offset 16, ended by 0xFF.
inline std::vector<std::uint8_t> directory_of(const std::vector<std::array<std::uint8_t, 8>>& entries) {
  std::vector<std::uint8_t> directory(8192, 0);
  for (std::size_t i = 0; i < entries.size(); ++i) std::copy_n(entries[i].begin(), 8, directory.begin() + 16 + 8 * i);
  directory[16 + 8 * entries.size()] = 0xFF;
  return directory;
}

struct StoredPhoto {
  std::uint8_t flags;
  std::vector<std::uint8_t> bytes;
};

// The photos at locations 0x100, 0x200, ... on the camera bound to WinUSB.
inline sim::SimulatedSetup download_setup(const std::vector<StoredPhoto>& photos, sim::SimulatedCameraConfig config) {
  std::vector<std::array<std::uint8_t, 8>> entries;
  for (std::uint32_t location = 0x100; const auto& stored : photos) {
    entries.push_back(pat_entry(stored.flags, location, static_cast<std::uint32_t>(stored.bytes.size())));
    config.image.photos[location] = stored.bytes;
    location += 0x100;
  }
  config.image.directory = directory_of(entries);
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
