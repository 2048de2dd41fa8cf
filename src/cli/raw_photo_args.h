#pragma once
// The raw-photo arguments shared by the commands that read a stored photo
// (decode, render): the file, its size and compression, the decoder variant
// and the output file.
// Size and compression default to the short code in the file name
// (Velmora_007_HR-CP_....velmoraraw).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/cli_common.h"

namespace velmora::cli {

struct Geometry {
  std::int32_t width;
  std::int32_t height;
};

struct ShortCode {
  Geometry size;
  bool compressed;
};

// "HR-CP", "LR-nP", "R6-CP", "R8-nP": the still-photo codes of the download names.
std::optional<ShortCode> parse_short_code(const std::string& token);
// The first short code among the name's words (runs of letters, digits and '-').
std::optional<ShortCode> short_code_in_name(const std::filesystem::path& path);
// "WxH" with any 32-bit integers (the decoder judges the geometry); UsageError otherwise.
Geometry parse_size(const std::string& text);

struct RawPhotoArgs {
  std::optional<std::string> raw;
  std::optional<std::string> output;
  std::optional<Geometry> size;
  std::optional<bool> compressed;
  std::uint8_t variant = 0;

  // Consumes the next argument when it is the raw file or one of --size,
  // --compressed, --uncompressed, --variant, --output; returns false otherwise.
  bool take(ArgReader& reader);
  // Requires the raw file and the output, then fills size and compression
  // from the raw file's name where the command line left them out;
  // UsageError when something is missing.
  void finish();
};

}  // namespace velmora::cli
