#include <gtest/gtest.h>

#include "base/text.h"
#include "decode/mars_decoder.h"
#include "ops/preview.h"
#include "ops/refresh.h"
#include "render/render_photo.h"
#include "sim/scenarios.h"
#include "support/sim_fixture.h"

namespace velmora {
namespace {

using Rig = test::OperationRig;

const sim::CameraImage& builtin() {
  static const sim::CameraImage image = sim::builtin_camera_image();
  return image;
}

std::uint64_t first_index(const ScanData& scan, const char* code) {
  for (const auto& e : scan.entries) {
    if (short_code(e) == code) return e.index;
  }
  ADD_FAILURE() << "no " << code << " entry";
  return 0;
}

TEST(RenderPreview, BalancedRenderOfTheFetchedPhotoInTheChosenPattern) {
  Rig rig(sim::healthy_setup(builtin()));
  const ScanData scan = scan_camera(rig.env, rig.progress);
  const std::uint64_t index = first_index(scan, "HR-CP");
  const PhotoEntry& entry = scan.entries[index];
  const auto& stored = builtin().photos.at(entry.location());
  for (std::int32_t pattern : {1, 2}) {
    rig.lines.clear();
    const RgbImage image = render_preview(rig.env, scan, index, pattern, rig.progress);
    EXPECT_EQ(image.width, 352);
    EXPECT_EQ(image.height, 288);
    const BayerPlane plane = decode_raw_photo(stored, 352, 288, true, 0);
    const RgbImage expected = render_photo(stored, plane, pattern, kStyleBalanced, 0);
    EXPECT_EQ(image.pixels, expected.pixels) << "pattern " << pattern;
    EXPECT_EQ(rig.lines, std::vector<std::string>{"Fetching photo " + std::to_string(index + 1) +
                                                  " for temporary preview..."});
  }
  EXPECT_EQ(rig.camera.open_handles(), 0);
  EXPECT_TRUE(test::only_allowed_commands(rig.camera));
}

TEST(RenderPreview, RefusesBeforeAnyUsbTraffic) {
  Rig rig(sim::healthy_setup(builtin()));
  const ScanData scan = scan_camera(rig.env, rig.progress);
  const std::uint64_t transfers = rig.camera.pipe_transfers();
  const int openings = rig.camera.openings();
  const std::vector<std::pair<std::uint64_t, std::string>> cases = {
      {first_index(scan, "R1-nP"), "This entry is not a supported still photo"},
      {scan.entries.size(), "Preview item no longer in current list"},
  };
  for (const auto& [index, message] : cases) {
    try {
      render_preview(rig.env, scan, index, 1, rig.progress);
      ADD_FAILURE() << "expected " << message;
    } catch (const std::exception& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
  }
  EXPECT_EQ(rig.camera.pipe_transfers(), transfers);
  EXPECT_EQ(rig.camera.openings(), openings);
}

TEST(RenderPreview, IncompleteFetchReportsItsErrorAfterClosingTheDevice) {
  sim::SimulatedSetup setup = sim::healthy_setup(builtin());
  setup.camera.fault = [](const sim::TransferContext& t) -> std::optional<sim::FaultAction> {
    if (t.chunk == 2) return sim::FaultAction{sim::FaultAction::Kind::Fail, 121};
    return std::nullopt;
  };
  Rig rig(std::move(setup));
  const ScanData scan = scan_camera(rig.env, rig.progress);
  try {
    render_preview(rig.env, scan, first_index(scan, "HR-CP"), 1, rig.progress);
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "WinUsb_ReadPipe (Win32 error 121)");
    EXPECT_EQ(rig.camera.open_handles(), 0) << "closed before the error is reported";
  }
}

}  // namespace
}  // namespace velmora
