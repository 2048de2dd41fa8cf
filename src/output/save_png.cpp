#include "output/save_png.h"

#include "output/naming.h"
#include "output/new_file.h"

namespace velmora {

void save_png_file(const OutputContext& context, std::string_view label, std::span<const std::uint8_t> png,
                   FileApi& files) {
  const std::string stem = context.prefix + "_" + std::string(label) + "_" + context.tail;
  write_new_file(unique_output_path(context.folder, stem, ".png"), png, files);
}

}  // namespace velmora
