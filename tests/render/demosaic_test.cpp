#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/failure.h"
#include "render/demosaic.h"
#include "render/glitch.h"
#include "render/parametric.h"
#include "render/render_photo.h"
#include "test_images.h"

namespace velmora {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

using test::bytes_of;

const std::vector<std::uint8_t> kPlane2x2 = {10, 20, 30, 40};

struct DemosaicCase {
  std::int32_t pattern;
  std::vector<int> pixels;  // (0,0), (1,0), (0,1), (1,1), each r, g, b
};

// Out-of-image neighbours clamp to the edge, so each 2 x 2 result shows which
// site each cell was taken as: at (0, 0) the cross average is
// (10 + 20 + 10 + 30) / 4 = 17 and the diagonal one (10 + 20 + 30 + 40) / 4 = 25.
const DemosaicCase kDemosaicCases[] = {
    {kPatternRggb, {10, 17, 25, 15, 20, 30, 20, 30, 35, 25, 32, 40}},
    {kPatternBggr, {25, 17, 10, 30, 20, 15, 35, 30, 20, 40, 32, 25}},
    {kPatternGrbg, {15, 10, 20, 20, 22, 25, 25, 27, 30, 30, 40, 35}},
    {kPatternGbrg, {20, 10, 15, 25, 22, 20, 30, 27, 25, 35, 40, 30}},
};

TEST(Demosaic, EachPatternPlacesItsColoursOnA2x2Plane) {
  for (const auto& c : kDemosaicCases) {
    SCOPED_TRACE(bayer_pattern_name(c.pattern));
    const RgbImage image = demosaic_baseline(test::raw_photo(0, kPlane2x2), 2, 2, c.pattern);
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(bytes_of(image), c.pixels);
    // The dispatcher's baseline style is the same demosaic.
    EXPECT_EQ(bytes_of(render_photo({}, kPlane2x2, 2, 2, c.pattern, kStyleBaseline, kSetPlain)), c.pixels);
  }
}

TEST(Demosaic, HeaderBytesAreIgnoredAndExtraBytesAllowed) {
  std::vector<std::uint8_t> raw = {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 10, 20, 30, 40, 99};
  EXPECT_EQ(bytes_of(demosaic_baseline(raw, 2, 2, kPatternRggb)), kDemosaicCases[0].pixels);
}

TEST(Demosaic, SinglePixelTakesItsSampleInEveryChannel) {
  for (std::int32_t pattern = 0; pattern < 4; ++pattern) {
    EXPECT_EQ(bytes_of(demosaic_baseline(test::raw_photo(0, {77}), 1, 1, pattern)), (std::vector<int>{77, 77, 77}));
  }
}

TEST(Demosaic, ThreeByThreeInteriorUsesAllEightNeighbours) {
  // rggb: the centre (1, 1) is a blue site; red is the four corners' mean,
  // green the four edge-centres' mean.
  const std::vector<std::uint8_t> plane = {1, 50, 3, 60, 200, 70, 5, 80, 7};
  const RgbImage image = demosaic_baseline(test::raw_photo(0, plane), 3, 3, kPatternRggb);
  EXPECT_EQ(image.pixels[12], (1 + 3 + 5 + 7) / 4);
  EXPECT_EQ(image.pixels[13], (50 + 60 + 70 + 80) / 4);
  EXPECT_EQ(image.pixels[14], 200);
}

struct FailureCase {
  const char* what;
  std::vector<std::uint8_t> raw;
  std::int32_t width, height, pattern;
  const char* message;
};

TEST(Demosaic, RejectsBadInput) {
  const FailureCase cases[] = {
      {"zero width", test::raw_photo(0, {1, 2}), 0, 2, 1, "Invalid image dimensions"},
      {"negative height", test::raw_photo(0, {1, 2}), 2, -1, 1, "Invalid image dimensions"},
      {"one sample short", test::raw_photo(0, {1, 2, 3}), 2, 2, 1,
       "Raw photo is shorter than 12-byte header plus width*height Bayer samples"},
      {"header only partly there", {0, 0, 0}, 1, 1, 1,
       "Raw photo is shorter than 12-byte header plus width*height Bayer samples"},
      {"pattern 4", test::raw_photo(0, {1, 2, 3, 4}), 2, 2, 4, "Unknown Bayer pattern"},
      {"pattern -1", test::raw_photo(0, {1, 2, 3, 4}), 2, 2, -1, "Unknown Bayer pattern"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_THAT([&] { demosaic_baseline(c.raw, c.width, c.height, c.pattern); },
                ThrowsMessage<Failure>(StrEq(c.message)));
  }
}

TEST(RenderPhoto, RejectsMismatchedPlaneBeforeDemosaicking) {
  const struct {
    std::vector<std::uint8_t> samples;
    std::int32_t width, height, style, set;
    const char* message;
  } cases[] = {
      {{1, 2, 3}, 2, 2, kStyleBalanced, kSetPlain, "Bayer dimensions mismatch"},
      {{1, 2, 3, 4, 5}, 2, 2, kStyleBaseline, kSetPlain, "Bayer dimensions mismatch"},
      // Negative dimensions whose product matches reach the demosaic's check.
      {{1, 2, 3, 4}, -2, -2, kStyleBalanced, kSetPlain, "Invalid image dimensions"},
      {{1, 2, 3, 4}, 2, 2, kStyleBaseline, kSetMoreColor, "Baseline Bayer demosaic cannot be modified"},
      {{1, 2, 3, 4}, 2, 2, kStyleBaseline, 99, "Baseline Bayer demosaic cannot be modified"},
      {{1, 2, 3, 4}, 2, 2, kStyleMarsHistorical, kSetPlain, "Mars raw payload is shorter than its 12-byte header"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_THAT(
        [&] {
          render_photo(std::vector<std::uint8_t>(11, 0), c.samples, c.width, c.height, kPatternBggr, c.style, c.set);
        },
        ThrowsMessage<Failure>(StrEq(c.message)));
  }
}

TEST(RenderPhoto, SetsAreIgnoredByGrayworldAndMarsHistorical) {
  const std::vector<std::uint8_t> plane = {10, 200, 30, 40, 90, 60};
  const auto raw = test::raw_photo(60, plane);
  for (std::int32_t style : {kStyleGrayworld, kStyleMarsHistorical}) {
    const RgbImage plain = render_photo(raw, plane, 3, 2, kPatternBggr, style, kSetPlain);
    for (std::int32_t set : {1, 2, 3, 4, 17}) {
      EXPECT_EQ(bytes_of(render_photo(raw, plane, 3, 2, kPatternBggr, style, set)), bytes_of(plain)) << style;
    }
  }
}

TEST(RenderPhoto, UnknownStylesRenderWithTheFallbackParameters) {
  const std::vector<std::uint8_t> plane = {10, 200, 30, 40, 90, 60, 7, 250};
  const RgbImage fallback =
      render_parametric(demosaic_baseline(test::raw_photo(0, plane), 4, 2, kPatternRggb), style_params(99));
  for (std::int32_t style : {8, 42, -1}) {
    EXPECT_EQ(bytes_of(render_photo({}, plane, 4, 2, kPatternRggb, style, kSetPlain)), bytes_of(fallback)) << style;
  }
}

}  // namespace
}  // namespace velmora
