// Refresh, preview and a download of every photo over the simulated camera's
// fault scenarios and hand-made directories: each ends in its documented
// result with the device closed and only the allowed commands sent.
#include <gtest/gtest.h>

#include "decode/mars_decoder.h"
#include "ops/preview.h"
#include "render/render_photo.h"
#include "support/download_rig.h"

namespace velmora {
namespace {

const std::string kAllFailed =
    "All five bounded camera directory reads failed. Reconnect the camera; do not reset/delete it.";
const std::string kNoCamera = "No WinUSB-bound MR97310 camera found. Check Device Manager and WinUsb Device binding.";

const sim::CameraImage& builtin() {
  static const sim::CameraImage image = sim::builtin_camera_image();
  return image;
}

// The built-in camera holds 7 entries; the 5th is a non-still item. The
// refresh opens the device five times, the download once more after each
// failure; after an unplug each later photo tries a fresh opening.
struct ScenarioCase {
  const char* scenario;
  std::string refresh_error;  // empty: the refresh succeeds and every photo is downloaded
  int openings;
  std::string download = {};  // saved/failed and the errors
};
const ScenarioCase kScenarios[] = {
    {"flaky-directory", "", 6, "6/1 "},
    {"jammed", "", 6, "6/1 "},
    {"stuck-jam", kAllFailed, 5},
    {"no-ack", kAllFailed, 5},
    {"photo-timeout", "", 7, "5/2 Photo 2: WinUsb_ReadPipe (Win32 error 121)\n"},
    {"unplugged-mid-download", "", 6,
     "1/6 Photo 2: WinUsb_ReadPipe (Win32 error 1167)\nPhoto 3: CreateFile (Win32 error 2)\n"
     "Photo 4: CreateFile (Win32 error 2)\nPhoto 6: CreateFile (Win32 error 2)\nPhoto 7: CreateFile (Win32 error 2)\n"},
    {"interface-busy", "WinUsb_Initialize (Win32 error 170)", 0},
    {"variant-010f", "Active reads have only been verified for USB 093A:010E (not this variant)", 0},
    {"no-winusb", kNoCamera, 0},
    {"disconnected", kNoCamera, 0},
    {"replug", "", 6, "6/1 "},  // plugged in until a program plays its plug events
};

TEST(Operations, EveryScenarioEndsInItsDocumentedResult) {
  EXPECT_EQ(sim::scenario_descriptions().size(), std::size(kScenarios));
  EXPECT_FALSE(sim::scenario_setup("no-such-scenario", {}));
  for (const ScenarioCase& c : kScenarios) {
    SCOPED_TRACE(c.scenario);
    test::OperationRig rig(std::move(*sim::scenario_setup(c.scenario, builtin())));
    ScanData scan;
    const std::string refresh = test::failure_of([&] { scan = scan_camera(rig.env, rig.progress); });
    EXPECT_EQ(refresh, c.refresh_error.empty() ? "(no failure)" : c.refresh_error);
    if (c.refresh_error.empty()) {
      test::TempDir out;
      DownloadOptions options;
      options.destination = out.path().u16string();
      FixedLocalTime time("261206120000", "2026-12-06");
      const DownloadResult r = run_download(rig.env, scan, collect_download_indices(true, 7, {}), options,
                                            rig.progress, system_file_api(), time);
      EXPECT_EQ(std::to_string(r.saved) + "/" + std::to_string(r.failed) + " " + utf16_to_utf8(r.errors), c.download);
    }
    EXPECT_EQ(rig.camera.openings(), c.openings);
    EXPECT_TRUE(c.openings > 0 || rig.camera.descriptor_requests() == 0);
    EXPECT_EQ(test::camera_problem(rig.camera, &rig.tree), "");
  }
}

using Pat = std::array<std::uint8_t, 8>;
const Pat kA = test::pat_entry(0x20, 0x100, 10000);  // LR-CP
const Pat kB = test::pat_entry(0x22, 0x200, 20000);  // HR-CP
const Pat kC = test::pat_entry(0x00, 0x300, 25356);  // LR-nP
const Pat kD = test::pat_entry(0x21, 0x000, 100);    // R1

std::vector<Pat> pats_of(const ScanData& scan) {
  std::vector<Pat> pats;
  for (std::size_t i = 0; i < scan.entries.size(); ++i) {
    pats.push_back(scan.entries[i].index == i ? scan.entries[i].pat_bytes : Pat{});
  }
  return pats;
}

sim::FaultAction fail(std::uint32_t code) { return {sim::FaultAction::Kind::Fail, code}; }

TEST(Operations, RefreshMergesTheFiveObservationsWithProgressAndPauses) {
  sim::CameraImage image;
  image.directory = test::directory_of({kB, kA});
  test::OperationRig rig(sim::healthy_setup(image));
  const ScanData scan = scan_camera(rig.env, rig.progress);
  EXPECT_EQ(scan.device_path + u"|" + scan.camera_name + u"|" + scan.driver_service,
            sim::kSimulatedDevicePath + u"|Dual-Mode Digital Camera|WinUSB");
  EXPECT_EQ(scan.descriptors.pid, 0x010E);
  EXPECT_EQ(pats_of(scan), (std::vector<Pat>{kA, kB}));
  ASSERT_EQ(scan.observation_logs.size(), 5u);
  for (const auto& log : scan.observation_logs) EXPECT_EQ(log.size(), 57u);
  std::vector<std::string> lines{"Opening the camera safely..."};
  for (int k = 1; k <= 5; ++k) lines.push_back("Reading camera directory (observation " + std::to_string(k) + " of 5)...");
  lines.push_back("Camera directory read: 2 validated item(s).");
  EXPECT_EQ(rig.lines, lines);
  EXPECT_EQ(rig.camera.openings(), 5);
  EXPECT_EQ(rig.clock.slept_ms(), 1000u + 5u * 20u);  // the refresh's pauses, two per directory read
  EXPECT_EQ(test::camera_problem(rig.camera, &rig.tree), "");
}

TEST(Operations, RefreshKeepsTheUnionOfTheCompletedObservations) {
  sim::SimulatedSetup setup = sim::healthy_setup({});
  setup.camera.fault = [](const sim::TransferContext& t) {
    return t.directory_data && (t.opening == 1 || t.opening == 3) ? std::optional(fail(121)) : std::nullopt;
  };
  setup.camera.damage_directory = [](int opening, std::vector<std::uint8_t>& dir) {
    const std::vector<Pat> by_opening[] = {{kA, kB, kC, kD}, {kB}, {kA, kB, kC, kD}, {kC, kB}, {kD}};
    dir = test::directory_of(by_opening[opening - 1]);  // the 1st and 3rd never arrive
  };
  test::OperationRig rig(std::move(setup));
  const ScanData scan = scan_camera(rig.env, rig.progress);
  EXPECT_EQ(pats_of(scan), (std::vector<Pat>{kD, kB, kC})) << "sorted by location";
  EXPECT_EQ(scan.observation_logs[0].back().error_code, 121u);

  setup = sim::healthy_setup({});
  setup.camera.pid = 0x010F;  // the tree says 010E
  test::OperationRig other(std::move(setup));
  EXPECT_EQ(test::failure_of([&] { scan_camera(other.env, other.progress); }), "USB descriptor mismatch");
  EXPECT_EQ(other.camera.pipe_transfers(), 0u);
  EXPECT_EQ(test::camera_problem(other.camera, &other.tree), "");
}

TEST(Operations, PreviewIsTheBalancedRenderInTheChosenPattern) {
  bool failing = false;
  sim::SimulatedSetup setup = sim::healthy_setup(builtin());
  setup.camera.fault = [&failing](const sim::TransferContext& t) {
    return failing && t.chunk == 2 ? std::optional(fail(121)) : std::nullopt;
  };
  test::OperationRig rig(std::move(setup));
  const ScanData scan = scan_camera(rig.env, rig.progress);
  const auto index_of = [&](const char* code) -> std::uint64_t {
    return std::find_if(scan.entries.begin(), scan.entries.end(), [&](auto& e) { return short_code(e) == code; }) -
           scan.entries.begin();
  };
  const std::uint64_t index = index_of("HR-CP");
  const auto& stored = builtin().photos.at(scan.entries[index].location());
  for (std::int32_t pattern : {1, 2}) {
    rig.lines.clear();
    const RgbImage image = render_preview(rig.env, scan, index, pattern, rig.progress);
    const RgbImage expected = render_photo(stored, decode_raw_photo(stored, 352, 288, true, 0), pattern, kStyleBalanced, 0);
    EXPECT_EQ(std::to_string(image.width) + "x" + std::to_string(image.height), "352x288");
    EXPECT_EQ(image.pixels, expected.pixels) << "pattern " << pattern;
    EXPECT_EQ(rig.lines, std::vector<std::string>{"Fetching photo " + std::to_string(index + 1) + " for temporary preview..."});
  }
  // Refusals come before any USB traffic.
  const std::uint64_t transfers = rig.camera.pipe_transfers();
  EXPECT_EQ(test::failure_of([&] { render_preview(rig.env, scan, index_of("R1-nP"), 1, rig.progress); }),
            "This entry is not a supported still photo");
  EXPECT_EQ(test::failure_of([&] { render_preview(rig.env, scan, scan.entries.size(), 1, rig.progress); }),
            "Preview item no longer in current list");
  EXPECT_EQ(rig.camera.pipe_transfers(), transfers);
  failing = true;
  EXPECT_EQ(test::failure_of([&] { render_preview(rig.env, scan, index, 1, rig.progress); }),
            "WinUsb_ReadPipe (Win32 error 121)");
  EXPECT_EQ(test::camera_problem(rig.camera, &rig.tree), "");
}

}  // namespace
}  // namespace velmora
