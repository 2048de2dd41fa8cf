#pragma once
// Reading an input file whole: directory dumps, raw photos, camera images.

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace velmora {

// Throws Failure "Cannot open <what>: <path>" or "Cannot read <what>: <path>".
std::vector<std::uint8_t> read_whole_file(const std::filesystem::path& path, std::string_view what = "input file");

}  // namespace velmora
