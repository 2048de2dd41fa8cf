#include "cli/raw_photo_args.h"

#include <climits>

#include "base/text.h"
#include "protocol/pat.h"

namespace velmora::cli {
namespace {

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

}  // namespace

std::optional<ShortCode> parse_short_code(const std::string& token) {
  if (token.size() != 5 || token[2] != '-') return std::nullopt;
  const std::string kind = token.substr(0, 2);
  const std::string compression = token.substr(3);
  if (compression != "CP" && compression != "nP") return std::nullopt;
  for (std::uint8_t type_code = 0; type_code <= kTypeCodeMask; ++type_code) {
    const std::optional<PhotoGeometry> geometry = type_code_geometry(type_code);
    if (!geometry || geometry->width == 0 || type_code_label(type_code) != kind) continue;
    const Geometry size{static_cast<std::int32_t>(geometry->width), static_cast<std::int32_t>(geometry->height)};
    return ShortCode{size, compression == "CP"};
  }
  return std::nullopt;
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

Geometry parse_size(const std::string& text) {
  const auto x = text.find('x');
  if (x == std::string::npos) throw UsageError{"bad --size: " + text};
  return {parse_dimension(text.substr(0, x), text), parse_dimension(text.substr(x + 1), text)};
}

bool RawPhotoArgs::take(ArgReader& reader) {
  const std::string& arg = reader.peek();
  const std::string option = reader.option();
  if (option == "--output") {
    output = reader.value_of(option);
  } else if (option == "--size") {
    size = parse_size(reader.value_of(option));
  } else if (option == "--variant") {
    variant = static_cast<std::uint8_t>(parse_int_arg(reader.value_of(option), 0, 255, "--variant"));
  } else if (arg == "--compressed" || arg == "--uncompressed") {
    const bool wanted = arg == "--compressed";
    if (compressed && *compressed != wanted) throw UsageError{"--compressed and --uncompressed exclude each other"};
    compressed = wanted;
    reader.next();
  } else if (arg.size() > 1 && arg[0] == '-') {
    return false;
  } else if (raw) {
    throw unrecognised_argument(arg);
  } else {
    raw = reader.next();
  }
  return true;
}

void RawPhotoArgs::finish() {
  if (!raw) throw UsageError{"no raw photo given"};
  if (!output) throw UsageError{"--output is required"};
  if (size && compressed) return;
  const std::optional<ShortCode> code = short_code_in_name(path_from_utf8(*raw));
  if (!code) {
    throw UsageError{"--size and --compressed or --uncompressed are required when the file name carries no short code"};
  }
  if (!size) size = code->size;
  if (!compressed) compressed = code->compressed;
}

}  // namespace velmora::cli
