// Every fault scenario of the simulated camera, run through a refresh and a
// download of every photo, ends in a documented result with the device
// closed and nothing sent but the camera's allowed commands.
#include <gtest/gtest.h>

#include "base/text.h"
#include "ops/download.h"
#include "ops/refresh.h"
#include "sim/scenarios.h"
#include "support/sim_fixture.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

struct Expected {
  const char* scenario;
  std::string refresh_error;  // empty: the refresh succeeds
  std::int32_t saved, failed;
  std::string errors;
};

// The built-in camera holds 7 entries; the 5th is a non-still item.
const Expected kScenarios[] = {
    {"flaky-directory", "", 6, 1, ""},
    {"jammed", "", 6, 1, ""},
    {"stuck-jam", "All five bounded camera directory reads failed. Reconnect the camera; do not reset/delete it.", 0, 0, ""},
    {"no-ack", "All five bounded camera directory reads failed. Reconnect the camera; do not reset/delete it.", 0, 0, ""},
    {"photo-timeout", "", 5, 2, "Photo 2: WinUsb_ReadPipe (Win32 error 121)\n"},
    {"unplugged-mid-download", "", 1, 6,
     // Each later photo tries a fresh opening of the vanished device; nothing more is sent.
     "Photo 2: WinUsb_ReadPipe (Win32 error 1167)\nPhoto 3: CreateFile (Win32 error 2)\n"
     "Photo 4: CreateFile (Win32 error 2)\nPhoto 6: CreateFile (Win32 error 2)\n"
     "Photo 7: CreateFile (Win32 error 2)\n"},
    {"interface-busy", "WinUsb_Initialize (Win32 error 170)", 0, 0, ""},
    {"variant-010f", "Active reads have only been verified for USB 093A:010E (not this variant)", 0, 0, ""},
    {"no-winusb", "No WinUSB-bound MR97310 camera found. Check Device Manager and WinUsb Device binding.", 0, 0, ""},
    {"disconnected", "No WinUSB-bound MR97310 camera found. Check Device Manager and WinUsb Device binding.", 0, 0, ""},
    {"replug", "", 6, 1, ""},  // plugged in until a program plays its plug events
};

class Scenario : public ::testing::TestWithParam<Expected> {};

TEST_P(Scenario, EndsInItsDocumentedResult) {
  const Expected& expected = GetParam();
  static const sim::CameraImage image = sim::builtin_camera_image();
  auto setup = sim::scenario_setup(expected.scenario, image);
  ASSERT_TRUE(setup);
  test::OperationRig rig(std::move(*setup));
  auto& [clock, camera, tree, env, lines, quiet] = rig;

  ScanData scan;
  try {
    scan = scan_camera(env, quiet);
    EXPECT_EQ(expected.refresh_error, "") << "the refresh succeeded";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), expected.refresh_error);
  }
  if (expected.refresh_error.empty()) {
    EXPECT_EQ(scan.entries.size(), 7u);
    EXPECT_EQ(scan.observation_logs.size(), 5u);
    test::TempDir out;
    DownloadOptions options;
    options.destination = out.path().u16string();
    std::vector<std::uint64_t> all;
    for (const auto& e : scan.entries) all.push_back(e.index);
    FixedLocalTime time("261206120000", "2026-12-06");
    const DownloadResult result = run_download(env, scan, all, options, quiet, system_file_api(), time);
    EXPECT_EQ(result.saved, expected.saved);
    EXPECT_EQ(result.failed, expected.failed);
    EXPECT_EQ(utf16_to_utf8(result.errors), expected.errors);
  }
  EXPECT_EQ(camera.open_handles(), 0) << "the device is closed";
  EXPECT_EQ(tree.open_sets(), 0u);
  EXPECT_TRUE(test::only_allowed_commands(camera));
}

INSTANTIATE_TEST_SUITE_P(All, Scenario, ::testing::ValuesIn(kScenarios), [](const auto& info) {
  std::string name = info.param.scenario;
  for (auto& c : name) if (c == '-') c = '_';
  return name;
});

TEST(ScenarioNames, EveryDescribedScenarioExists) {
  for (const auto& [name, what] : sim::scenario_descriptions()) {
    EXPECT_TRUE(sim::scenario_setup(name, {})) << name;
    EXPECT_FALSE(what.empty());
  }
  EXPECT_FALSE(sim::scenario_setup("no-such-scenario", {}));
  EXPECT_EQ(sim::scenario_descriptions().size(), std::size(kScenarios));
}

}  // namespace
}  // namespace velmora
