#pragma once
// Short goldens for long texts: a test compares one FNV-1a digest and prints the text on a mismatch.
#include <cstdint>
#include <string>

#include "base/text.h"
#include "link/transfer_log.h"

namespace velmora::test {

inline std::uint64_t digest(const std::string& text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : text) hash = (hash ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
  return hash;
}

// Each record: sequence@ms, direction, endpoint, requested/moved, the bytes when few, result, label.
inline std::string records(const TransferLog& log) {
  std::string text;
  for (const TransferRecord& r : log) {
    text += std::to_string(r.sequence) + "@" + std::to_string(r.elapsed_ms) + " " + r.direction + " " +
            std::to_string(r.endpoint) + " " + std::to_string(r.requested) + "/" + std::to_string(r.data.size()) + " " +
            (r.data.size() <= 16 ? hex_bytes(r.data) : "") + " " + (r.ok ? "ok" : std::to_string(r.error_code)) + " " +
            r.label + "\n";
  }
  return text;
}

}  // namespace velmora::test
