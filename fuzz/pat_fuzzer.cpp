// Directory parsing and the merge of several observations: each observation
// is a fresh 8192-byte buffer or an earlier one with a few bytes changed, as
// repeated reads of one flaky camera give. Input: the observation count, then
// per observation a byte (even: fresh, then its bytes; odd: which earlier
// one, the edit count and the edits as 16-bit position and value).

#include <set>
#include <tuple>

#include "fuzz/harness.h"
#include "protocol/pat.h"

using namespace velmora;
using fuzzing::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Input input(data, size);
  std::vector<std::vector<std::uint8_t>> buffers;
  for (int n = input.byte() % 6 + 1; n > 0; --n) {
    const std::uint8_t how = input.byte();
    std::vector<std::uint8_t> buffer;
    if (!buffers.empty() && how % 2 == 1) {
      buffer = buffers[input.byte() % buffers.size()];
      for (int edits = input.byte() % 5; edits > 0; --edits) buffer[input.u16() % 8192] = input.byte();
    } else {
      buffer = input.bytes(8192);
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
  const auto key = [](const PhotoEntry& e) { return std::tuple(e.location(), e.size_bytes, e.pat_bytes); };
  for (std::size_t i = 0; i < merged.size(); ++i) {
    require(merged[i].index == i, "merged entries not numbered from 0");
    require(seen.count(merged[i].pat_bytes) == 1, "merge invented an entry");
    require(i == 0 || key(merged[i - 1]) < key(merged[i]), "merged entries out of order");
  }
  return 0;
}
