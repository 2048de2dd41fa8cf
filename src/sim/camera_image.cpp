#include "sim/camera_image.h"

#include <string>

#include "base/failure.h"
#include "base/read_file.h"
#include "base/text.h"

namespace velmora::sim {
namespace {

constexpr std::string_view kImageFile = "camera image file";

// "photo-LLLLLL.bin" with six lower-case hex digits.
bool parse_photo_name(const std::string& name, std::uint32_t& location) {
  if (name.size() != 16 || name.rfind("photo-", 0) != 0 || name.substr(12) != ".bin") return false;
  location = 0;
  for (std::size_t i = 6; i < 12; ++i) {
    const char c = name[i];
    int digit = 0;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      return false;
    location = location * 16 + static_cast<std::uint32_t>(digit);
  }
  return true;
}

}  // namespace

CameraImage load_camera_image(const std::filesystem::path& folder) {
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    throw Failure("Camera image folder not found: " + utf16_to_utf8(folder.u16string()));
  }
  CameraImage image;
  image.directory = read_whole_file(folder / "directory.bin", kImageFile);
  if (image.directory.size() > 8192) throw Failure("directory.bin is longer than 8192 bytes");
  image.directory.resize(8192, 0);
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::uint32_t location = 0;
    if (entry.is_regular_file() && parse_photo_name(utf16_to_utf8(entry.path().filename().u16string()), location)) {
      image.photos[location] = read_whole_file(entry.path(), kImageFile);
    }
  }
  return image;
}

}  // namespace velmora::sim
