#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "decode/mars_decoder.h"
#include "sim/mars_encoder.h"

namespace velmora::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t next_random(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 24;
}

BayerPlane make_plane(int width, int height, const std::function<int(int, int)>& sample) {
  BayerPlane plane{width, height, {}};
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) plane.samples.push_back(static_cast<std::uint8_t>(sample(row, col)));
  }
  return plane;
}

Bytes round_trip(const BayerPlane& plane) {
  return decompress_mars(encode_mars(plane), plane.width, plane.height, 0);
}

struct PlaneCase {
  const char* name;
  int width;
  int height;
  std::function<int(int, int)> sample;
};

TEST(MarsEncoder, DecodesWithinTheLiteralStep) {
  std::uint32_t state = 7;
  const PlaneCase cases[] = {
      {"flat", 176, 144, [](int, int) { return 90; }},
      {"gradient", 176, 144, [](int r, int c) { return (r + c) % 256; }},
      {"extremes", 64, 48, [](int r, int c) { return ((r / 2 + c / 2) % 2) * 255; }},
      {"noise", 97, 31, [&](int, int) { return static_cast<int>(next_random(state)); }},
      {"tiny", 2, 2, [](int r, int c) { return 255 - r * 3 - c; }},
      {"narrow", 3, 9, [](int r, int c) { return r * 29 + c * 3; }},
  };
  for (const auto& c : cases) {
    const BayerPlane plane = make_plane(c.width, c.height, c.sample);
    const Bytes decoded = round_trip(plane);
    ASSERT_EQ(decoded.size(), plane.samples.size()) << c.name;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
      const int target = plane.samples[i];
      const int limit = target <= 251 ? 4 : 7;  // literals stop at 248
      ASSERT_LE(std::abs(decoded[i] - target), limit) << c.name << " sample " << i;
    }
  }
}

TEST(MarsEncoder, ReproducesExactlyWhatTheFormatCanHold) {
  std::uint32_t state = 99;
  for (const auto& [width, height] : {std::pair{2, 2}, std::pair{5, 3}, std::pair{64, 40}, std::pair{176, 144}}) {
    // Any long enough stream decodes, so its plane is reachable.
    Bytes stream(static_cast<std::size_t>(width) * height * 2);
    for (auto& byte : stream) byte = static_cast<std::uint8_t>(next_random(state));
    const BayerPlane plane{width, height, decompress_mars(stream, width, height, 0)};
    EXPECT_EQ(round_trip(plane), plane.samples) << width << "x" << height;
  }
  const BayerPlane steps = make_plane(40, 30, [](int r, int c) { return ((r * 7 + c * 13) % 32) * 8; });
  EXPECT_EQ(round_trip(steps), steps.samples);
}

TEST(MarsEncoder, SmoothPlanesCompressBelowOneBytePerSample) {
  const BayerPlane plane = make_plane(352, 288, [](int r, int c) { return 40 + (r % 2) * 60 + c / 4; });
  EXPECT_LT(encode_mars(plane).size(), plane.samples.size() / 4);
}

TEST(MarsEncoder, RefusesPlanesTheDecoderCannotHold) {
  const BayerPlane bad[] = {
      {1, 4, Bytes(4)}, {4097, 2, Bytes(8194)}, {4, 4, Bytes(15)}, {2, 2, Bytes{}},
  };
  for (const auto& plane : bad) {
    EXPECT_THROW(encode_mars(plane), Failure) << plane.width << "x" << plane.height;
  }
}

}  // namespace
}  // namespace velmora::sim
