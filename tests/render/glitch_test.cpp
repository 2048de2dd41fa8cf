#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "base/failure.h"
#include "render/glitch.h"
#include "test_images.h"

namespace velmora {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

using test::bytes_of;
using test::reds;

// A width x height image whose red is the pixel index, green 100 + index and
// blue 200 - index, so every moved pixel is recognisable.
RgbImage indexed(std::int32_t width, std::int32_t height) {
  RgbImage image{width, height, {}};
  for (int i = 0; i < width * height; ++i) {
    image.pixels.push_back(static_cast<std::uint8_t>(i));
    image.pixels.push_back(static_cast<std::uint8_t>(100 + i));
    image.pixels.push_back(static_cast<std::uint8_t>(200 - i));
  }
  return image;
}

TEST(Glitch, SinglePixel) {
  const RgbImage one{1, 1, {255, 0, 128}};
  const struct {
    std::int32_t effect;
    std::vector<int> out;
  } cases[] = {
      {0, {255, 0, 128}},
      {1, {255, 0, 128}},
      {2, {0, 31, 182}},    // folds to 0, 0, 127; bands 0, 1, 2
      {3, {255, 0, 128}},
      {4, {128, 255, 0}},   // blue, red, green; the noise is 0 at (0, 0)
      {5, {255, 0, 128}},
      {7, {255, 0, 128}},
      {-1, {255, 0, 128}},
  };
  for (const auto& c : cases) EXPECT_EQ(bytes_of(render_glitch(one, c.effect)), c.out) << c.effect;
}

TEST(Glitch, Movements) {
  const struct {
    const char* what;
    RgbImage in;
    std::int32_t effect;
    std::vector<int> reds;
  } cases[] = {
      // row 0 moves by -W / 2
      {"shear, even width", indexed(4, 1), 0, {2, 3, 0, 1}},
      {"shear, odd width", indexed(5, 1), 0, {3, 4, 0, 1, 2}},
      // row 0: offset 37, so x reads x + 37 wrapped
      {"tear red", indexed(5, 1), 1, {2, 3, 4, 0, 1}},
      // tiles of 16: tile 1 reads tile 2 (47 rem 3), tile 2 reads tile 1 (94 rem 3)
      {"mosaic", indexed(40, 1), 3, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 32, 33, 34, 35,
                                     36, 37, 38, 39, 0,  1,  2,  3,  4,  5,  6,  7,  16, 17, 18, 19, 20, 21, 22, 23}},
  };
  for (const auto& c : cases) EXPECT_EQ(reds(render_glitch(c.in, c.effect)), c.reds) << c.what;
}

TEST(Glitch, ChannelTearReadsBlueSevenRowsDownWrapping) {
  const RgbImage out = render_glitch(indexed(1, 3), kGlitchChannelTear);
  // one column: every red and green stays, blue of row y comes from row (y + 7) rem 3
  EXPECT_EQ(bytes_of(out), (std::vector<int>{0, 100, 199, 1, 101, 198, 2, 102, 200}));
}

TEST(Glitch, SolarizeBandsChangeEvery19Rows) {
  RgbImage column{1, 20, std::vector<std::uint8_t>(60, 0)};
  column.pixels[57] = 40;  // row 19: red folds to 40, band 1
  column.pixels[58] = 140;  // green folds to 115, band 2
  column.pixels[59] = 255;  // blue folds to 0, band 3 -> 0
  const RgbImage out = render_glitch(column, kGlitchSolarizePosterize);
  EXPECT_EQ(out.pixels[0], 0);
  EXPECT_EQ(out.pixels[1], 31);
  EXPECT_EQ(out.pixels[2], 62);
  EXPECT_EQ(std::vector<std::uint8_t>(out.pixels.begin() + 54, out.pixels.begin() + 57),
            std::vector<std::uint8_t>(out.pixels.begin(), out.pixels.begin() + 3))
      << "row 18 is still in the first band";
  EXPECT_EQ(out.pixels[57], 31 + 40);
  EXPECT_EQ(out.pixels[58], 62 + 80);
  EXPECT_EQ(out.pixels[59], 0);
}

TEST(Glitch, DigitalStormNoise) {
  // (1, 0): offset 0 and noise 73, so red = blue ^ 9, green = red ^ 2, blue = green ^ 18.
  const RgbImage in{2, 1, {1, 2, 3, 10, 20, 30}};
  EXPECT_EQ(bytes_of(render_glitch(in, kGlitchDigitalStorm)), (std::vector<int>{3, 1, 2, 30 ^ 9, 10 ^ 2, 20 ^ 18}));
}

TEST(Glitch, RejectsMalformedSource) {
  for (const RgbImage& bad : {RgbImage{0, 1, {}}, RgbImage{2, 1, {1, 2, 3}}, RgbImage{1, -1, {}}}) {
    EXPECT_THAT([&] { render_glitch(bad, 7); },
                ThrowsMessage<Failure>(StrEq("Invalid RGB source for visual glitch effect")));
  }
}

}  // namespace
}  // namespace velmora
