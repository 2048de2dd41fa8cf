// The directory rules themselves are held against the independent model in
// tests/reference/test_pat.py on generated directories; here is what that
// model cannot reach through the command line.
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

// The labels of the window's list, which the command line never prints.
TEST(PhotoEntryDisplay, LabelsAndShortCodes) {
  const struct {
    std::uint8_t flags;
    const char* resolution;
    const char* compression;
    const char* code;
  } cases[] = {
      {0x22, "High (HR)", "Yes (CP)", "HR-CP"}, {0x02, "High (HR)", "No (nP)", "HR-nP"},
      {0x00, "Low (LR)", "No (nP)", "LR-nP"},   {0x20, "Low (LR)", "Yes (CP)", "LR-CP"},
      {0x26, "Other", "Yes (CP)", "R6-CP"},     {0x08, "Other", "No (nP)", "R8-nP"},
      {0x01, "Other", "No (nP)", "R1-nP"},      {0xD1, "Other", "No (nP)", "R1-nP"},
  };
  for (const auto& c : cases) {
    PhotoEntry e;
    e.flags = c.flags;
    e.type_code = c.flags & 0x0F;
    e.compressed = (c.flags & 0x20) != 0;
    EXPECT_EQ(resolution_label(e), c.resolution) << int(c.flags);
    EXPECT_EQ(compression_label(e), c.compression) << int(c.flags);
    EXPECT_EQ(short_code(e), c.code) << int(c.flags);
  }
}

}  // namespace
}  // namespace velmora
