#include "output/checksum.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
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

using Both = void (*)(std::uint32_t&, std::uint32_t&, std::span<const std::uint8_t>);

void portable(std::uint32_t& crc, std::uint32_t& adler, std::span<const std::uint8_t> bytes) {
  crc = crc32_update(crc, bytes);
  adler = adler32_update(adler, bytes);
}

// Both forms, whatever this machine would pick, and the pick itself.
const std::pair<const char*, Both> kForms[] = {
    {"portable", portable}, {"clmul", checksum_detail::crc32_adler32_clmul}, {"chosen", crc32_adler32_update}};

void expect_definitions(std::span<const std::uint8_t> bytes, const std::string& what) {
  const std::uint32_t crc = reference_crc32(bytes), adler = reference_adler32(bytes);
  for (const auto& [name, fn] : kForms) {
    std::uint32_t got_crc = 0, got_adler = 1;
    fn(got_crc, got_adler, bytes);
    EXPECT_EQ(got_crc, crc) << name << ' ' << what;
    EXPECT_EQ(got_adler, adler) << name << ' ' << what;
  }
}

TEST(Checksum, KnownVectors) {
  EXPECT_EQ(crc32_update(0, {}), 0u);
  EXPECT_EQ(crc32_update(0, bytes_of("123456789")), 0xCBF43926u);
  EXPECT_EQ(crc32_update(0, bytes_of("IEND")), 0xAE426082u);
  EXPECT_EQ(adler32_update(1, {}), 1u);
  EXPECT_EQ(adler32_update(1, bytes_of("Wikipedia")), 0x11E60398u);
  EXPECT_EQ(adler32_update(1, bytes_of("123456789")), 0x091E01DEu);
}

// Every length around the table and vector widths (16 to 128 bytes) and the
// Adler reduction runs (5504 to 5552), at unaligned starts; all-0xFF bytes
// drive the Adler sums to their largest values between reductions.
TEST(Checksum, BothFormsMatchTheDefinitions) {
  const auto data = noise(12000, 7);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (std::size_t n : {511u, 512u, 513u, 5375u, 5376u, 5377u, 5503u, 5504u, 5505u, 5551u, 5552u, 5553u, 10752u, 10753u,
                        11103u, 11104u, 11105u, 11990u}) {
    lengths.push_back(n);
  }
  for (std::size_t offset : {0u, 1u, 3u, 7u}) {
    for (std::size_t n : lengths) {
      expect_definitions(std::span(data.data() + offset, n),
                         "offset " + std::to_string(offset) + " length " + std::to_string(n));
    }
  }
  expect_definitions(std::vector<std::uint8_t>(1 << 20, 0xFF), "all 0xFF");
}

TEST(Checksum, PiecewiseEqualsWhole) {
  const auto data = noise(200000, 3);
  const std::span<const std::uint8_t> all(data);
  for (std::size_t cut : {0u, 1u, 63u, 65535u, 65536u, 199999u}) {
    for (const auto& [name, fn] : kForms) {
      std::uint32_t crc = 0, adler = 1;
      fn(crc, adler, all.first(cut));
      fn(crc, adler, all.subspan(cut));
      EXPECT_EQ(crc, reference_crc32(all)) << name << " cut " << cut;
      EXPECT_EQ(adler, reference_adler32(all)) << name << " cut " << cut;
    }
  }
}

}  // namespace
}  // namespace velmora
