// Worked examples of the stream format; the boundaries and failure messages
// are held against the independent model in tests/reference/test_decode.py
// on generated streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decode/mars_decoder.h"
#include "decode/mars_stream_builder.h"

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::StreamBuilder;

Bytes with_header(const Bytes& data, std::uint8_t byte7 = 37) {
  Bytes raw(kRawHeaderBytes + data.size(), 0);
  raw[7] = byte7;
  std::copy(data.begin(), data.end(), raw.begin() + kRawHeaderBytes);
  return raw;
}

struct CodeCase {
  const char* name;
  std::uint32_t code;
  int code_bits;
  std::uint8_t seed;
  std::uint8_t expected_normal;
  std::uint8_t expected_swapped;  // variant 8
};

// The code sits at row 0, column 2, right after the two row-0 seeds, so its
// prediction is the seed two columns to the left.
TEST(DecompressMars, EachCodeAppliesItsDelta) {
  const CodeCase cases[] = {
      {"zero", 0b0, 1, 100, 100, 100},
      {"plus 3", 0b101, 3, 100, 103, 97},
      {"minus 3", 0b110, 3, 100, 97, 103},
      {"plus 8", 0b1000, 4, 100, 108, 92},
      {"minus 8", 0b1001, 4, 100, 92, 108},
      {"minus 20", 0b1111, 4, 100, 80, 120},
      {"plus 20", 0b11100, 5, 100, 120, 80},
      {"literal 21", 0b11101'10101, 10, 100, 168, 168},  // literal 21 -> 168, neighbours ignored
      {"literal 0", 0b11101'00000, 10, 100, 0, 0},
      {"literal 31", 0b11101'11111, 10, 3, 248, 248},
      {"plus 20 clamps high", 0b11100, 5, 250, 255, 230},
      {"minus 3 clamps low", 0b110, 3, 2, 0, 5},
      {"minus 20 swapped clamps high", 0b1111, 4, 250, 230, 255},
      {"plus 20 swapped clamps low", 0b11100, 5, 5, 25, 0},
  };
  for (const auto& c : cases) {
    const Bytes stream = StreamBuilder().seed(c.seed).seed(50).bits(c.code, c.code_bits).seed(1).seed(2).bytes();
    for (const std::uint8_t variant : {std::uint8_t{0}, std::uint8_t{8}}) {
      const Bytes samples = decompress_mars(stream, 3, 2, variant);
      const std::uint8_t expected = variant == 8 ? c.expected_swapped : c.expected_normal;
      EXPECT_EQ(samples, (Bytes{c.seed, 50, expected, 1, 2, 1})) << c.name << ", variant " << int(variant);
    }
  }
}

TEST(DecompressMars, PredictionsFollowTheColumnRules) {
  // Row 0 makes odd neighbours (seeds and +/-3 codes) so that halving before
  // the sum differs from halving the sum.
  const Bytes stream = StreamBuilder()
                           .seed(17).seed(41)
                           .bits(0b11101'01010, 10)  // literal 10 -> 80
                           .bits(0b11101'01111, 10)  // literal 15 -> 120
                           .bits(0b101, 3)           // 80 + 3 -> 83
                           .bits(0b110, 3)           // 120 - 3 -> 117
                           .seed(0).seed(0).zeros(4)
                           .bits(0b1001, 4)          // (80 + 17) / 2 - 8 -> 40
                           .zeros(5)
                           .bytes();
  const Bytes expected = {
      17, 41, 80, 120, 83, 117,  //
      0,  0,  0,  0,   0,  0,    //
      // (2,2): (40 + 17/2 + 80 + 83/2 + 1) / 3 = 170 / 3; (2,4) and (2,5) use the edge rule.
      40, 80, 56, 93,  73, 110,
  };
  EXPECT_EQ(decompress_mars(stream, 6, 3, 0), expected);
}

TEST(DecompressMars, NarrowImagesUseTheSampleAboveForTheMissingRightNeighbour) {
  const Bytes narrow3 = StreamBuilder().seed(17).seed(41).bits(0b11101'01010, 10).seed(1).seed(2).zeros(4).bytes();
  // (2,0) = (80 + 17) / 2; (2,1) = (41 + 41) / 2; (2,2) = (48 + 17 + 80 + 1) / 3.
  EXPECT_EQ(decompress_mars(narrow3, 3, 3, 0), (Bytes{17, 41, 80, 1, 2, 1, 48, 41, 48}));

  const Bytes narrow2 = StreamBuilder().seed(17).seed(41).seed(1).seed(2).zeros(4).bytes();
  EXPECT_EQ(decompress_mars(narrow2, 2, 4, 0), (Bytes{17, 41, 1, 2, 17, 41, 1, 2}));
}

TEST(DecompressMars, FourSeedsAloneRepeatAcrossTheirColours) {
  const Bytes stream = StreamBuilder().seed(90).seed(30).zeros(6).seed(200).seed(7).zeros(60).bytes();
  const Bytes samples = decompress_mars(stream, 8, 6, 0);
  for (int row = 0; row < 6; ++row) {
    for (int col = 0; col < 8; ++col) {
      const int expected = row % 2 == 0 ? (col % 2 == 0 ? 90 : 30) : (col % 2 == 0 ? 200 : 7);
      EXPECT_EQ(samples[row * 8 + col], expected) << row << "," << col;
    }
  }
}

TEST(DecompressMars, VariantsOneToSevenStartAtThatBit) {
  const auto content = [](StreamBuilder& builder) -> StreamBuilder& {
    return builder.seed(100).seed(50).bits(0b101, 3).seed(7).seed(9).bits(0b110, 3);
  };
  StreamBuilder plain;
  const Bytes expected = {100, 50, 103, 7, 9, 4};
  ASSERT_EQ(decompress_mars(content(plain).bytes(), 3, 2, 0), expected);
  for (int variant = 1; variant <= 7; ++variant) {
    StreamBuilder shifted;
    shifted.bits((1u << variant) - 1, variant);  // skipped bits, all ones
    EXPECT_EQ(decompress_mars(content(shifted).bytes(), 3, 2, static_cast<std::uint8_t>(variant)), expected)
        << "variant " << variant;
  }
  for (int variant : {9, 100, 255}) {
    EXPECT_EQ(decompress_mars(content(plain).bytes(), 3, 2, static_cast<std::uint8_t>(variant)), expected)
        << "variant " << variant;
  }
}

TEST(DecompressMars, VariantThreeOnARawPhotoSkipsThreeBits) {
  const Bytes stream = StreamBuilder().bits(0b010, 3).seed(11).seed(22).seed(33).seed(44).bytes();
  EXPECT_EQ(decode_raw_photo(with_header(stream), 2, 2, true, 3).samples, (Bytes{11, 22, 33, 44}));
  EXPECT_EQ(decode_raw_photo(with_header(stream), 2, 2, true, 0).samples, Bytes(stream.begin(), stream.begin() + 4));
}

}  // namespace
}  // namespace velmora
