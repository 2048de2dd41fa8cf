// Renders of two fixed planes in every style, set, pattern and glitch effect,
// checked against checksums from the independent Python model
// (tests/reference/make_render_golden.py prints these tables). The same
// program runs natively and under Wine, so a difference between the C
// libraries shows up here as a failed checksum.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/failure.h"
#include "render/glitch.h"
#include "render/portable_pow.h"
#include "render/render_photo.h"

namespace velmora {
namespace {

constexpr std::uint64_t kPowDomainChecksum = 0x2ced4803334bc018ull;

struct GoldenRender {
  std::int32_t style;
  std::int32_t set;
  std::uint8_t header_byte7;
  std::uint64_t checksum;  // FNV-1a 64 over the four patterns' pixels, in pattern order
  const char* failure;
};

struct GoldenGlitch {
  std::int32_t pattern;
  std::int32_t effect;
  std::uint64_t checksum;  // FNV-1a 64 of the effect applied to the balanced render
};

const GoldenRender kBrightRenders[] = {
    {0, 0, 37, 0xab40e78ff275c08eull, nullptr},
    {0, 1, 37, 0x296b20cd143f3fe1ull, nullptr},
    {0, 2, 37, 0xf41016670ceb3facull, nullptr},
    {0, 3, 37, 0x2e8e3977618c2082ull, nullptr},
    {0, 4, 37, 0x730e5d6ce6bf25ecull, nullptr},
    {1, 0, 37, 0x0c0167412e186ef7ull, nullptr},
    {1, 1, 37, 0x568e7cd233370fedull, nullptr},
    {1, 2, 37, 0x4e1bc68b3a44d4adull, nullptr},
    {1, 3, 37, 0x9a5aa03956e4310full, nullptr},
    {1, 4, 37, 0x820ddbd822394f38ull, nullptr},
    {2, 0, 37, 0x107b205a64a49bc4ull, nullptr},
    {2, 1, 37, 0xc0ee810ba8fc65ffull, nullptr},
    {2, 2, 37, 0xa2d5806fdbf77b62ull, nullptr},
    {2, 3, 37, 0xaf70a5959ed45d89ull, nullptr},
    {2, 4, 37, 0xdc592d1a145b3842ull, nullptr},
    {3, 0, 37, 0x1fa3fcd61c6d4fa8ull, nullptr},
    {3, 1, 37, 0xb1a76a32ae7fbaaeull, nullptr},
    {3, 2, 37, 0x23b86276b6777040ull, nullptr},
    {3, 3, 37, 0x09a2f66ba0a2faa7ull, nullptr},
    {3, 4, 37, 0xf8f9a9538d991aefull, nullptr},
    {4, 0, 37, 0x80c5ee629fb979d1ull, nullptr},
    {4, 1, 37, 0xe03f43583b4ebfeeull, nullptr},
    {4, 2, 37, 0xada2dcbf481a5abaull, nullptr},
    {4, 3, 37, 0xca3fc1ed617a5485ull, nullptr},
    {4, 4, 37, 0x182ca26846aa2239ull, nullptr},
    {5, 0, 37, 0x98c58aa8cac592c7ull, nullptr},
    {5, 1, 37, 0, "Baseline Bayer demosaic cannot be modified"},
    {5, 2, 37, 0, "Baseline Bayer demosaic cannot be modified"},
    {5, 3, 37, 0, "Baseline Bayer demosaic cannot be modified"},
    {5, 4, 37, 0, "Baseline Bayer demosaic cannot be modified"},
    {6, 0, 0, 0x34cadc96552a5b4dull, nullptr},
    {6, 0, 37, 0x8a6033265e396e7full, nullptr},
    {6, 0, 100, 0x199f24af8d226719ull, nullptr},
    {6, 0, 255, 0xef1be90a6785c0f1ull, nullptr},
    {6, 1, 37, 0x8a6033265e396e7full, nullptr},
    {6, 2, 37, 0x8a6033265e396e7full, nullptr},
    {6, 3, 37, 0x8a6033265e396e7full, nullptr},
    {6, 4, 37, 0x8a6033265e396e7full, nullptr},
    {7, 0, 37, 0x9e1944cfad440395ull, nullptr},
    {7, 1, 37, 0x9e1944cfad440395ull, nullptr},
    {7, 2, 37, 0x9e1944cfad440395ull, nullptr},
    {7, 3, 37, 0x9e1944cfad440395ull, nullptr},
    {7, 4, 37, 0x9e1944cfad440395ull, nullptr},
    {9, 0, 37, 0x68318c18b4ec06f3ull, nullptr},
    {9, 1, 37, 0xe123e39b008a073dull, nullptr},
    {9, 2, 37, 0x92f338e585eb07dbull, nullptr},
    {9, 3, 37, 0x4ed269f6f1660515ull, nullptr},
    {9, 4, 37, 0x05fe22ea427ff443ull, nullptr},
    {-3, 0, 37, 0x68318c18b4ec06f3ull, nullptr},
    {-3, 1, 37, 0xe123e39b008a073dull, nullptr},
    {-3, 2, 37, 0x92f338e585eb07dbull, nullptr},
    {-3, 3, 37, 0x4ed269f6f1660515ull, nullptr},
    {-3, 4, 37, 0x05fe22ea427ff443ull, nullptr},
};

const GoldenGlitch kBrightGlitches[] = {
    {0, 0, 0xaf2272f51ac3c501ull},
    {0, 1, 0x87c821bea3cd7f31ull},
    {0, 2, 0xc2911b7035695c56ull},
    {0, 3, 0x18bd6a955f9991a0ull},
    {0, 4, 0xaf2e53a9ae7d1447ull},
    {0, 7, 0xbd5be33a5d308313ull},
    {1, 0, 0xdfc8363de5e7f543ull},
    {1, 1, 0x64f2c6a54a0fdc35ull},
    {1, 2, 0x2949b441cf90bcdeull},
    {1, 3, 0x79072ad0fd462321ull},
    {1, 4, 0x6d382624c6ec494bull},
    {1, 7, 0x296dd09fc9e68a8bull},
    {2, 0, 0x704a4c23888b21ebull},
    {2, 1, 0x768a9d58d18ce81full},
    {2, 2, 0x31f276d434db2776ull},
    {2, 3, 0xbe9d237eb137ebd9ull},
    {2, 4, 0xcaac4417a5b39eb1ull},
    {2, 7, 0x4c234a9db2422495ull},
    {3, 0, 0x1816c0e13e0d8649ull},
    {3, 1, 0x66ac1daf5ea4593dull},
    {3, 2, 0x606042cb02bcc046ull},
    {3, 3, 0x73da85aef582a201ull},
    {3, 4, 0x1b1075bbcadff92bull},
    {3, 7, 0x5ef88adf3ed8b85full},
};

const GoldenRender kDarkRenders[] = {
    {0, 0, 37, 0x2e663a379f9db9dcull, nullptr},
    {0, 1, 37, 0x4d500e34f1e34e2full, nullptr},
    {0, 2, 37, 0xbcbbd0c07bf3d016ull, nullptr},
    {0, 3, 37, 0xf8dac0597cf9c467ull, nullptr},
    {0, 4, 37, 0x226e48978d06bf95ull, nullptr},
    {1, 0, 37, 0xd3dcc802a0ca14b1ull, nullptr},
    {1, 1, 37, 0x04f00e45bbbeef37ull, nullptr},
    {1, 2, 37, 0x07bcd47fc10d7d98ull, nullptr},
    {1, 3, 37, 0x560b4ec82c034526ull, nullptr},
    {1, 4, 37, 0xdf1c0626ca13f0ceull, nullptr},
    {2, 0, 37, 0x4b2a6ed5efb6c184ull, nullptr},
    {2, 1, 37, 0xea51edce4ec7f05dull, nullptr},
    {2, 2, 37, 0x3c556462142f5220ull, nullptr},
    {2, 3, 37, 0x35f024cd2086fe6eull, nullptr},
    {2, 4, 37, 0x8dcab68627b0b2f7ull, nullptr},
    {3, 0, 37, 0x0fc63966ee79fbcfull, nullptr},
    {3, 1, 37, 0x4a91663e24a42ef3ull, nullptr},
    {3, 2, 37, 0x3a0efbe0f067227aull, nullptr},
    {3, 3, 37, 0xd856ce3f7b9d092full, nullptr},
    {3, 4, 37, 0x290b1890b52b7a31ull, nullptr},
    {4, 0, 37, 0xa9d2a658b9538128ull, nullptr},
    {4, 1, 37, 0xf8d7f28d0eaaff5dull, nullptr},
    {4, 2, 37, 0x019216dc0bed1a88ull, nullptr},
    {4, 3, 37, 0x0c2e910ffe44b025ull, nullptr},
    {4, 4, 37, 0x3ed448b409730e8eull, nullptr},
    {5, 0, 37, 0xfff9e64e6d7d903full, nullptr},
    {5, 1, 37, 0, "Baseline Bayer demosaic cannot be modified"},
    {5, 2, 37, 0, "Baseline Bayer demosaic cannot be modified"},
    {5, 3, 37, 0, "Baseline Bayer demosaic cannot be modified"},
    {5, 4, 37, 0, "Baseline Bayer demosaic cannot be modified"},
    {6, 0, 0, 0xc7200ec43df0e5c3ull, nullptr},
    {6, 0, 37, 0x3eb9f468bb4ee779ull, nullptr},
    {6, 0, 100, 0xe19b17879333beadull, nullptr},
    {6, 0, 255, 0x98a4d90b53671a65ull, nullptr},
    {6, 1, 37, 0x3eb9f468bb4ee779ull, nullptr},
    {6, 2, 37, 0x3eb9f468bb4ee779ull, nullptr},
    {6, 3, 37, 0x3eb9f468bb4ee779ull, nullptr},
    {6, 4, 37, 0x3eb9f468bb4ee779ull, nullptr},
    {7, 0, 37, 0xdbdf766c9215105full, nullptr},
    {7, 1, 37, 0xdbdf766c9215105full, nullptr},
    {7, 2, 37, 0xdbdf766c9215105full, nullptr},
    {7, 3, 37, 0xdbdf766c9215105full, nullptr},
    {7, 4, 37, 0xdbdf766c9215105full, nullptr},
    {9, 0, 37, 0xb3246250ea5a8889ull, nullptr},
    {9, 1, 37, 0x4443b4784f7fd2d1ull, nullptr},
    {9, 2, 37, 0xa82259d7ac97d8a8ull, nullptr},
    {9, 3, 37, 0x31c8d6ad8c42f8a7ull, nullptr},
    {9, 4, 37, 0x4eb3afd5d696a2ffull, nullptr},
    {-3, 0, 37, 0xb3246250ea5a8889ull, nullptr},
    {-3, 1, 37, 0x4443b4784f7fd2d1ull, nullptr},
    {-3, 2, 37, 0xa82259d7ac97d8a8ull, nullptr},
    {-3, 3, 37, 0x31c8d6ad8c42f8a7ull, nullptr},
    {-3, 4, 37, 0x4eb3afd5d696a2ffull, nullptr},
};

const GoldenGlitch kDarkGlitches[] = {
    {0, 0, 0x95387b27ff34f13eull},
    {0, 1, 0x744ea57732e05866ull},
    {0, 2, 0x2817785bdc9656beull},
    {0, 3, 0xe439cf64b5e98f96ull},
    {0, 4, 0x438628dde43077e4ull},
    {0, 7, 0x93736491db8bdc90ull},
    {1, 0, 0xf9fab11187c6df5cull},
    {1, 1, 0x06aaaac1f8264d64ull},
    {1, 2, 0x07eb96243edeb536ull},
    {1, 3, 0xb133a539aacd8d8cull},
    {1, 4, 0xf723991604c6b940ull},
    {1, 7, 0xf29ac1a4ccb7d2ceull},
    {2, 0, 0xbe8d51df44a86609ull},
    {2, 1, 0x1901f590f73ac66bull},
    {2, 2, 0x659ddfbea944cb66ull},
    {2, 3, 0x3a0ab09cea9cdcf8ull},
    {2, 4, 0xb3b2de525545c527ull},
    {2, 7, 0xca2f6b4912e8f00bull},
    {3, 0, 0xf013579f67279ce1ull},
    {3, 1, 0xfce8f521dd334d0bull},
    {3, 2, 0x64077952503fd796ull},
    {3, 3, 0x579fdd242ba28d01ull},
    {3, 4, 0x4d613482bb8fb96dull},
    {3, 7, 0xdd832db561d6480full},
};

constexpr std::int32_t kWidth = 23;
constexpr std::int32_t kHeight = 19;

std::uint64_t fnv1a(const std::vector<std::uint8_t>& bytes, std::uint64_t h = 0xcbf29ce484222325ull) {
  for (std::uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
  return h;
}

// A gradient with a folded ripple: it wraps past 255, so it has both dark and
// bright ends; the dark plane is the same divided by four.
std::vector<std::uint8_t> golden_plane(bool dark) {
  std::vector<std::uint8_t> samples;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int v = (40 + x * 6 + y * 5 + (x * 131 + y * 71 + x * y * 17) % 41) & 255;
      samples.push_back(static_cast<std::uint8_t>(dark ? v / 4 : v));
    }
  }
  return samples;
}

std::vector<std::uint8_t> raw_photo(const std::vector<std::uint8_t>& samples, std::uint8_t byte7) {
  const std::uint8_t header[12] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, byte7, 1, 2, 3, 4};
  std::vector<std::uint8_t> raw(12 + samples.size());
  std::copy(std::begin(header), std::end(header), raw.begin());
  std::copy(samples.begin(), samples.end(), raw.begin() + 12);
  return raw;
}

void check_renders(bool dark, const GoldenRender* begin, const GoldenRender* end) {
  const std::vector<std::uint8_t> samples = golden_plane(dark);
  for (const GoldenRender* g = begin; g != end; ++g) {
    SCOPED_TRACE("style " + std::to_string(g->style) + " set " + std::to_string(g->set) + " byte7 " +
                 std::to_string(g->header_byte7));
    const std::vector<std::uint8_t> raw = raw_photo(samples, g->header_byte7);
    std::uint64_t h = 0xcbf29ce484222325ull;
    std::string failure;
    for (std::int32_t pattern = 0; pattern < 4 && failure.empty(); ++pattern) {
      try {
        h = fnv1a(render_photo(raw, samples, kWidth, kHeight, pattern, g->style, g->set).pixels, h);
      } catch (const Failure& e) {
        failure = e.what();
      }
    }
    if (g->failure) {
      EXPECT_EQ(failure, g->failure);
    } else {
      EXPECT_EQ(failure, "");
      EXPECT_EQ(h, g->checksum);
    }
  }
}

void check_glitches(bool dark, const GoldenGlitch* begin, const GoldenGlitch* end) {
  const std::vector<std::uint8_t> samples = golden_plane(dark);
  const std::vector<std::uint8_t> raw = raw_photo(samples, 37);
  for (const GoldenGlitch* g = begin; g != end; ++g) {
    SCOPED_TRACE("pattern " + std::to_string(g->pattern) + " effect " + std::to_string(g->effect));
    const RgbImage balanced = render_photo(raw, samples, kWidth, kHeight, g->pattern, kStyleBalanced, kSetPlain);
    EXPECT_EQ(fnv1a(render_glitch(balanced, g->effect).pixels), g->checksum);
  }
}

TEST(RenderGolden, BrightPlaneInEveryStyleSetAndPattern) {
  check_renders(false, std::begin(kBrightRenders), std::end(kBrightRenders));
}

TEST(RenderGolden, DarkPlaneInEveryStyleSetAndPattern) {
  check_renders(true, std::begin(kDarkRenders), std::end(kDarkRenders));
}

TEST(RenderGolden, GlitchEffectsOfBrightPlane) {
  check_glitches(false, std::begin(kBrightGlitches), std::end(kBrightGlitches));
}

TEST(RenderGolden, GlitchEffectsOfDarkPlane) {
  check_glitches(true, std::begin(kDarkGlitches), std::end(kDarkGlitches));
}

// Every base and exponent the styles raise: the tone curves of styles 0..4
// and the fallback, plain and "brighter"; the highlight curves; the header
// curves of all 256 header bytes. Each result must be the correctly rounded
// double, bit for bit.
TEST(RenderGolden, PortablePowIsCorrectlyRoundedOverTheStyleDomain) {
  std::vector<std::pair<double, double>> domain;
  std::vector<double> gammas;
  for (std::int32_t style : {0, 1, 2, 3, 4, 9}) {
    for (std::int32_t set : {0, 1}) gammas.push_back(apply_additional_set(style_params(style), set).gamma);
  }
  std::sort(gammas.begin(), gammas.end());
  gammas.erase(std::unique(gammas.begin(), gammas.end()), gammas.end());
  for (double g : gammas) {
    for (int c = 0; c < 256; ++c) domain.emplace_back(c / 255.0, g);
  }
  std::vector<double> ks;
  for (std::int32_t style : {0, 1, 2, 3, 4}) ks.push_back(style_params(style).highlight_shaping + 1.0);
  std::sort(ks.begin(), ks.end());
  ks.erase(std::unique(ks.begin(), ks.end()), ks.end());
  for (double k : ks) {
    for (int c = 0; c < 256; ++c) {
      const double x = c / 255.0;
      if (x > 0.7) domain.emplace_back((x - 0.7) / (1.0 - 0.7), k);
    }
  }
  for (int b7 = 0; b7 < 256; ++b7) {
    const double g = std::max(0.6, std::sqrt(b7 / 100.0));
    for (int i = 0; i < 256; ++i) domain.emplace_back(i / 255.0, g);
  }
  ASSERT_EQ(domain.size(), 68225u);
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (const auto& [base, exponent] : domain) {
    const double value = portable_pow(base, exponent);
    std::uint8_t bytes[8];
    std::memcpy(bytes, &value, 8);  // little-endian on every target we build
    h = fnv1a(std::vector<std::uint8_t>(bytes, bytes + 8), h);
  }
  EXPECT_EQ(h, kPowDomainChecksum);
}

}  // namespace
}  // namespace velmora
