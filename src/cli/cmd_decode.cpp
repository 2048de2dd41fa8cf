// velmora decode RAW [--size WxH] [--compressed|--uncompressed] [--variant N]
//   --output PLANE
// Decodes one raw photo (12-byte header + data) into its Bayer plane,
// width x height bytes. Size and compression default to the short code in
// the file name (Velmora_007_HR-CP_....velmoraraw).

#include <climits>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

#include "base/failure.h"
#include "base/text.h"
#include "cli/cli_common.h"
#include "cli/raw_photo_args.h"
#include "decode/mars_decoder.h"

namespace velmora::cli {
namespace {

// Create-new write: fails when the file exists, removes a half-written file.
void write_new_plane(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
#ifdef _WIN32
  // The Windows C runtime ignores fopen's "x"; _O_EXCL is the create-new flag there.
  const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
  if (fd >= 0 && file == nullptr) _close(fd);
#else
  std::FILE* file = std::fopen(path.c_str(), "wbx");
#endif
  if (file == nullptr) throw Failure("Could not create a new output file (or filename collision)");
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fflush(file) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    throw Failure("Could not finish writing output file");
  }
}

int run_decode(const std::vector<std::string>& args) {
  RawPhotoArgs photo;
  std::optional<std::string> output_arg;

  ArgReader reader(args);
  while (!reader.done()) {
    const std::string& arg = reader.peek();
    const std::string option = arg.substr(0, arg.find('='));
    if (option == "--output") {
      output_arg = reader.value_of(option);
    } else if (!photo.take(reader)) {
      throw UsageError{"unknown option: " + arg};
    }
  }
  if (!photo.raw) throw UsageError{"no raw photo given"};
  if (!output_arg) throw UsageError{"--output is required"};
  photo.fill_from_name();
  const Geometry size = *photo.size;

  const std::vector<std::uint8_t> raw = read_whole_file(path_from_utf8(*photo.raw));
  const BayerPlane plane = decode_raw_photo(raw, size.width, size.height, *photo.compressed, photo.variant);
  write_new_plane(path_from_utf8(*output_arg), plane.samples);
  return 0;
}

const CommandRegistration registration(
    "decode", "decode RAW [--size WxH] [--compressed|--uncompressed] [--variant N] --output PLANE", run_decode);

}  // namespace
}  // namespace velmora::cli
