#pragma once
// A simulated camera on a virtual clock, and the check that the host only
// ever sent the camera's allowed commands.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "base/text.h"
#include "link/transport.h"
#include "ops/operation_env.h"
#include "platform/clock.h"
#include "sim/scenarios.h"
#include "sim/simulated_camera.h"

namespace velmora::test {

struct SimRig {
  explicit SimRig(sim::SimulatedCameraConfig config = {})
      : camera(std::make_unique<sim::SimulatedCamera>(std::move(config), clock)) {}

  CameraSession open() { return open_camera(*camera, sim::kSimulatedDevicePath, clock); }

  VirtualClock clock;
  std::unique_ptr<sim::SimulatedCamera> camera;
};

// A camera and the device tree around it, for whole operations; progress
// lines are collected as UTF-8.
struct OperationRig {
  explicit OperationRig(sim::SimulatedSetup setup)
      : camera(std::move(setup.camera), clock), tree(std::move(setup.tree)) {}

  VirtualClock clock;
  sim::SimulatedCamera camera;
  sim::SimulatedDeviceTree tree;
  CameraEnvironment env{camera, tree, clock};
  std::vector<std::string> lines;
  ProgressFn progress = [this](const std::u16string& line) { lines.push_back(utf16_to_utf8(line)); };
};

// The eight bytes of a directory entry: type flags, the photo's 24-bit
// location and its 24-bit size, little-endian, and a zero.
inline std::array<std::uint8_t, 8> pat_entry(std::uint8_t flags, std::uint32_t location, std::uint32_t size) {
  const auto byte = [](std::uint32_t v, int shift) { return static_cast<std::uint8_t>(v >> shift); };
  return {flags, byte(location, 0), byte(location, 8), byte(location, 16), byte(size, 0), byte(size, 8),
          byte(size, 16), 0};
}

// The message of the failure that f must throw, or a note that it threw none.
template <typename F>
std::string failure_of(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no failure)";
}

// Every write is 0x21, 0x19, or 0x19 followed by one byte, and the simulator
// saw nothing out of sequence.
::testing::AssertionResult only_allowed_commands(const sim::SimulatedCamera& camera);

}  // namespace velmora::test
