#include "output/checksum.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
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

enum class Needs { kNothing, kVector, kWide };

struct Impl {
  const char* name;
  Fn fn;
  Needs needs;
};

const Impl kCrcImpls[] = {{"crc32_update", crc32_update, Needs::kNothing},
                          {"sliced", checksum_detail::crc32_sliced, Needs::kNothing},
                          {"clmul", checksum_detail::crc32_clmul, Needs::kVector},
                          {"wide", checksum_detail::crc32_wide, Needs::kWide}};
const Impl kAdlerImpls[] = {{"adler32_update", adler32_update, Needs::kNothing},
                            {"scalar", checksum_detail::adler32_scalar, Needs::kNothing},
                            {"ssse3", checksum_detail::adler32_ssse3, Needs::kVector},
                            {"wide", checksum_detail::adler32_wide, Needs::kWide}};

bool runnable(const Impl& impl) {
  switch (impl.needs) {
    case Needs::kVector: return checksum_detail::has_vector_checksums();
    case Needs::kWide: return checksum_detail::has_wide_checksums();
    default: return true;
  }
}

TEST(Checksum, ReportsTheImplementationsThisMachineRuns) {
  RecordProperty("vector", checksum_detail::has_vector_checksums() ? "yes" : "no");
  RecordProperty("wide", checksum_detail::has_wide_checksums() ? "yes" : "no");
  std::printf("vector checksums: %s, wide checksums: %s\n", checksum_detail::has_vector_checksums() ? "yes" : "no",
              checksum_detail::has_wide_checksums() ? "yes" : "no");
}

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

// Every length around the vector widths (16 to 256 bytes) and the Adler
// reduction runs (5504 to 5552), at unaligned starts.
TEST(Checksum, EveryImplementationMatchesTheDefinition) {
  const auto data = noise(12000, 7);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (std::size_t n : {511u, 512u, 513u, 767u, 768u, 1000u, 5503u, 5504u, 5505u, 5551u, 5552u, 5553u, 5583u, 5584u,
                        5585u, 11103u, 11104u, 11105u, 11990u}) {
    lengths.push_back(n);
  }
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

TEST(Checksum, OnePassFormMatchesTheDefinitions) {
  const auto data = noise(40000, 11);
  using Both = void (*)(std::uint32_t&, std::uint32_t&, std::span<const std::uint8_t>);
  std::vector<std::pair<const char*, Both>> impls = {{"crc32_adler32_update", crc32_adler32_update}};
  if (checksum_detail::has_vector_checksums()) impls.emplace_back("clmul", checksum_detail::crc32_adler32_clmul);
  if (checksum_detail::has_wide_checksums()) impls.emplace_back("wide", checksum_detail::crc32_adler32_wide);
  for (std::size_t n : {0u, 1u, 127u, 128u, 129u, 255u, 256u, 257u, 511u, 512u, 5375u, 5376u, 5377u, 5503u, 5504u,
                        5505u, 5632u, 10752u, 10753u, 11008u, 11009u, 39999u}) {
    const std::span<const std::uint8_t> piece(data.data() + 1, n);
    for (const auto& [name, fn] : impls) {
      std::uint32_t crc = 0, adler = 1;
      fn(crc, adler, piece);
      EXPECT_EQ(crc, reference_crc32(piece)) << name << " length " << n;
      EXPECT_EQ(adler, reference_adler32(piece)) << name << " length " << n;
    }
  }
  const std::vector<std::uint8_t> ones(1 << 20, 0xFF);
  const std::uint32_t crc_of_ones = reference_crc32(ones);
  const std::uint32_t adler_of_ones = reference_adler32(ones);
  for (const auto& [name, fn] : impls) {
    std::uint32_t crc = 0, adler = 1;
    fn(crc, adler, ones);
    EXPECT_EQ(crc, crc_of_ones) << name;
    EXPECT_EQ(adler, adler_of_ones) << name;
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
