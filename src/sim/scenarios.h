#pragma once
// Named setups of the simulated camera and the device tree around it, for the
// command line's --simulated-camera and for tests of whole operations.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/simulated_camera.h"
#include "sim/simulated_device_tree.h"

namespace velmora::sim {

// The cable pulled (plugged false) or pushed back in, some time after the
// previous event.
struct PlugEvent {
  std::uint32_t after_ms = 0;
  bool plugged = false;
};

struct SimulatedSetup {
  SimulatedCameraConfig camera;
  SimulatedDeviceTreeConfig tree;
  std::vector<PlugEvent> plug_events;  // played while a program runs, once
};

// The camera bound to WinUSB, holding the given photos.
SimulatedSetup healthy_setup(CameraImage image);

// A fault scenario around the given photos; nullopt for an unknown name.
std::optional<SimulatedSetup> scenario_setup(std::string_view name, CameraImage image);

// The scenario names, each with one line saying what it shows.
std::vector<std::pair<std::string, std::string>> scenario_descriptions();

}  // namespace velmora::sim
