// velmora decode RAW [--size WxH] [--compressed|--uncompressed] [--variant N]
//   --output PLANE
// Decodes one raw photo (12-byte header + data) into its Bayer plane,
// width x height bytes. Size and compression default to the short code in
// the file name (Velmora_007_HR-CP_....velmoraraw).

#include <optional>
#include <string>
#include <vector>

#include "base/read_file.h"
#include "cli/cli_common.h"
#include "cli/raw_photo_args.h"
#include "decode/mars_decoder.h"
#include "output/new_file.h"

namespace velmora::cli {
namespace {

int run_decode(const std::vector<std::string>& args) {
  RawPhotoArgs photo;
  std::optional<std::string> output_arg;

  ArgReader reader(args);
  while (!reader.done()) {
    const std::string option = reader.option();
    if (option == "--output") {
      output_arg = reader.value_of(option);
    } else if (!photo.take(reader)) {
      throw unrecognised_argument(reader.peek());
    }
  }
  if (!photo.raw) throw UsageError{"no raw photo given"};
  if (!output_arg) throw UsageError{"--output is required"};
  photo.fill_from_name();
  const Geometry size = *photo.size;

  const std::vector<std::uint8_t> raw = read_whole_file(path_from_utf8(*photo.raw));
  const BayerPlane plane = decode_raw_photo(raw, size.width, size.height, *photo.compressed, photo.variant);
  write_new_file(path_from_utf8(*output_arg), plane.samples);
  return 0;
}

const CommandRegistration registration(
    "decode", "decode RAW [--size WxH] [--compressed|--uncompressed] [--variant N] --output PLANE", run_decode);

}  // namespace
}  // namespace velmora::cli
