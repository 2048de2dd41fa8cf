// What the comparison with the Python model (tests/reference/test_render.py)
// cannot reach: the power function bit for bit, inputs no command passes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <set>

#include "render/demosaic.h"
#include "render/glitch.h"
#include "render/mars_historical.h"
#include "render/parametric.h"
#include "render/portable_pow.h"
#include "render/render_photo.h"
#include "support/sim_fixture.h"

namespace velmora {
namespace {

using test::failure_of;

// Every base and exponent the styles raise (tone curves plain and brighter,
// highlight curves, the header curves of all 256 header bytes), bit for bit
// the correctly rounded powers of render_reference.power.
constexpr std::uint64_t kPowDomainChecksum = 0x2ced4803334bc018ull;

TEST(PortablePow, CorrectlyRoundedOverTheStyleDomain) {
  std::set<double> gammas, ks;
  for (std::int32_t style : {0, 1, 2, 3, 4, 9}) {
    for (std::int32_t set : {0, 1}) gammas.insert(apply_additional_set(style_params(style), set).gamma);
    if (style != 9) ks.insert(style_params(style).highlight_shaping + 1.0);
  }
  std::uint64_t h = 0xcbf29ce484222325ull, count = 0;
  const auto add = [&](double base, double exponent) {
    const double value = portable_pow(base, exponent);
    unsigned char bytes[8];
    std::memcpy(bytes, &value, 8);  // little-endian on every target we build
    for (unsigned char b : bytes) h = (h ^ b) * 0x100000001b3ull;
    ++count;
  };
  for (double g : gammas) {
    for (int c = 0; c < 256; ++c) add(c / 255.0, g);
  }
  for (double k : ks) {
    for (int c = 179; c < 256; ++c) add((c / 255.0 - 0.7) / (1.0 - 0.7), k);
  }
  for (int b7 = 0; b7 < 256; ++b7) {
    for (int i = 0; i < 256; ++i) add(i / 255.0, std::max(0.6, std::sqrt(b7 / 100.0)));
  }
  EXPECT_EQ(count, 68225u);
  EXPECT_EQ(h, kPowDomainChecksum);
}

TEST(Render, RejectsMalformedInputsWithTheirMessages) {
  const std::vector<std::uint8_t> four = {1, 2, 3, 4}, raw(16, 0);
  const RgbImage good{1, 1, {9, 9, 9}}, bad{2, 1, {1, 2, 3}}, negative{1, -1, {}};
  const auto params = [](double low, double high, double gamma) { return StyleParams{low, high, gamma}; };
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { demosaic_baseline(raw, 0, 2, 1); }, "Invalid image dimensions"},
      {[&] { demosaic_baseline(raw, 2, 3, 1); },
       "Raw photo is shorter than 12-byte header plus width*height Bayer samples"},
      {[&] { demosaic_baseline(raw, 2, 2, 4); }, "Unknown Bayer pattern"},
      {[&] { render_photo(raw, four, 2, 3, 1, kStyleBalanced, kSetPlain); }, "Bayer dimensions mismatch"},
      {[&] { render_photo(raw, four, -2, -2, 1, kStyleBalanced, kSetPlain); }, "Invalid image dimensions"},
      {[&] { render_photo(raw, four, 2, 2, 1, kStyleBaseline, 99); }, "Baseline Bayer demosaic cannot be modified"},
      {[&] { render_photo({}, four, 2, 2, 1, kStyleMarsHistorical, kSetPlain); },
       "Mars raw payload is shorter than its 12-byte header"},
      {[&] { render_mars_historical(bad, raw); }, "Invalid baseline RGB image"},
      {[&] { gray_world(bad); }, "Invalid baseline RGB image"},
      {[&] { render_parametric(bad, params(0.5, 0.5, 0)); }, "Invalid baseline RGB image"},
      {[&] { render_parametric(good, params(0.5, 0.5, 1)); }, "Invalid percentile range"},
      {[&] { render_parametric(good, params(0.0, 1.01, 1)); }, "Invalid percentile range"},
      {[&] { render_parametric(good, params(0.0, 1.0, 0)); }, "Gamma must be positive"},
      {[&] { render_glitch(bad, 7); }, "Invalid RGB source for visual glitch effect"},
      {[&] { render_glitch(negative, 0); }, "Invalid RGB source for visual glitch effect"},
  };
  for (const auto& [call, message] : cases) EXPECT_EQ(failure_of(call), message);
}

}  // namespace
}  // namespace velmora
