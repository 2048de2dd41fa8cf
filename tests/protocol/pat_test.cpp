#include "protocol/pat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Entry8 = std::array<std::uint8_t, 8>;

Entry8 entry(std::uint8_t flags, std::uint32_t location, std::uint32_t size, std::uint8_t last = 0) {
  return {flags,
          static_cast<std::uint8_t>(location),
          static_cast<std::uint8_t>(location >> 8),
          static_cast<std::uint8_t>(location >> 16),
          static_cast<std::uint8_t>(size),
          static_cast<std::uint8_t>(size >> 8),
          static_cast<std::uint8_t>(size >> 16),
          last};
}

const Entry8 kEnd = {0xFF, 0, 0, 0, 0, 0, 0, 0};

void put(Bytes& buffer, std::size_t offset, const std::vector<Entry8>& entries) {
  for (const Entry8& e : entries) {
    std::copy(e.begin(), e.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
    offset += 8;
  }
}

Bytes directory(const std::vector<Entry8>& at16, const std::vector<Entry8>& at144 = {}, std::size_t length = 8192) {
  Bytes buffer(length, 0);
  put(buffer, 144, at144);
  put(buffer, 16, at16);
  return buffer;
}

// Distinct valid photos: compressed high-resolution entries at increasing locations.
std::vector<Entry8> photos(std::size_t count, std::uint32_t size = 40000) {
  std::vector<Entry8> out;
  for (std::size_t i = 0; i < count; ++i) out.push_back(entry(0x22, 0x100 * static_cast<std::uint32_t>(i + 1), size));
  return out;
}

TEST(PhotoTransferLength, WholeChunksAfterLeadIn) {
  const struct {
    std::uint64_t size;
    std::uint64_t expected;
  } cases[] = {
      {0, 8192},          {7759, 8192},           {7760, 16384},          {25356, 32768},
      {90892, 98304},     {101388, 106496},       {16776783, 16777216},   {16776784, 16785408},
      {0xFFFFFF, 16785408},
  };
  for (const auto& c : cases) EXPECT_EQ(photo_transfer_length(c.size), c.expected) << c.size;
  EXPECT_EQ(kPhotoTransferCap, 16777216u);
}

TEST(IsValidPatEntry, TypeSizeAndCompressionRules) {
  const struct {
    const char* name;
    Entry8 bytes;
    bool valid;
  } cases[] = {
      {"HR exact size", entry(0x02, 1, 101388), true},
      {"HR uncompressed one short", entry(0x02, 1, 101387), false},
      {"HR uncompressed one over", entry(0x02, 1, 101389), false},
      {"HR compressed below expected", entry(0x22, 1, 101387), true},
      {"HR compressed equal to expected", entry(0x22, 1, 101388), false},
      {"HR compressed header only", entry(0x22, 1, 12), true},
      {"HR compressed shorter than header", entry(0x22, 1, 11), false},
      {"LR exact size", entry(0x00, 1, 25356), true},
      {"LR compressed", entry(0x20, 1, 25355), true},
      {"LR compressed equal", entry(0x20, 1, 25356), false},
      {"type 6 exact", entry(0x06, 1, 76812), true},
      {"type 6 compressed equal", entry(0x26, 1, 76812), false},
      {"type 8 exact", entry(0x08, 1, 307212), true},
      {"type 8 compressed below", entry(0x28, 1, 307211), true},
      {"non-still small", entry(0x01, 1, 1), true},
      {"non-still compressed any size", entry(0x21, 1, 5), true},
      {"non-still at cap", entry(0x01, 1, 16776783), true},
      {"non-still over cap", entry(0x01, 1, 16776784), false},
      {"non-still largest size", entry(0x01, 1, 0xFFFFFF), false},
      {"zero size", entry(0x01, 1, 0), false},
      {"zero size compressed HR", entry(0x22, 1, 0), false},
      {"high bits other than compression ignored", entry(0xD2, 1, 101388), true},
      {"all high bits set, compressed", entry(0xF2, 1, 40000), true},
      {"end marker", entry(0xFF, 1, 1), false},
      {"byte 7 ignored", entry(0x02, 1, 101388, 0xAB), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_valid_pat_entry(c.bytes, 0), c.valid) << c.name;
  }
}

TEST(IsValidPatEntry, EveryUnknownTypeCodeIsInvalid) {
  for (std::uint8_t type = 0; type < 16; ++type) {
    const bool known = type == 0 || type == 1 || type == 2 || type == 6 || type == 8;
    // Compressed and of a size every known type accepts when compressed.
    EXPECT_EQ(is_valid_pat_entry(entry(0x20 | type, 1, 20000), 0), known) << int(type);
  }
}

TEST(IsValidPatEntry, EntryMustFitInsideBuffer) {
  Bytes buffer(24, 0);
  put(buffer, 16, {entry(0x01, 1, 1)});
  EXPECT_TRUE(is_valid_pat_entry(buffer, 16));
  EXPECT_FALSE(is_valid_pat_entry(std::span(buffer).first(23), 16));
  EXPECT_FALSE(is_valid_pat_entry(buffer, 17));
  EXPECT_FALSE(is_valid_pat_entry(buffer, 24));
  EXPECT_FALSE(is_valid_pat_entry(buffer, std::numeric_limits<std::size_t>::max() - 3));
  EXPECT_FALSE(is_valid_pat_entry(std::span(buffer).first(5), 0));
  EXPECT_FALSE(is_valid_pat_entry({}, 0));
}

TEST(LocatePatTable, Candidates) {
  const struct {
    const char* name;
    Bytes buffer;
    std::optional<std::size_t> expected;
  } cases[] = {
      {"empty buffer", {}, std::nullopt},
      {"no valid entry anywhere", Bytes(8192, 0), std::nullopt},
      {"end marker at 16, table at 144", directory({kEnd}, {photos(3)[0], photos(3)[1], photos(3)[2], kEnd}), 144},
      {"end marker at both", directory({kEnd}, {kEnd}), std::nullopt},
      {"only table at 16", directory({photos(2)[0], photos(2)[1], kEnd}), 16},
      {"more entries beat termination",
       directory({photos(2)[0], photos(2)[1], kEnd}, photos(3)), 144},
      {"terminated beats stopped on invalid",
       directory({entry(0x22, 1, 100), entry(0x22, 2, 100)}, {entry(0x22, 3, 50000), entry(0x22, 4, 50000), kEnd}),
       144},
      {"terminated at 16 beats smaller unterminated total at 144",
       directory({entry(0x22, 1, 50000), entry(0x22, 2, 50000), kEnd}, {entry(0x22, 3, 100), entry(0x22, 4, 100)}),
       16},
      {"smaller total wins at equal counts",
       directory({entry(0x22, 1, 60000), kEnd}, {entry(0x22, 2, 59999), kEnd}), 144},
      {"larger total at 144 loses", directory({entry(0x22, 1, 60000), kEnd}, {entry(0x22, 2, 60001), kEnd}), 16},
      {"equal totals keep 16", directory({entry(0x22, 1, 60000), kEnd}, {entry(0x22, 2, 60000), kEnd}), 16},
      {"buffer of 16 bytes", Bytes(16, 0xFF), std::nullopt},
      {"nothing valid at 144", directory({entry(0x01, 1, 1)}, {}, 160), 16},
  };
  for (const auto& c : cases) EXPECT_EQ(locate_pat_table(c.buffer), c.expected) << c.name;

  Bytes exact(24, 0);
  put(exact, 16, {entry(0x01, 1, 1)});
  EXPECT_EQ(locate_pat_table(exact), 16u);
  EXPECT_EQ(locate_pat_table(std::span(exact).first(23)), std::nullopt);

  // 144 with fewer than 8 bytes after it is skipped even though 16 is empty.
  Bytes tail(151, 0);
  put(tail, 16, {kEnd});
  tail[144] = 0x01;
  EXPECT_EQ(locate_pat_table(tail), std::nullopt);
}

TEST(LocatePatTable, ScanStopsAtLimit) {
  // 1100 valid entries at 16 against 1022 at 144: both reach the limit,
  // neither terminated; 144's entries are 16's shifted by 16, so its total is
  // larger when sizes grow.
  std::vector<Entry8> grow;
  for (std::uint32_t i = 0; i < 1100; ++i) grow.push_back(entry(0x01, i + 1, 1000 + i));
  EXPECT_EQ(locate_pat_table(directory(grow, {}, 16 + 1100 * 8)), 16u);
  std::vector<Entry8> shrink;
  for (std::uint32_t i = 0; i < 1100; ++i) shrink.push_back(entry(0x01, i + 1, 5000 - i));
  EXPECT_EQ(locate_pat_table(directory(shrink, {}, 16 + 1100 * 8)), 144u);
}

TEST(ParsePatEntries, DecodesFields) {
  const Bytes table = {0x22, 0x34, 0x12, 0x00, 0x0C, 0x63, 0x01, 0x07, 0xFF};
  const auto entries = parse_pat_entries(table);
  ASSERT_EQ(entries.size(), 1u);
  const PhotoEntry& e = entries[0];
  EXPECT_EQ(e.index, 0u);
  EXPECT_EQ(e.pat_bytes, (Entry8{0x22, 0x34, 0x12, 0x00, 0x0C, 0x63, 0x01, 0x07}));
  EXPECT_EQ(e.flags, 0x22);
  EXPECT_EQ(e.type_code, 2);
  EXPECT_EQ(e.flag_high_bits, 0x20);
  EXPECT_TRUE(e.compressed);
  EXPECT_FALSE(e.non_still);
  EXPECT_EQ(e.size_bytes, 90892u);
  EXPECT_EQ(e.width, 352u);
  EXPECT_EQ(e.height, 288u);
  EXPECT_EQ(e.location(), 0x1234u);

  const auto still = parse_pat_entries(Bytes{0xD1, 1, 2, 3, 1, 0, 0, 0});
  ASSERT_EQ(still.size(), 1u);
  EXPECT_TRUE(still[0].non_still);
  EXPECT_FALSE(still[0].compressed);
  EXPECT_EQ(still[0].flag_high_bits, 0xD0);
  EXPECT_EQ(still[0].width, 0u);
  EXPECT_EQ(still[0].height, 0u);
  EXPECT_EQ(still[0].location(), 0x030201u);
}

TEST(ParsePatEntries, StopsAtEndInvalidOrLimit) {
  auto flatten = [](const std::vector<Entry8>& entries, std::size_t extra = 0) {
    Bytes out;
    for (const Entry8& e : entries) out.insert(out.end(), e.begin(), e.end());
    out.resize(out.size() + extra, 0);
    return out;
  };
  const auto p = photos(4);
  const struct {
    const char* name;
    Bytes table;
    std::size_t count;
  } cases[] = {
      {"empty", {}, 0},
      {"end marker hides the rest", flatten({p[0], kEnd, p[1]}), 1},
      {"invalid entry hides the rest", flatten({p[0], p[1], entry(0x03, 5, 100), p[2]}), 2},
      {"runs to the end of the bytes", flatten(p), 4},
      {"partial trailing entry ignored", flatten(p, 7), 4},
      {"1022 of 1100", flatten(photos(1100)), 1022},
      {"exactly 1022", flatten(photos(1022)), 1022},
  };
  for (const auto& c : cases) {
    const auto entries = parse_pat_entries(c.table);
    ASSERT_EQ(entries.size(), c.count) << c.name;
    for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].index, i) << c.name;
  }
}

TEST(ParsePat, ParsesFromLocatedTable) {
  const auto p = photos(3);
  const auto at144 = parse_pat(directory({kEnd}, {p[0], p[1], p[2], kEnd}));
  ASSERT_EQ(at144.size(), 3u);
  EXPECT_EQ(at144[2].pat_bytes, p[2]);
  EXPECT_EQ(at144[2].index, 2u);
  EXPECT_TRUE(parse_pat(Bytes(8192, 0)).empty());
  EXPECT_TRUE(parse_pat({}).empty());
  // A table of 1022 entries fills a directory buffer exactly from 16.
  EXPECT_EQ(parse_pat(directory(photos(1022))).size(), 1022u);
}

TEST(MergeObservations, DeduplicatesSortsAndRenumbers) {
  const auto a = entry(0x22, 0x300, 40000);
  const auto b = entry(0x22, 0x100, 40000);
  const auto c = entry(0x22, 0x200, 40000);
  std::vector<Entry8> table1 = {a, b, c}, table2 = {c, a, b};
  auto to_bytes = [](const std::vector<Entry8>& v) {
    Bytes out;
    for (const Entry8& e : v) out.insert(out.end(), e.begin(), e.end());
    return out;
  };
  const auto merged = merge_observations({parse_pat_entries(to_bytes(table1)), {}, parse_pat_entries(to_bytes(table2))});
  ASSERT_EQ(merged.size(), 3u);
  EXPECT_EQ(merged[0].pat_bytes, b);
  EXPECT_EQ(merged[1].pat_bytes, c);
  EXPECT_EQ(merged[2].pat_bytes, a);
  for (std::size_t i = 0; i < merged.size(); ++i) EXPECT_EQ(merged[i].index, i);
  EXPECT_TRUE(merge_observations({}).empty());
  EXPECT_TRUE(merge_observations({{}, {}}).empty());
}

TEST(MergeObservations, TieBreaksOnSizeThenBytes) {
  // Location is compared as a 24-bit number (byte 3 most significant), then
  // size as a number, then the raw bytes; entries differing only in byte 0
  // or byte 7 are distinct.
  const std::vector<Entry8> unsorted = {
      entry(0x22, 0x010000, 1),      entry(0x22, 0x0000FF, 0x000100), entry(0x22, 0x0000FF, 0x0000FF),
      entry(0x22, 0x0000FF, 0x000100, 0x01), entry(0x02, 0x0000FF, 0x000100, 0x02), entry(0x22, 0x000100, 5),
  };
  std::vector<std::vector<PhotoEntry>> observations;
  for (const Entry8& e : unsorted) {
    PhotoEntry p;
    p.pat_bytes = e;
    p.size_bytes = static_cast<std::uint32_t>(e[4] | (e[5] << 8) | (e[6] << 16));
    p.index = 99;
    observations.push_back({p, p});
  }
  const auto merged = merge_observations(observations);
  const std::vector<Entry8> expected = {
      entry(0x22, 0x0000FF, 0x0000FF),       entry(0x02, 0x0000FF, 0x000100, 0x02), entry(0x22, 0x0000FF, 0x000100),
      entry(0x22, 0x0000FF, 0x000100, 0x01), entry(0x22, 0x000100, 5),              entry(0x22, 0x010000, 1),
  };
  ASSERT_EQ(merged.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(merged[i].pat_bytes, expected[i]) << i;
    EXPECT_EQ(merged[i].index, i);
  }
}

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

TEST(PhotoEntryDisplay, ListLine) {
  auto entries = parse_pat_entries(Bytes{0x22, 0x34, 0x12, 0x00, 0x0C, 0x63, 0x01, 0x07});
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(photo_list_line(entries[0]), "0 22 34 12 00 0c 63 01 07 HR-CP 352x288 90892");
  entries[0].index = 1021;
  EXPECT_EQ(photo_list_line(entries[0]), "1021 22 34 12 00 0c 63 01 07 HR-CP 352x288 90892");
  const auto still = parse_pat_entries(Bytes{0x01, 0xFF, 0xFF, 0xFF, 0x4F, 0xFE, 0xFF, 0x00});
  ASSERT_EQ(still.size(), 1u);
  EXPECT_EQ(photo_list_line(still[0]), "0 01 ff ff ff 4f fe ff 00 R1-nP 0x0 16776783");
}

}  // namespace
}  // namespace velmora
