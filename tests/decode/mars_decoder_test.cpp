// Worked examples of the prediction rules, computed by hand; every other rule
// of the stream and the container is held against the independent model in
// tests/reference/test_decode.py on generated streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/mars_decoder.h"

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A stream written as '0'/'1' text in stream order; spaces are ignored.
Bytes bits(const std::string& text) {
  Bytes bytes;
  int used = 0;
  for (const char c : text) {
    if (c == ' ') continue;
    if (used++ % 8 == 0) bytes.push_back(0);
    if (c == '1') bytes.back() |= static_cast<std::uint8_t>(0x80u >> ((used - 1) % 8));
  }
  return bytes;
}

TEST(DecompressMars, PredictionsFollowTheColumnRules) {
  // Row 0: seeds 17 and 41, literals 10 and 15, then +3 and -3 on them, so
  // that halving before the sum differs from halving the sum.
  const Bytes stream = bits("00010001 00101001 1110101010 1110101111 101 110 00000000 00000000 0000 1001 00000");
  EXPECT_EQ(decompress_mars(stream, 6, 3, 0), (Bytes{17, 41, 80, 120, 83, 117, 0, 0, 0, 0, 0, 0,
                                                     // (80 + 17) / 2 - 8; (40 + 17/2 + 80 + 83/2 + 1) / 3; edge rule
                                                     40, 80, 56, 93, 73, 110}));
  // Narrow: the sample above stands in for the missing right neighbour.
  EXPECT_EQ(decompress_mars(bits("00010001 00101001 1110101010 00000001 00000010 0000"), 3, 3, 0),
            (Bytes{17, 41, 80, 1, 2, 1, 48, 41, 48}));
  // Variant 8 swaps the signs: +20 on a 5 clamps to 0.
  EXPECT_EQ(decompress_mars(bits("00000101 00110010 11100 00000001 00000010"), 3, 2, 8), (Bytes{5, 50, 0, 1, 2, 1}));
}

}  // namespace
}  // namespace velmora
