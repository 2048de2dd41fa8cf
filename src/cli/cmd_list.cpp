// velmora list: the refresh, then the merged photo list.
#include <iostream>

#include "cli/camera_source.h"
#include "cli/cli_common.h"
#include "ops/refresh.h"
#include "protocol/pat.h"

namespace velmora::cli {
namespace {

int run_list(const std::vector<std::string>& args) {
  auto source = make_camera_source(only_camera_option(args));
  const ScanData scan = scan_camera(source->env(), stderr_progress());
  // Numbered from 1, as --items and the downloaded file names count photos;
  // the rest of the line is the one "velmora pat" prints.
  for (const auto& entry : scan.entries) {
    const std::string line = photo_list_line(entry);
    std::cout << entry.index + 1 << line.substr(line.find(' ')) << "\n";
  }
  return 0;
}

const CommandRegistration registration{"list", "list [--simulated-camera[=FOLDER|SCENARIO]]", run_list};

}  // namespace
}  // namespace velmora::cli
