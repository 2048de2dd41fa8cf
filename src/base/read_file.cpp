#include "base/read_file.h"

#include <fstream>
#include <iterator>
#include <string>

#include "base/failure.h"
#include "base/text.h"

namespace velmora {

std::vector<std::uint8_t> read_whole_file(const std::filesystem::path& path, std::string_view what) {
  std::ifstream in(path, std::ios::binary);
  const auto failure = [&](const char* verb) {
    return Failure(std::string(verb) + " " + std::string(what) + ": " + utf16_to_utf8(path.u16string()));
  };
  if (!in) throw failure("Cannot open");
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw failure("Cannot read");
  return bytes;
}

}  // namespace velmora
