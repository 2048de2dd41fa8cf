#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/mars_decoder.h"
#include "render/experimental.h"
#include "render/glitch.h"
#include "render/render_photo.h"
#include "test_images.h"

namespace velmora {
namespace {

using test::bytes_of;

struct Recipe {
  std::string label;
  int variant;
  bool always_compressed;
  std::int32_t pattern, style, glitch;
};

std::vector<Recipe> recipes(const std::vector<ExperimentalRender>& renders) {
  std::vector<Recipe> out;
  for (const auto& r : renders) {
    out.push_back({r.label, r.decoder_variant, r.always_compressed, r.pattern, r.style, r.glitch_effect});
  }
  return out;
}

bool operator==(const Recipe& a, const Recipe& b) {
  return a.label == b.label && a.variant == b.variant && a.always_compressed == b.always_compressed &&
         a.pattern == b.pattern && a.style == b.style && a.glitch == b.glitch;
}

void PrintTo(const Recipe& r, std::ostream* os) { *os << r.label << "/" << r.variant; }

TEST(Experimental, PatternRendersReadThePhotoAsStored) {
  const std::vector<Recipe> expected = {
      {"fun-rggb-proc21", 0, false, kPatternRggb, kStyleBalanced, kNoGlitch},
      {"fun-bggr-mars", 0, false, kPatternBggr, kStyleMarsHistorical, kNoGlitch},
      {"fun-rggb-baseline", 0, false, kPatternRggb, kStyleBaseline, kNoGlitch},
      {"fun-gbrg-proc21", 0, false, kPatternGbrg, kStyleBalanced, kNoGlitch},
  };
  EXPECT_EQ(recipes(fun_pattern_renders()), expected);
}

TEST(Experimental, VariantRendersAlwaysDecodeAsCompressed) {
  std::vector<Recipe> expected;
  for (int v = 1; v <= 7; ++v) {
    expected.push_back({"fun-offset" + std::to_string(v) + "-proc21", v, true, kPatternBggr, kStyleBalanced, kNoGlitch});
  }
  expected.push_back({"fun-swapsigns-proc21", 8, true, kPatternBggr, kStyleBalanced, kNoGlitch});
  expected.push_back({"fun-swapsigns-baseline", 8, true, kPatternBggr, kStyleBaseline, kNoGlitch});
  EXPECT_EQ(recipes(fun_variant_renders()), expected);
}

TEST(Experimental, ExtremeAndBayerLabels) {
  EXPECT_EQ(recipes({extreme_render(kGlitchChannelTear, kPatternGrbg)}),
            (std::vector<Recipe>{{"extreme-channel-tear", 0, false, kPatternGrbg, kStyleBalanced, 1}}));
  EXPECT_EQ(recipes({extreme_render(kGlitchDigitalStorm, kPatternBggr)}),
            (std::vector<Recipe>{{"extreme-digital-storm", 0, false, kPatternBggr, kStyleBalanced, 4}}));
  EXPECT_EQ(recipes({bayer_render(kPatternGbrg)}),
            (std::vector<Recipe>{{"bayer-gbrg", 0, false, kPatternGbrg, kStyleBalanced, kNoGlitch}}));
}

}  // namespace
}  // namespace velmora
