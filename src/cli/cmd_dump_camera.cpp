// velmora dump-camera-image: writes the simulated camera's built-in photos as
// a camera-image folder that --simulated-camera=FOLDER loads again.
#include <iostream>

#include "base/failure.h"
#include "base/text.h"
#include "cli/cli_common.h"
#include "output/new_file.h"
#include "sim/camera_image.h"

namespace velmora::cli {
namespace {

int run_dump(const std::vector<std::string>& args) {
  if (args.size() != 1) throw UsageError{"give one folder"};
  const std::filesystem::path folder = path_from_utf8(args[0]);
  std::filesystem::create_directories(folder);
  const sim::CameraImage image = sim::builtin_camera_image();
  write_new_file(folder / "directory.bin", image.directory);
  for (const auto& [location, bytes] : image.photos) {
    write_new_file(folder / ("photo-" + hex_number(location, 6) + ".bin"), bytes);
  }
  std::cout << "Wrote " << image.photos.size() << " photo(s) and directory.bin to " << utf16_to_utf8(folder.u16string())
            << "\n";
  return 0;
}

const CommandRegistration registration{"dump-camera-image", "dump-camera-image FOLDER", run_dump};

}  // namespace
}  // namespace velmora::cli
