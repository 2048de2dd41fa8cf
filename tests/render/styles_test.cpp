#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/failure.h"
#include "render/mars_historical.h"
#include "render/parametric.h"
#include "render/render_photo.h"
#include "test_images.h"

namespace velmora {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

using test::bytes_of;
using test::gray_image;
using test::reds;

struct ImageCase {
  const char* what;
  RgbImage in;
  std::vector<int> out;
};

TEST(GrayWorld, BalancesChannelsAgainstTheMeanOfTheMeans) {
  const std::vector<ImageCase> cases = {
      // means 20, 40, 0: gray 20, so green halves and the zero blue keeps gain 1.0
      {"zero blue channel", RgbImage{2, 1, {10, 30, 0, 30, 50, 0}}, {10, 15, 0, 30, 25, 0}},
      // gray 60: red's gain 60 is limited to 3.0
      {"gain capped at 3.0", RgbImage{1, 1, {1, 90, 89}}, {3, 60, 60}},
      // gray 85.67: red's gain 0.336 is raised to 0.35
      {"gain floored at 0.35", RgbImage{1, 1, {255, 1, 1}}, {89, 3, 3}},
      // red gain 1.5 turns 3 into 4.5, which rounds away from zero
      {"halves round up", RgbImage{2, 1, {3, 5, 5, 3, 6, 5}}, {5, 4, 5, 5, 5, 5}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bytes_of(gray_world(c.in)), c.out) << c.what;
  }
}

TEST(GrayWorld, RejectsMalformedImages) {
  for (const RgbImage& bad : {RgbImage{0, 1, {}}, RgbImage{1, 1, {1, 2}}, RgbImage{1, 2, {1, 2, 3}}}) {
    EXPECT_THAT([&] { gray_world(bad); }, ThrowsMessage<std::exception>(StrEq("Invalid baseline RGB image")));
  }
}

// Parameters that leave every step but the ones a test names as they are:
// with a low count of 0 the black point is bin 0, and the test images hold
// a 255 so the white point is 255.
StyleParams neutral() { return {0.0, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0, 0.0}; }

TEST(Parametric, LevelsStretchPerChannel) {
  // N = 10: low count 2 (2.5 truncated), high count 7 (7.5 truncated).
  RgbImage image{10, 1, {}};
  const int red[] = {0, 5, 10, 20, 40, 60, 80, 100, 120, 200};    // lo 5, hi 80
  const int green[] = {50, 50, 51, 52, 55, 57, 60, 60, 60, 60};   // lo 50, hi 60: steps of 25.5
  const int blue[] = {100, 100, 101, 101, 102, 102, 103, 103, 104, 104};  // hi <= lo + 4
  for (int i = 0; i < 10; ++i) {
    image.pixels.push_back(static_cast<std::uint8_t>(red[i]));
    image.pixels.push_back(static_cast<std::uint8_t>(green[i]));
    image.pixels.push_back(static_cast<std::uint8_t>(blue[i]));
  }
  StyleParams p = neutral();
  p.low_percentile = 0.25;
  p.high_percentile = 0.75;
  const std::vector<int> expected = {0,   0,   100, 0,   0,   100, 17,  26,  101, 51,  51,  101, 119, 128, 102,
                                     187, 179, 102, 255, 255, 103, 255, 255, 103, 255, 255, 104, 255, 255, 104};
  EXPECT_EQ(bytes_of(render_parametric(image, p)), expected);
}

struct ParamCase {
  const char* what;
  RgbImage in;
  StyleParams params;
  std::vector<int> out;
};

TEST(Parametric, EachStepOnItsOwn) {
  const std::vector<ParamCase> cases = {
      {"tone curve 0.5184", gray_image(8, 1, {0, 1, 2, 64, 128, 192, 254, 255}),
       {0, 1, 0.5184, 1, 1, 0, 0, 0}, {0, 14, 21, 125, 178, 220, 254, 255}},
      // 127 and 129 land on 127.5 and 128.5, both rounded away from zero
      {"contrast halves", gray_image(4, 1, {0, 255, 127, 129}), {0, 1, 1, 0.5, 1, 0, 0, 0}, {64, 192, 128, 129}},
      {"highlights k = 2", gray_image(8, 1, {0, 178, 179, 200, 230, 240, 250, 255}),
       {0, 1, 1, 1, 1, 0, 1.0, 0}, {0, 178, 179, 185, 213, 228, 245, 255}},
      {"highlights limited to k = 2.5", gray_image(8, 1, {0, 178, 179, 200, 230, 240, 250, 255}),
       {0, 1, 1, 1, 1, 0, 5.0, 0}, {0, 178, 179, 182, 207, 223, 243, 255}},
      // mean lumas 220, 220, 255, 220, 220: every ratio is clamped to 0.94..1.06
      {"destripe full", gray_image(1, 5, {220, 220, 255, 220, 220}), {0, 1, 1, 1, 1, 0, 0, 1.0},
       {233, 232, 240, 232, 233}},
      {"destripe half", gray_image(1, 5, {220, 220, 255, 220, 220}), {0, 1, 1, 1, 1, 0, 0, 0.5},
       {227, 226, 247, 226, 227}},
      {"destripe strength limited to 1", gray_image(1, 5, {220, 220, 255, 220, 220}), {0, 1, 1, 1, 1, 0, 0, 7.0},
       {233, 232, 240, 232, 233}},
      {"four rows are never destriped", gray_image(1, 4, {220, 220, 255, 220}), {0, 1, 1, 1, 1, 0, 0, 1.0},
       {220, 220, 255, 220}},
      // row 2's mean luma 1 is not above 2.0: it keeps gain 1.0 but still
      // pulls its neighbours down
      {"dark row keeps gain 1", gray_image(1, 5, {255, 220, 1, 220, 220}), {0, 1, 1, 1, 1, 0, 0, 1.0},
       {240, 207, 1, 207, 207}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reds(render_parametric(c.in, c.params)), c.out) << c.what;
  }
}

TEST(Parametric, ColourSteps) {
  const RgbImage colour{3, 1, {0, 0, 0, 255, 255, 255, 100, 50, 150}};
  const std::vector<ParamCase> cases = {
      // luma of (200, 100, 50) is 124.2
      {"saturation 1.5", RgbImage{3, 1, {0, 0, 0, 255, 255, 255, 200, 100, 50}}, {0, 1, 1, 1, 1.5, 0, 0, 0},
       {0, 0, 0, 255, 255, 255, 238, 88, 13}},
      // means 118.3, 101.7, 135: gains 1.0, 1.164, 0.877
      {"white balance full", colour, {0, 1, 1, 1, 1, 1.0, 0, 0}, {0, 0, 0, 255, 255, 224, 100, 58, 131}},
      {"white balance half", colour, {0, 1, 1, 1, 1, 0.5, 0, 0}, {0, 0, 0, 255, 255, 239, 100, 54, 141}},
      {"white balance limited to 1", colour, {0, 1, 1, 1, 1, 3.0, 0, 0}, {0, 0, 0, 255, 255, 224, 100, 58, 131}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bytes_of(render_parametric(c.in, c.params)), c.out) << c.what;
  }
}

TEST(Parametric, ChecksRunInOrderBeforeAnyPixel) {
  const RgbImage good = gray_image(1, 1, {9});
  const struct {
    RgbImage image;
    StyleParams params;
    const char* message;
  } cases[] = {
      {RgbImage{1, 1, {1, 2}}, {0.5, 0.5, 0, 1, 1, 0, 0, 0}, "Invalid baseline RGB image"},
      {RgbImage{0, 0, {}}, neutral(), "Invalid baseline RGB image"},
      {good, {0.5, 0.5, 0, 1, 1, 0, 0, 0}, "Invalid percentile range"},
      {good, {-0.1, 0.5, 1, 1, 1, 0, 0, 0}, "Invalid percentile range"},
      {good, {0.0, 1.01, 1, 1, 1, 0, 0, 0}, "Invalid percentile range"},
      {good, {0.6, 0.5, 1, 1, 1, 0, 0, 0}, "Invalid percentile range"},
      {good, {0.0, 1.0, 0, 1, 1, 0, 0, 0}, "Gamma must be positive"},
      {good, {0.0, 1.0, -1, 1, 1, 0, 0, 0}, "Gamma must be positive"},
  };
  for (const auto& c : cases) {
    EXPECT_THAT([&] { render_parametric(c.image, c.params); }, ThrowsMessage<std::exception>(StrEq(c.message)));
  }
}

TEST(MarsHistorical, HeaderByte7SetsTheToneCurve) {
  // Fewer than 200 pixels: both point searches stop at once, so every value
  // is then scaled by 253/254 and pulled by the dark factor 254/255; gray
  // pixels are left alone by the colour enhancement.
  const RgbImage ramp = gray_image(8, 1, {0, 1, 2, 64, 128, 192, 254, 255});
  const struct {
    std::uint8_t byte7;
    std::vector<int> out;
  } cases[] = {
      {0, {1, 9, 12, 110, 167, 214, 253, 253}},    // exponent floor 0.6
      {36, {1, 9, 12, 110, 167, 214, 253, 253}},   // sqrt(0.36) = 0.6
      {100, {1, 1, 2, 63, 127, 191, 253, 253}},    // exponent 1: identity table
      {144, {1, 1, 1, 47, 110, 180, 252, 253}},    // exponent 1.2
      {255, {1, 1, 1, 27, 83, 161, 252, 253}},     // exponent 1.597
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reds(render_mars_historical(ramp, test::raw_photo(c.byte7))), c.out) << int(c.byte7);
  }
}

TEST(MarsHistorical, ColourEnhancementTruncatesTowardZero) {
  // Identity table; then (199, 99, 49), average 115, amount 2.8: red gains
  // 93 (clamped), green loses 39.95 -> 39, blue loses 124.99 -> 124 (clamped).
  EXPECT_EQ(bytes_of(render_mars_historical({1, 1, {200, 100, 50}}, test::raw_photo(100))),
            (std::vector<int>{255, 60, 0}));
  EXPECT_EQ(bytes_of(render_mars_historical({1, 1, {128, 128, 128}}, test::raw_photo(100))),
            (std::vector<int>{127, 127, 127}));
}

TEST(MarsHistorical, ChecksRawBeforeImage) {
  EXPECT_THAT(
      [] {
        render_mars_historical({0, 0, {}}, std::vector<std::uint8_t>(11));
      },
      ThrowsMessage<std::exception>(StrEq("Mars raw payload is shorter than its 12-byte header")));
  EXPECT_THAT(
      [] {
        render_mars_historical({1, 1, {1, 2, 3, 4}}, test::raw_photo(100));
      },
      ThrowsMessage<std::exception>(StrEq("Invalid baseline RGB image")));
}

TEST(Render, InputIsNeverChanged) {
  const RgbImage in{2, 1, {10, 200, 30, 40, 90, 250}};
  const RgbImage copy = in;
  render_parametric(in, style_params(kStyleExpressive));
  render_mars_historical(in, test::raw_photo(0));
  gray_world(in);
  EXPECT_EQ(bytes_of(in), bytes_of(copy));
}

}  // namespace
}  // namespace velmora
