#include "cli/camera_source.h"

#include <iostream>

#include "base/text.h"
#include "cli/cli_common.h"

namespace velmora::cli {

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

std::optional<std::string> only_camera_option(const std::vector<std::string>& args) {
  std::optional<std::string> simulated;
  for (const auto& arg : args) {
    if (!take_simulated_camera_option(arg, simulated)) throw unrecognised_argument(arg);
  }
  return simulated;
}

std::unique_ptr<CameraSource> make_camera_source(const std::optional<std::string>& simulated) {
  std::string problem;
  auto source = velmora::make_camera_source(simulated, problem);
  if (!source) throw UsageError{problem};
  return source;
}

ProgressFn stderr_progress() {
  return [](const std::u16string& line) { std::cerr << utf16_to_utf8(line) << std::endl; };
}

}  // namespace velmora::cli
