#include "output/checksum.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace velmora {
namespace {

// The definitions, one bit and one byte at a time.
std::uint32_t reference_crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t reg = 0xFFFFFFFF;
  for (std::uint8_t byte : bytes) {
    reg ^= byte;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1) ? (reg >> 1) ^ 0xEDB88320 : reg >> 1;
  }
  return ~reg;
}

std::uint32_t reference_adler32(std::span<const std::uint8_t> bytes) {
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : bytes) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

std::vector<std::uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> noise(std::size_t n, std::uint32_t seed) {
  std::vector<std::uint8_t> out(n);
  for (auto& byte : out) {
    seed = seed * 1664525 + 1013904223;
    byte = static_cast<std::uint8_t>(seed >> 24);
  }
  return out;
}

using Fn = std::uint32_t (*)(std::uint32_t, std::span<const std::uint8_t>);

struct Impl {
  const char* name;
  Fn fn;
  bool vector;
};

const Impl kCrcImpls[] = {{"crc32_update", crc32_update, false},
                          {"sliced", checksum_detail::crc32_sliced, false},
                          {"clmul", checksum_detail::crc32_clmul, true}};
const Impl kAdlerImpls[] = {{"adler32_update", adler32_update, false},
                            {"scalar", checksum_detail::adler32_scalar, false},
                            {"ssse3", checksum_detail::adler32_ssse3, true}};

bool runnable(const Impl& impl) { return !impl.vector || checksum_detail::has_vector_checksums(); }

TEST(Checksum, KnownVectors) {
  const auto digits = bytes_of("123456789");
  const auto wikipedia = bytes_of("Wikipedia");
  for (const Impl& impl : kCrcImpls) {
    if (!runnable(impl)) continue;
    SCOPED_TRACE(impl.name);
    EXPECT_EQ(impl.fn(0, {}), 0u);
    EXPECT_EQ(impl.fn(0, digits), 0xCBF43926u);
    EXPECT_EQ(impl.fn(0, bytes_of("IEND")), 0xAE426082u);
  }
  for (const Impl& impl : kAdlerImpls) {
    if (!runnable(impl)) continue;
    SCOPED_TRACE(impl.name);
    EXPECT_EQ(impl.fn(1, {}), 1u);
    EXPECT_EQ(impl.fn(1, wikipedia), 0x11E60398u);
    EXPECT_EQ(impl.fn(1, digits), 0x091E01DEu);
  }
}

// Every length around the vector widths (16, 32, 64) and the Adler reduction
// run (5552), at unaligned starts.
TEST(Checksum, EveryImplementationMatchesTheDefinition) {
  const auto data = noise(12000, 7);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (std::size_t n : {5551u, 5552u, 5553u, 5583u, 5584u, 5585u, 11103u, 11104u, 11105u, 11990u}) lengths.push_back(n);
  for (std::size_t offset : {0u, 1u, 3u, 7u}) {
    for (std::size_t n : lengths) {
      const std::span<const std::uint8_t> piece(data.data() + offset, n);
      const std::uint32_t crc = reference_crc32(piece);
      const std::uint32_t adler = reference_adler32(piece);
      for (const Impl& impl : kCrcImpls) {
        if (!runnable(impl)) continue;
        ASSERT_EQ(impl.fn(0, piece), crc) << impl.name << " offset " << offset << " length " << n;
      }
      for (const Impl& impl : kAdlerImpls) {
        if (!runnable(impl)) continue;
        ASSERT_EQ(impl.fn(1, piece), adler) << impl.name << " offset " << offset << " length " << n;
      }
    }
  }
}

// All-0xFF bytes drive the Adler sums to their largest values between reductions.
TEST(Checksum, LargestSumsDoNotOverflow) {
  const std::vector<std::uint8_t> ones(1 << 20, 0xFF);
  const std::uint32_t crc = reference_crc32(ones);
  const std::uint32_t adler = reference_adler32(ones);
  for (const Impl& impl : kCrcImpls) {
    if (runnable(impl)) {
      EXPECT_EQ(impl.fn(0, ones), crc) << impl.name;
    }
  }
  for (const Impl& impl : kAdlerImpls) {
    if (runnable(impl)) {
      EXPECT_EQ(impl.fn(1, ones), adler) << impl.name;
    }
  }
}

TEST(Checksum, PiecewiseEqualsWhole) {
  const auto data = noise(200000, 3);
  const std::span<const std::uint8_t> all(data);
  for (std::size_t cut : {0u, 1u, 63u, 65535u, 65536u, 199999u}) {
    const std::uint32_t crc = crc32_update(crc32_update(0, all.first(cut)), all.subspan(cut));
    const std::uint32_t adler = adler32_update(adler32_update(1, all.first(cut)), all.subspan(cut));
    EXPECT_EQ(crc, reference_crc32(all)) << cut;
    EXPECT_EQ(adler, reference_adler32(all)) << cut;
  }
}

}  // namespace
}  // namespace velmora
