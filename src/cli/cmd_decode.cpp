// velmora decode RAW [--size WxH] [--compressed|--uncompressed] [--variant N]
//   --output PLANE
// Decodes one raw photo (12-byte header + data) into its Bayer plane,
// width x height bytes. Size and compression default to the short code in
// the file name (Velmora_007_HR-CP_....velmoraraw).

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
  ArgReader reader(args);
  while (!reader.done()) {
    if (!photo.take(reader)) throw unrecognised_argument(reader.peek());
  }
  photo.finish();
  const Geometry size = *photo.size;

  const std::vector<std::uint8_t> raw = read_whole_file(path_from_utf8(*photo.raw));
  const BayerPlane plane = decode_raw_photo(raw, size.width, size.height, *photo.compressed, photo.variant);
  write_new_file(path_from_utf8(*photo.output), plane.samples);
  return 0;
}

const CommandRegistration registration(
    "decode", "decode RAW [--size WxH] [--compressed|--uncompressed] [--variant N] --output PLANE", run_decode);

}  // namespace
}  // namespace velmora::cli
