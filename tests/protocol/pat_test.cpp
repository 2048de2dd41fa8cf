// The directory rules themselves are held against the independent model in
// tests/reference/test_pat.py; here is what the command line cannot reach.
#include "protocol/pat.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace velmora {
namespace {

TEST(Pat, EntryMustFitInsideTheBuffer) {
  std::vector<std::uint8_t> buffer(24, 0);
  buffer[16] = buffer[20] = 0x01;  // a one-byte non-still item at 16
  const std::span<const std::uint8_t> all(buffer);
  EXPECT_TRUE(is_valid_pat_entry(all, 16));
  for (const std::size_t at : {std::size_t{17}, std::size_t{24}, std::numeric_limits<std::size_t>::max() - 3}) {
    EXPECT_FALSE(is_valid_pat_entry(all, at)) << at;
  }
  EXPECT_FALSE(is_valid_pat_entry(all.first(23), 16));
  EXPECT_FALSE(is_valid_pat_entry(all.first(5), 0));
}

// The labels of the window's list.
TEST(Pat, Labels) {
  std::string text;
  for (const std::uint8_t flags : {0x22, 0x02, 0x00, 0x20, 0x26, 0xD1}) {
    PhotoEntry e;
    e.flags = flags, e.type_code = flags & 0x0F, e.compressed = (flags & 0x20) != 0;
    text += resolution_label(e) + " " + compression_label(e) + ", ";
  }
  EXPECT_EQ(text,
            "High (HR) Yes (CP), High (HR) No (nP), Low (LR) No (nP), Low (LR) Yes (CP), Other Yes (CP), "
            "Other No (nP), ");
}

}  // namespace
}  // namespace velmora
