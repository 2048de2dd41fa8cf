#pragma once
// Where a program's camera comes from: the real device tree and WinUSB
// (Windows), libusb (elsewhere), or the simulated camera with its built-in photos, a
// camera-image folder, or a named scenario.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ops/operation_env.h"

namespace velmora {

class CameraSource {
 public:
  virtual ~CameraSource() = default;
  virtual const CameraEnvironment& env() = 0;
  // Called on a thread of the source's own after each simulated plug or
  // unplug, as Windows would announce a device change. Call once.
  virtual void watch_device_changes(std::function<void()> notify) {}
};

// simulated: absent for the real camera; "" for the built-in photos; a folder
// path or a scenario name otherwise. Null with the reason in `problem` when
// the value is neither, or when this build reaches no real camera.
std::unique_ptr<CameraSource> make_camera_source(const std::optional<std::string>& simulated, std::string& problem);

}  // namespace velmora
