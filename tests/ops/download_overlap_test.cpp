// The overlapped download (the next photo fetched while the last one is
// written, renders on helper threads) leaves exactly what a download of one
// photo at a time leaves: the same files with the same bytes, the same
// progress lines, file calls, result and session log, also when a fetch
// fails, the camera is unplugged half-way or the disk fills up.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "ops/download_rig.h"
#include "support/faulty_file_api.h"

namespace velmora {
namespace {

using test::kCompressedFlag;
using test::kLowRes;
using test::kNonStill;
using test::FaultyFileApi;
using test::FileFaults;

struct Outcome {
  std::map<std::string, std::vector<char>> files;  // name to bytes
  std::vector<std::string> progress;
  std::vector<std::string> file_calls;
  std::int32_t saved = 0;
  std::int32_t failed = 0;
  std::u16string errors;
  std::string thrown;  // what the job threw at the end, if anything
};

std::vector<std::string> names(const Outcome& outcome) {
  std::vector<std::string> list;
  for (const auto& [name, bytes] : outcome.files) list.push_back(name);
  return list;
}

sim::CameraImage camera_full_of_photos() {
  return test::camera_image({{kLowRes | kCompressedFlag, test::compressed_photo()},
                                {kLowRes, test::uncompressed_photo()},
                                {kNonStill, test::non_still_photo()},
                                {kLowRes | kCompressedFlag, test::tight_compressed_photo()}});
}

Outcome download(const sim::SimulatedCameraConfig& base, FileFaults faults, const DownloadConcurrency& concurrency) {
  sim::SimulatedCameraConfig config = base;
  config.image = camera_full_of_photos();
  VirtualClock clock;
  sim::SimulatedCamera camera(std::move(config), clock);
  sim::SimulatedDeviceTree tree{sim::device_tree_scenario(sim::DeviceTreeScenario::CameraOnWinUsb)};
  const CameraEnvironment env{camera, tree, clock};
  const ScanData snapshot = scan_camera(env, [](const std::u16string&) {});

  test::TempDir dir;
  FaultyFileApi files(faults);
  FixedLocalTime time{"250314093005", "2025-03-14"};
  DownloadOptions options = test::every_render();
  options.save_usb_transfer = options.save_bayer_plane = options.save_usb_log = options.save_metadata = true;
  options.destination = (dir.path() / "out").u16string();

  Outcome out;
  try {
    const DownloadResult result = run_download(
        env, snapshot, {0, 1, 2, 9, 3}, options,
        [&](const std::u16string& line) { out.progress.push_back(utf16_to_utf8(line)); }, files, time, concurrency);
    out.saved = result.saved;
    out.failed = result.failed;
    out.errors = result.errors;
  } catch (const std::exception& e) {
    out.thrown = e.what();
  }
  out.file_calls = files.calls();
  for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "out")) {
    std::ifstream in(entry.path(), std::ios::binary);
    out.files[utf16_to_utf8(entry.path().filename().u16string())] =
        std::vector<char>(std::istreambuf_iterator<char>(in), {});
  }
  return out;
}

std::uint64_t total_bytes(const Outcome& outcome) {
  std::uint64_t total = 0;
  for (const auto& [name, bytes] : outcome.files) total += bytes.size();
  return total;
}

constexpr DownloadConcurrency kOneAtATime{1, 0};
constexpr DownloadConcurrency kOverlapped{2, 3};

struct Case {
  const char* name;
  std::function<std::optional<sim::FaultAction>(const sim::TransferContext&)> fault;
  bool disk_fills = false;
};

TEST(DownloadOverlap, LeavesWhatOnePhotoAtATimeLeaves) {
  const Outcome healthy = download({}, {}, kOneAtATime);
  ASSERT_EQ(healthy.saved, 3);
  ASSERT_GT(healthy.files.size(), 90u);

  const Case cases[] = {
      {"healthy", nullptr},
      {"second photo's fetch fails",
       [](const sim::TransferContext& t) -> std::optional<sim::FaultAction> {
         if (t.photo_ordinal == 2 && t.chunk == 1) return sim::FaultAction{};
         return std::nullopt;
       }},
      {"camera unplugged during the third photo",
       [](const sim::TransferContext& t) -> std::optional<sim::FaultAction> {
         if (t.photo_ordinal == 3 && t.chunk == 1) return sim::FaultAction{sim::FaultAction::Kind::Unplug};
         return std::nullopt;
       }},
      {"disk fills half-way", nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimulatedCameraConfig config;
    config.fault = c.fault;
    FileFaults faults;
    if (c.disk_fills) faults.disk_space = total_bytes(healthy) / 2;
    const Outcome one_at_a_time = download(config, faults, kOneAtATime);
    const Outcome overlapped = download(config, faults, kOverlapped);
    EXPECT_EQ(names(overlapped), names(one_at_a_time));
    EXPECT_TRUE(overlapped.files == one_at_a_time.files) << "file contents differ";
    EXPECT_EQ(overlapped.progress, one_at_a_time.progress);
    EXPECT_EQ(overlapped.file_calls, one_at_a_time.file_calls);
    EXPECT_EQ(overlapped.saved, one_at_a_time.saved);
    EXPECT_EQ(overlapped.failed, one_at_a_time.failed);
    EXPECT_EQ(utf16_to_utf8(overlapped.errors), utf16_to_utf8(one_at_a_time.errors));
    EXPECT_EQ(overlapped.thrown, one_at_a_time.thrown);
    if (c.fault) {
      EXPECT_LT(one_at_a_time.saved, healthy.saved);
    }
    if (c.disk_fills) {
      EXPECT_LT(total_bytes(one_at_a_time), total_bytes(healthy));
    }
  }
}

}  // namespace
}  // namespace velmora
