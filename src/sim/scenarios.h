#pragma once
// Named setups of the simulated camera and the device tree around it, for the
// command line's --simulated-camera and for tests of whole operations.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/simulated_camera.h"
#include "sim/simulated_device_tree.h"

namespace velmora::sim {

struct SimulatedSetup {
  SimulatedCameraConfig camera;
  SimulatedDeviceTreeConfig tree;
};

// The camera bound to WinUSB, holding the given photos.
SimulatedSetup healthy_setup(CameraImage image);

// A fault scenario around the given photos; nullopt for an unknown name.
std::optional<SimulatedSetup> scenario_setup(std::string_view name, CameraImage image);

// The scenario names, each with one line saying what it shows.
std::vector<std::pair<std::string, std::string>> scenario_descriptions();

}  // namespace velmora::sim
