// Directory parsing and the merge of several observations: each observation
// is a fresh 8192-byte buffer or an earlier one with a few bytes changed, as
// repeated reads of one flaky camera give.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "fuzz/harness.h"
#include "protocol/pat.h"

using namespace velmora;
using fuzzing::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<std::vector<std::uint8_t>> buffers;
  const int count = input.ConsumeIntegralInRange(1, 6);
  for (int n = 0; n < count; ++n) {
    std::vector<std::uint8_t> buffer;
    if (!buffers.empty() && input.ConsumeBool()) {
      buffer = buffers[input.ConsumeIntegralInRange<std::size_t>(0, buffers.size() - 1)];
      for (int edits = input.ConsumeIntegralInRange(0, 4); edits > 0; --edits) {
        buffer[input.ConsumeIntegralInRange<std::size_t>(0, 8191)] = input.ConsumeIntegral<std::uint8_t>();
      }
    } else {
      buffer = input.ConsumeBytes<std::uint8_t>(8192);
      buffer.resize(8192, 0);
    }
    buffers.push_back(std::move(buffer));
  }

  std::vector<std::vector<PhotoEntry>> observations;
  std::set<std::array<std::uint8_t, kPatEntrySize>> seen;
  for (const auto& buffer : buffers) {
    observations.push_back(parse_pat(buffer));
    require(observations.back().size() <= kPatEntryLimit, "more entries than the limit");
    for (const PhotoEntry& entry : observations.back()) {
      seen.insert(entry.pat_bytes);
      require(photo_transfer_length(entry.size_bytes) % 8192 == 0, "transfer not in whole chunks");
      require(!photo_list_line(entry).empty() && !short_code(entry).empty(), "empty listing");
    }
  }

  // The merge keeps each distinct entry once, sorted, numbered from 0.
  const std::vector<PhotoEntry> merged = merge_observations(observations);
  require(merged.size() == seen.size(), "merge lost or repeated an entry");
  for (std::size_t i = 0; i < merged.size(); ++i) {
    require(merged[i].index == i, "merged entries not numbered from 0");
    require(seen.count(merged[i].pat_bytes) == 1, "merge invented an entry");
    if (i == 0) continue;
    const auto key = [](const PhotoEntry& e) { return std::tuple(e.location(), e.size_bytes, e.pat_bytes); };
    require(key(merged[i - 1]) < key(merged[i]), "merged entries out of order");
  }
  return 0;
}
