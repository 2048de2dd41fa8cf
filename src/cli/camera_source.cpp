#include "cli/camera_source.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "base/failure.h"
#include "base/text.h"
#include "cli/cli_common.h"
#include "sim/scenarios.h"
#ifdef VELMORA_LIBUSB
#include "link/libusb_link.h"
#include "platform/libusb_api.h"
#endif

namespace velmora::cli {
namespace {

class SimulatedSource final : public CameraSource {
 public:
  SimulatedSource(sim::SimulatedSetup setup, bool virtual_time)
      : clock_(virtual_time ? static_cast<Clock&>(virtual_clock_) : system_clock()),
        camera_(virtual_time ? std::move(setup.camera) : sim::with_realistic_timing(std::move(setup.camera)), clock_),
        tree_(std::move(setup.tree)),
        env_{camera_, tree_, clock_} {}
  const CameraEnvironment& env() override { return env_; }

 private:
  VirtualClock virtual_clock_;
  Clock& clock_;
  sim::SimulatedCamera camera_;
  sim::SimulatedDeviceTree tree_;
  CameraEnvironment env_;
};

#ifdef _WIN32
class WindowsSource final : public CameraSource {
 public:
  const CameraEnvironment& env() override { return env_; }

 private:
  CameraEnvironment env_{winusb_api(), setupapi_device_tree(), system_clock()};
};
#endif

#ifdef VELMORA_LIBUSB
// The real camera through libusb. A camera the user cannot use stops the
// command here, with the text that says how to make it usable.
class LibusbSource final : public CameraSource {
 public:
  LibusbSource() {
    const auto interfaces = find_camera_interfaces(env_.devices);
    const CameraPresence presence = interfaces.empty() ? scan_camera_presence(env_.devices) : CameraPresence{};
    if (const auto refusal = libusb_link_refusal(presence, interfaces)) throw Failure(*refusal);
  }
  const CameraEnvironment& env() override { return env_; }

 private:
  CameraEnvironment env_{libusb_api(), libusb_device_tree(), system_clock()};
};
#endif

}  // namespace

bool take_simulated_camera_option(const std::string& arg, std::optional<std::string>& simulated) {
  static const std::string kOption = "--simulated-camera";
  if (arg == kOption) {
    simulated = std::string();
    return true;
  }
  if (arg.rfind(kOption + "=", 0) == 0) {
    simulated = arg.substr(kOption.size() + 1);
    if (simulated->empty()) throw UsageError{"--simulated-camera= needs a folder or a scenario name"};
    return true;
  }
  return false;
}

std::unique_ptr<CameraSource> make_camera_source(const std::optional<std::string>& simulated) {
  if (!simulated) {
#if defined(_WIN32)
    return std::make_unique<WindowsSource>();
#elif defined(VELMORA_LIBUSB)
    return std::make_unique<LibusbSource>();
#else
    throw UsageError{"this build reaches no real camera; use --simulated-camera"};
#endif
  }
  // Instant simulated time makes scripted runs fast; the default shows real USB pacing.
  const char* clock_setting = std::getenv("VELMORA_SIM_CLOCK");
  const bool virtual_time = clock_setting != nullptr && std::string(clock_setting) == "virtual";
  if (simulated->empty()) {
    return std::make_unique<SimulatedSource>(sim::healthy_setup(sim::builtin_camera_image()), virtual_time);
  }
  const std::filesystem::path folder = path_from_utf8(*simulated);
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) {
    return std::make_unique<SimulatedSource>(sim::healthy_setup(sim::load_camera_image(folder)), virtual_time);
  }
  auto setup = sim::scenario_setup(*simulated, sim::builtin_camera_image());
  if (!setup) {
    std::string names;
    for (const auto& [name, what] : sim::scenario_descriptions()) names += (names.empty() ? "" : ", ") + name;
    throw UsageError{"--simulated-camera: not a folder or a scenario: " + *simulated + " (scenarios: " + names + ")"};
  }
  return std::make_unique<SimulatedSource>(std::move(*setup), virtual_time);
}

ProgressFn stderr_progress() {
  return [](const std::u16string& line) { std::cerr << utf16_to_utf8(line) << std::endl; };
}

}  // namespace velmora::cli
