#pragma once
// The command line's camera (the real one: WinUSB on Windows, libusb elsewhere;
// or the simulated one), its --simulated-camera option and its progress output.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/camera_source.h"

namespace velmora::cli {

// Throws UsageError when the value names neither a folder nor a scenario.
std::unique_ptr<CameraSource> make_camera_source(const std::optional<std::string>& simulated);

// Consumes "--simulated-camera" or "--simulated-camera=VALUE" when it is the
// current argument; returns true when it did.
bool take_simulated_camera_option(const std::string& arg, std::optional<std::string>& simulated);

// The --simulated-camera option of a command that takes no other argument.
std::optional<std::string> only_camera_option(const std::vector<std::string>& args);

// Progress lines go to standard error as they happen.
ProgressFn stderr_progress();

}  // namespace velmora::cli
