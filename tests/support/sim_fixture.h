#pragma once
// A simulated camera on a virtual clock, alone or in its device tree for whole operations.

#include <memory>

#include "base/text.h"
#include "link/transport.h"
#include "ops/operation_env.h"
#include "platform/clock.h"
#include "sim/scenarios.h"
#include "support/invariants.h"

namespace velmora::test {

struct SimRig {
  explicit SimRig(sim::SimulatedCameraConfig config = {})
      : camera(std::make_unique<sim::SimulatedCamera>(std::move(config), clock)) {}
  CameraSession open() { return open_camera(*camera, sim::kSimulatedDevicePath, clock); }

  VirtualClock clock;
  std::unique_ptr<sim::SimulatedCamera> camera;
};

struct OperationRig {  // progress lines collected as UTF-8
  explicit OperationRig(sim::SimulatedSetup setup)
      : camera(std::move(setup.camera), clock), tree(std::move(setup.tree)) {}

  VirtualClock clock;
  sim::SimulatedCamera camera;
  sim::SimulatedDeviceTree tree;
  CameraEnvironment env{camera, tree, clock};
  std::vector<std::string> lines;
  ProgressFn progress = [this](const std::u16string& line) { lines.push_back(utf16_to_utf8(line)); };
};

// A directory entry: type flags, 24-bit location and size little-endian, 0.
inline std::array<std::uint8_t, 8> pat_entry(std::uint8_t flags, std::uint32_t location, std::uint32_t size) {
  const auto b = [](std::uint32_t v, int shift) { return static_cast<std::uint8_t>(v >> shift); };
  return {flags, b(location, 0), b(location, 8), b(location, 16), b(size, 0), b(size, 8), b(size, 16), 0};
}

// The message of the failure that f must throw.
template <typename F>
std::string failure_of(F&& f) try {
  f();
  return "(no failure)";
} catch (const std::exception& e) {
  return e.what();
}

}  // namespace velmora::test
