#pragma once
// A simulated camera on a virtual clock, and the check that the host only
// ever sent the camera's allowed commands.

#include <gtest/gtest.h>

#include <memory>

#include "link/transport.h"
#include "platform/clock.h"
#include "sim/simulated_camera.h"

namespace velmora::testing {

struct SimRig {
  explicit SimRig(sim::SimulatedCameraConfig config = {})
      : camera(std::make_unique<sim::SimulatedCamera>(std::move(config), clock)) {}

  CameraSession open() { return open_camera(*camera, sim::kSimulatedDevicePath, clock); }

  VirtualClock clock;
  std::unique_ptr<sim::SimulatedCamera> camera;
};

// Every write is 0x21, 0x19, or 0x19 followed by one byte, and the simulator
// saw nothing out of sequence.
::testing::AssertionResult only_allowed_commands(const sim::SimulatedCamera& camera);

}  // namespace velmora::testing
