// Rendering (any plane, pattern, style, set and glitch effect) and the PNG
// encoder. Every PNG written is read back by libpng to the identical pixels.

#include <fuzzer/FuzzedDataProvider.h>
#include <png.h>

#include "base/failure.h"
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
  require(finished, "libpng cannot read the PNG");
  require(static_cast<std::int32_t>(read.width) == image.width &&
              static_cast<std::int32_t>(read.height) == image.height && pixels == image.pixels,
          "PNG reads back to other pixels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto width = input.ConsumeIntegralInRange<std::int32_t>(0, 48);
  const auto height = input.ConsumeIntegralInRange<std::int32_t>(0, 48);
  const std::int32_t pattern = input.ConsumeIntegralInRange(-1, 4);
  const std::int32_t style = input.ConsumeIntegralInRange(-1, 8);
  const std::int32_t set = input.ConsumeIntegralInRange(-1, 5);
  const std::int32_t glitch = input.ConsumeIntegralInRange(-2, 5);
  // Now and then a plane of the wrong length.
  const std::size_t extra = input.ConsumeIntegralInRange(0, 15) == 0 ? input.ConsumeIntegral<std::uint8_t>() : 0;
  const std::size_t samples_wanted = static_cast<std::size_t>(width * height) + extra;
  std::vector<std::uint8_t> samples = input.ConsumeBytes<std::uint8_t>(samples_wanted);
  samples.resize(samples_wanted, 0x80);
  const std::vector<std::uint8_t> raw = input.ConsumeRemainingBytes<std::uint8_t>();
  try {
    RgbImage image = render_photo(raw, samples, width, height, pattern, style, set);
    require(image.width == width && image.height == height &&
                image.pixels.size() == static_cast<std::size_t>(width * height) * 3,
            "render does not match the plane's dimensions");
    if (glitch != -2) image = render_glitch(image, glitch);
    require_reads_back(image);
  } catch (const Failure&) {
  }
  // The encoder on its own: any dimensions against any buffer.
  RgbImage loose{width - 1, height, raw};
  try {
    require_reads_back(loose);
  } catch (const Failure&) {
  }
  return 0;
}
