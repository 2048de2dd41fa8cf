#pragma once
// A short golden for long texts (FNV-1a, 64 bits): tables compare one digest and print the text on a mismatch.
#include <cstdint>
#include <string_view>

namespace velmora::test {

inline std::uint64_t digest(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : text) hash = (hash ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
  return hash;
}

}  // namespace velmora::test
