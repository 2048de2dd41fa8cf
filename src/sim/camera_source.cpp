#include "sim/camera_source.h"

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "base/failure.h"
#include "sim/scenarios.h"
#ifdef VELMORA_LIBUSB
#include "link/libusb_link.h"
#include "platform/libusb_api.h"
#endif

namespace velmora {
namespace {

class SimulatedSource final : public CameraSource {
 public:
  SimulatedSource(sim::SimulatedSetup setup, bool virtual_time)
      : clock_(virtual_time ? static_cast<Clock&>(virtual_clock_) : system_clock()),
        camera_(virtual_time ? std::move(setup.camera) : sim::with_realistic_timing(std::move(setup.camera)), clock_),
        plugged_tree_(setup.tree),
        tree_(std::move(setup.tree)),
        plug_events_(std::move(setup.plug_events)),
        env_{camera_, tree_, clock_} {}

  ~SimulatedSource() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (player_.joinable()) player_.join();
  }

  const CameraEnvironment& env() override { return env_; }

  void watch_device_changes(std::function<void()> notify) override {
    if (plug_events_.empty() || player_.joinable()) return;
    player_ = std::thread([this, notify = std::move(notify)] { play_plug_events(notify); });
  }

 private:
  void play_plug_events(const std::function<void()>& notify) {
    for (const sim::PlugEvent& event : plug_events_) {
      std::unique_lock lock(mutex_);
      if (wake_.wait_for(lock, std::chrono::milliseconds(event.after_ms), [this] { return stopping_; })) return;
      if (event.plugged) {
        camera_.replug();
        tree_.replace(plugged_tree_);
      } else {
        camera_.unplug();
        tree_.replace(sim::device_tree_scenario(sim::DeviceTreeScenario::Empty));
      }
      notify();
    }
  }

  VirtualClock virtual_clock_;
  Clock& clock_;
  sim::SimulatedCamera camera_;
  sim::SimulatedDeviceTreeConfig plugged_tree_;
  sim::SimulatedDeviceTree tree_;
  std::vector<sim::PlugEvent> plug_events_;
  CameraEnvironment env_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread player_;
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
// program here, with the text that says how to make it usable.
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

std::unique_ptr<CameraSource> make_camera_source(const std::optional<std::string>& simulated, std::string& problem) {
  if (!simulated) {
#if defined(_WIN32)
    return std::make_unique<WindowsSource>();
#elif defined(VELMORA_LIBUSB)
    return std::make_unique<LibusbSource>();
#else
    problem = "this build reaches no real camera; use --simulated-camera";
    return nullptr;
#endif
  }
  // Instant simulated time makes scripted runs fast; the default shows real USB pacing.
  const char* clock_setting = std::getenv("VELMORA_SIM_CLOCK");
  const bool virtual_time = clock_setting != nullptr && std::string(clock_setting) == "virtual";
  if (simulated->empty()) {
    return std::make_unique<SimulatedSource>(sim::healthy_setup(sim::builtin_camera_image()), virtual_time);
  }
  const std::filesystem::path folder(std::u8string(simulated->begin(), simulated->end()));
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) {
    return std::make_unique<SimulatedSource>(sim::healthy_setup(sim::load_camera_image(folder)), virtual_time);
  }
  auto setup = sim::scenario_setup(*simulated, sim::builtin_camera_image());
  if (!setup) {
    std::string names;
    for (const auto& [name, what] : sim::scenario_descriptions()) names += (names.empty() ? "" : ", ") + name;
    problem = "--simulated-camera: not a folder or a scenario: " + *simulated + " (scenarios: " + names + ")";
    return nullptr;
  }
  return std::make_unique<SimulatedSource>(std::move(*setup), virtual_time);
}

}  // namespace velmora
