// The directory rules themselves are held against the independent model in
// tests/reference/test_pat.py on generated directories; this is the bounds
// check that model cannot reach through the command line.
#include "protocol/pat.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace velmora {
namespace {

TEST(IsValidPatEntry, EntryMustFitInsideBuffer) {
  std::vector<std::uint8_t> buffer(24, 0);
  buffer[16] = 0x01;  // a one-byte non-still item at 16
  buffer[20] = 0x01;
  EXPECT_TRUE(is_valid_pat_entry(buffer, 16));
  EXPECT_FALSE(is_valid_pat_entry(std::span(buffer).first(23), 16));
  EXPECT_FALSE(is_valid_pat_entry(buffer, 17));
  EXPECT_FALSE(is_valid_pat_entry(buffer, 24));
  EXPECT_FALSE(is_valid_pat_entry(buffer, std::numeric_limits<std::size_t>::max() - 3));
  EXPECT_FALSE(is_valid_pat_entry(std::span(buffer).first(5), 0));
  EXPECT_FALSE(is_valid_pat_entry({}, 0));
}

}  // namespace
}  // namespace velmora
