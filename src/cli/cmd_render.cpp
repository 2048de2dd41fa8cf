// velmora render RAW [--size WxH] [--compressed|--uncompressed] [--variant N]
//   [--pattern P] [--style S] [--set T] [--glitch G] --output PNG
// Decodes one raw photo and writes one rendering as the application's PNG.

#include <optional>
#include <string>
#include <vector>

#include "base/read_file.h"
#include "cli/cli_common.h"
#include "cli/raw_photo_args.h"
#include "decode/mars_decoder.h"
#include "output/new_file.h"
#include "output/png.h"
#include "render/demosaic.h"
#include "render/glitch.h"
#include "render/render_photo.h"

namespace velmora::cli {
namespace {

std::string set_option_name(std::int32_t set) { return set == kSetPlain ? "plain" : additional_set_name(set); }

int run_render(const std::vector<std::string>& args) {
  RawPhotoArgs photo;
  std::int32_t pattern = kPatternBggr;
  std::int32_t style = kStyleBalanced;
  std::int32_t set = kSetPlain;
  std::optional<std::int32_t> glitch;

  ArgReader reader(args);
  while (!reader.done()) {
    const std::string option = reader.option();
    if (option == "--pattern") {
      pattern = number_named(reader.value_of(option), bayer_pattern_name, 0, 3, option);
    } else if (option == "--style") {
      style = number_named(reader.value_of(option), style_name, 0, 7, option);
    } else if (option == "--set") {
      set = number_named(reader.value_of(option), set_option_name, 0, 4, option);
    } else if (option == "--glitch") {
      glitch = number_named(reader.value_of(option), glitch_effect_name, 0, 4, option);
    } else if (!photo.take(reader)) {
      throw unrecognised_argument(reader.peek());
    }
  }
  photo.finish();

  const std::vector<std::uint8_t> raw = read_whole_file(path_from_utf8(*photo.raw));
  const BayerPlane plane =
      decode_raw_photo(raw, photo.size->width, photo.size->height, *photo.compressed, photo.variant);
  RgbImage image = render_photo(raw, plane, pattern, style, set);
  if (glitch) image = render_glitch(image, *glitch);
  write_new_file(path_from_utf8(*photo.output), encode_png(image));
  return 0;
}

const CommandRegistration registration(
    "render",
    "render RAW [--size WxH] [--compressed|--uncompressed] [--variant N] [--pattern rggb|bggr|grbg|gbrg] "
    "[--style restrained|balanced|expressive|proc20|proc23|baseline|mars-historical|grayworld] "
    "[--set plain|brighter|more-color|lower-contrast|stronger-destripe] "
    "[--glitch scanline-shear|channel-tear|solarize-posterize|mosaic-shred|digital-storm] --output PNG",
    run_render);

}  // namespace
}  // namespace velmora::cli
