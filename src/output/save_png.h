#pragma once
// Saving one rendering of a download as a PNG file.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "platform/file_api.h"

namespace velmora {

// Where and under which name parts a photo's renderings go; the download job
// fills it per photo.
struct OutputContext {
  std::filesystem::path folder;
  std::string prefix;  // the photo's stem, as in Velmora_007_HR-CP
  std::string tail;    // the photo's time stamp
};

// Writes an encoded PNG as a new file prefix_label_tail.png (with a collision
// counter when that name is taken).
void save_png_file(const OutputContext& context, std::string_view label, std::span<const std::uint8_t> png,
                   FileApi& files = system_file_api());

}  // namespace velmora
