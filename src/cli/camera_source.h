#pragma once
// Where the command line's camera comes from: the real camera (WinUSB and
// SetupAPI on Windows, libusb elsewhere), or the simulated camera with its built-in photos, a
// camera-image folder, or a named fault scenario.

#include <memory>
#include <optional>
#include <string>

#include "ops/operation_env.h"

namespace velmora::cli {

class CameraSource {
 public:
  virtual ~CameraSource() = default;
  virtual const CameraEnvironment& env() = 0;
};

// simulated: absent for the real camera; "" for the built-in photos; a folder
// path or a scenario name otherwise. Throws UsageError for an unknown name.
std::unique_ptr<CameraSource> make_camera_source(const std::optional<std::string>& simulated);

// Consumes "--simulated-camera" or "--simulated-camera=VALUE" when it is the
// current argument; returns true when it did.
bool take_simulated_camera_option(const std::string& arg, std::optional<std::string>& simulated);

// Progress lines go to standard error as they happen.
ProgressFn stderr_progress();

}  // namespace velmora::cli
