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
#include "decode/mars_decoder.h"

namespace velmora::cli {
namespace {

struct Geometry {
  std::int32_t width;
  std::int32_t height;
};

struct ShortCode {
  Geometry size;
  bool compressed;
};

// "HR-CP", "LR-nP", "R6-CP", "R8-nP": the still-photo codes of the download names.
std::optional<ShortCode> parse_short_code(const std::string& token) {
  if (token.size() != 5 || token[2] != '-') return std::nullopt;
  const std::string kind = token.substr(0, 2);
  const std::string compression = token.substr(3);
  std::optional<Geometry> size;
  if (kind == "HR") size = Geometry{352, 288};
  if (kind == "LR") size = Geometry{176, 144};
  if (kind == "R6") size = Geometry{320, 240};
  if (kind == "R8") size = Geometry{640, 480};
  if (!size || (compression != "CP" && compression != "nP")) return std::nullopt;
  return ShortCode{*size, compression == "CP"};
}

std::optional<ShortCode> short_code_in_name(const std::filesystem::path& path) {
  const std::string name = utf16_to_utf8(path.filename().u16string());
  std::string token;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    const char c = i < name.size() ? name[i] : '_';
    const bool word = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    if (word) {
      token += c;
      continue;
    }
    if (auto code = parse_short_code(token)) return code;
    token.clear();
  }
  return std::nullopt;
}

std::int32_t parse_dimension(const std::string& text, const std::string& whole) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::string digits = negative ? text.substr(1) : text;
  if (digits.empty() || digits.size() > 10) throw UsageError{"bad --size: " + whole};
  long long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') throw UsageError{"bad --size: " + whole};
    value = value * 10 + (c - '0');
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) throw UsageError{"bad --size: " + whole};
  return static_cast<std::int32_t>(value);
}

// Any integers are taken: the decoder itself judges the geometry.
Geometry parse_size(const std::string& text) {
  const auto x = text.find('x');
  if (x == std::string::npos) throw UsageError{"bad --size: " + text};
  return {parse_dimension(text.substr(0, x), text), parse_dimension(text.substr(x + 1), text)};
}

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
  std::optional<std::string> raw_arg;
  std::optional<std::string> output_arg;
  std::optional<Geometry> size;
  std::optional<bool> compressed;
  std::uint8_t variant = 0;

  ArgReader reader(args);
  while (!reader.done()) {
    const std::string& arg = reader.peek();
    const std::string option = arg.substr(0, arg.find('='));
    if (option == "--size") {
      size = parse_size(reader.value_of(option));
    } else if (option == "--variant") {
      variant = static_cast<std::uint8_t>(parse_int_arg(reader.value_of(option), 0, 255, "--variant"));
    } else if (option == "--output") {
      output_arg = reader.value_of(option);
    } else if (arg == "--compressed" || arg == "--uncompressed") {
      const bool wanted = arg == "--compressed";
      if (compressed && *compressed != wanted) throw UsageError{"--compressed and --uncompressed exclude each other"};
      compressed = wanted;
      reader.next();
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError{"unknown option: " + arg};
    } else if (raw_arg) {
      throw UsageError{"unexpected argument: " + arg};
    } else {
      raw_arg = reader.next();
    }
  }
  if (!raw_arg) throw UsageError{"no raw photo given"};
  if (!output_arg) throw UsageError{"--output is required"};

  const std::filesystem::path raw_path = path_from_utf8(*raw_arg);
  if (!size || !compressed) {
    const std::optional<ShortCode> code = short_code_in_name(raw_path);
    if (!code) {
      throw UsageError{"--size and --compressed or --uncompressed are required when the file name carries no short code"};
    }
    if (!size) size = code->size;
    if (!compressed) compressed = code->compressed;
  }

  const std::vector<std::uint8_t> raw = read_whole_file(raw_path);
  const BayerPlane plane = decode_raw_photo(raw, size->width, size->height, *compressed, variant);
  write_new_plane(path_from_utf8(*output_arg), plane.samples);
  return 0;
}

const CommandRegistration registration(
    "decode", "decode RAW [--size WxH] [--compressed|--uncompressed] [--variant N] --output PLANE", run_decode);

}  // namespace
}  // namespace velmora::cli
