#include <gtest/gtest.h>

#include "base/text.h"
#include "ops/refresh.h"
#include "sim/scenarios.h"
#include "support/sim_fixture.h"

namespace velmora {
namespace {

using Pat = std::array<std::uint8_t, 8>;

constexpr Pat kA = {0x20, 0x00, 0x01, 0x00, 0x10, 0x27, 0x00, 0x00};  // LR-CP at 0x000100, 10000 bytes
constexpr Pat kB = {0x22, 0x00, 0x02, 0x00, 0x20, 0x4E, 0x00, 0x00};  // HR-CP at 0x000200, 20000 bytes
constexpr Pat kC = {0x00, 0x00, 0x03, 0x00, 0x0C, 0x63, 0x00, 0x00};  // LR-nP at 0x000300, 25356 bytes
constexpr Pat kD = {0x21, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00};  // R1 at 0x000000, 100 bytes

std::vector<std::uint8_t> directory_of(const std::vector<Pat>& entries) {
  std::vector<std::uint8_t> dir(8192, 0);
  std::size_t at = 16;
  for (const Pat& e : entries) {
    std::copy(e.begin(), e.end(), dir.begin() + static_cast<long>(at));
    at += 8;
  }
  dir[at] = 0xFF;
  return dir;
}

using Rig = test::OperationRig;

sim::SimulatedSetup setup_with(std::vector<std::uint8_t> directory) {
  sim::CameraImage image;
  image.directory = std::move(directory);
  return sim::healthy_setup(std::move(image));
}

std::vector<Pat> pats_of(const ScanData& scan) {
  std::vector<Pat> pats;
  for (const auto& e : scan.entries) pats.push_back(e.pat_bytes);
  return pats;
}

TEST(ScanCamera, FiveObservationsMergedWithProgressAndPauses) {
  Rig rig(setup_with(directory_of({kB, kA})));
  const ScanData scan = scan_camera(rig.env, rig.progress);
  EXPECT_EQ(scan.device_path, sim::kSimulatedDevicePath);
  EXPECT_EQ(scan.camera_name, u"Dual-Mode Digital Camera");
  EXPECT_EQ(scan.driver_service, u"WinUSB");
  EXPECT_EQ(scan.descriptors.pid, 0x010E);
  EXPECT_EQ(pats_of(scan), (std::vector<Pat>{kA, kB}));
  EXPECT_EQ(scan.entries[1].index, 1u);
  ASSERT_EQ(scan.observation_logs.size(), 5u);
  for (const auto& log : scan.observation_logs) EXPECT_EQ(log.size(), 57u);
  EXPECT_EQ(rig.lines, (std::vector<std::string>{
                           "Opening the camera safely...", "Reading camera directory (observation 1 of 5)...",
                           "Reading camera directory (observation 2 of 5)...",
                           "Reading camera directory (observation 3 of 5)...",
                           "Reading camera directory (observation 4 of 5)...",
                           "Reading camera directory (observation 5 of 5)...",
                           "Camera directory read: 2 validated item(s)."}));
  EXPECT_EQ(rig.camera.openings(), 5);
  EXPECT_EQ(rig.camera.open_handles(), 0) << "the device is closed at the end";
  // 1000 ms of refresh pauses plus two 10 ms pauses inside each directory read.
  EXPECT_EQ(rig.clock.slept_ms(), 1000u + 5u * 20u);
  EXPECT_TRUE(test::only_allowed_commands(rig.camera));
}

TEST(ScanCamera, UnionOfTheCompletedObservations) {
  sim::SimulatedSetup setup = setup_with(directory_of({}));
  setup.camera.fault = [](const sim::TransferContext& t) -> std::optional<sim::FaultAction> {
    if (t.directory_data && (t.opening == 1 || t.opening == 3)) return sim::FaultAction{sim::FaultAction::Kind::Fail, 121};
    return std::nullopt;
  };
  setup.camera.damage_directory = [](int opening, std::vector<std::uint8_t>& dir) {
    switch (opening) {
      case 1: case 3: dir = directory_of({kA, kB, kC, kD}); break;  // never arrives
      case 2: dir = directory_of({kB}); break;
      case 4: dir = directory_of({kC, kB}); break;
      case 5: dir = directory_of({kD}); break;
    }
  };
  Rig rig(std::move(setup));
  const ScanData scan = scan_camera(rig.env, rig.progress);
  EXPECT_EQ(pats_of(scan), (std::vector<Pat>{kD, kB, kC})) << "sorted by location; A was never read";
  ASSERT_EQ(scan.observation_logs.size(), 5u);
  EXPECT_FALSE(scan.observation_logs[0].back().ok);
  EXPECT_EQ(scan.observation_logs[0].back().error_code, 121u);
  EXPECT_TRUE(scan.observation_logs[1].back().ok);
  EXPECT_EQ(rig.lines.back(), "Camera directory read: 3 validated item(s).");
}

TEST(ScanCamera, DamagedEntryHidesWhatFollowsInThatObservationOnly) {
  sim::SimulatedSetup setup = setup_with(directory_of({kA, kB, kC}));
  setup.camera.damage_directory = [](int opening, std::vector<std::uint8_t>& dir) {
    if (opening != 5) dir[16 + 8] = 0x05;  // B gets an unknown type code
  };
  Rig rig(std::move(setup));
  EXPECT_EQ(pats_of(scan_camera(rig.env, rig.progress)), (std::vector<Pat>{kA, kB, kC}));
}

TEST(ScanCamera, CompletedReadsWithoutEntriesGiveAnEmptyList) {
  Rig rig(setup_with(directory_of({})));
  EXPECT_TRUE(scan_camera(rig.env, rig.progress).entries.empty());
  EXPECT_EQ(rig.lines.back(), "Camera directory read: 0 validated item(s).");
}

struct RefusalCase {
  const char* scenario;
  std::string message;
  bool opened;
};

class ScanCameraRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ScanCameraRefusal, FailsWithItsMessageAndLeavesTheDeviceClosed) {
  Rig rig(*sim::scenario_setup(GetParam().scenario, sim::CameraImage{}));
  try {
    scan_camera(rig.env, rig.progress);
    FAIL() << "expected " << GetParam().message;
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), GetParam().message);
  }
  EXPECT_EQ(rig.camera.open_handles(), 0);
  EXPECT_EQ(rig.camera.openings() > 0, GetParam().opened);
  if (!GetParam().opened) {
    EXPECT_EQ(rig.camera.descriptor_requests(), 0u);
  }
  EXPECT_TRUE(test::only_allowed_commands(rig.camera));
  EXPECT_EQ(rig.tree.open_sets(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, ScanCameraRefusal,
    ::testing::Values(
        RefusalCase{"disconnected", "No WinUSB-bound MR97310 camera found. Check Device Manager and WinUsb Device binding.", false},
        RefusalCase{"no-winusb", "No WinUSB-bound MR97310 camera found. Check Device Manager and WinUsb Device binding.", false},
        RefusalCase{"variant-010f", "Active reads have only been verified for USB 093A:010E (not this variant)", false},
        RefusalCase{"stuck-jam", "All five bounded camera directory reads failed. Reconnect the camera; do not reset/delete it.", true},
        RefusalCase{"no-ack", "All five bounded camera directory reads failed. Reconnect the camera; do not reset/delete it.", true}),
    [](const auto& info) {
      std::string name = info.param.scenario;
      for (auto& c : name) if (c == '-') c = '_';
      return name;
    });

TEST(ScanCamera, DescriptorOfAnotherProductBehindTheCameraPath) {
  sim::SimulatedSetup setup = setup_with(directory_of({kA}));
  setup.camera.pid = 0x010F;  // the tree says 010E, the device says otherwise
  Rig rig(std::move(setup));
  try {
    scan_camera(rig.env, rig.progress);
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "USB descriptor mismatch");
  }
  EXPECT_EQ(rig.camera.pipe_transfers(), 0u);
  EXPECT_EQ(rig.camera.open_handles(), 0);
}

TEST(ScanCamera, FirstOfTwoCamerasIsUsed) {
  sim::SimulatedSetup setup = setup_with(directory_of({kA}));
  setup.tree = sim::device_tree_scenario(sim::DeviceTreeScenario::TwoCameras);
  Rig rig(std::move(setup));
  EXPECT_EQ(scan_camera(rig.env, rig.progress).device_path, sim::kSimulatedDevicePath);
}

TEST(ScanCamera, ReopenFailureEndsTheRefresh) {
  sim::SimulatedSetup setup = setup_with(directory_of({kA}));
  setup.camera.unplug_after_transfers = 57 * 2;  // unplugged after the second observation
  Rig rig(std::move(setup));
  try {
    scan_camera(rig.env, rig.progress);
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "CreateFile (Win32 error 2)");
  }
  EXPECT_EQ(rig.camera.open_handles(), 0);
}

}  // namespace
}  // namespace velmora
