// A raw photo from decoding to the PNG file. A fault must be a Failure; a
// result has every pixel, and libpng reads every PNG back to them. Input:
// width and height (16-bit little-endian, signed), a flags byte (bit 0
// compressed), the decoder variant, pattern, style, set and effect bytes,
// then the raw photo with its 12-byte header.

#include <png.h>

#include "base/failure.h"
#include "decode/mars_decoder.h"
#include "fuzz/harness.h"
#include "output/png.h"
#include "render/glitch.h"
#include "render/render_photo.h"

using namespace velmora;
using fuzzing::require;

namespace {

void require_reads_back(const RgbImage& image) {
  const std::vector<std::uint8_t> file = encode_png(image);
  png_image read{};
  read.version = PNG_IMAGE_VERSION;
  require(png_image_begin_read_from_memory(&read, file.data(), file.size()) != 0, "libpng rejects the PNG");
  read.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(read));
  const bool finished = png_image_finish_read(&read, nullptr, pixels.data(), 0, nullptr) != 0;
  png_image_free(&read);
  require(finished && static_cast<std::int32_t>(read.width) == image.width &&
              static_cast<std::int32_t>(read.height) == image.height && pixels == image.pixels,
          "PNG reads back to other pixels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Input input(data, size);
  const auto width = static_cast<std::int16_t>(input.u16()), height = static_cast<std::int16_t>(input.u16());
  const bool compressed = input.byte() & 1;
  const std::uint8_t variant = input.byte();
  const std::int32_t pattern = input.byte() % 6 - 1, style = input.byte() % 10 - 1, set = input.byte() % 7 - 1;
  const std::int32_t glitch = input.byte() % 8 - 2;
  const std::vector<std::uint8_t> raw = input.bytes(size);
  try {
    const BayerPlane plane = decode_raw_photo(raw, width, height, compressed, variant);
    require(plane.width == width && plane.height == height && plane.samples.size() == std::size_t(width * height),
            "plane does not match its dimensions");
    RgbImage image = render_photo(raw, plane, pattern, style, set);
    require(image.width == width && image.height == height && image.pixels.size() == plane.samples.size() * 3,
            "render does not match the plane's dimensions");
    if (glitch != -2) image = render_glitch(image, glitch);
    require_reads_back(image);
  } catch (const Failure&) {
  }
  // The encoder on its own: any dimensions against any buffer.
  try {
    require_reads_back(RgbImage{width % 64, height % 64, raw});
  } catch (const Failure&) {
  }
  return 0;
}
