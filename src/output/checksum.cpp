#include "output/checksum.h"

#include <algorithm>
#include <array>
#include <cstddef>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VELMORA_X86_CHECKSUMS 1
#include <immintrin.h>
#endif

// Every implementation here computes exactly the bit-by-bit definitions; the
// table and vector forms only process more bytes per step.

namespace velmora {
namespace {

constexpr std::uint32_t kCrcPolynomial = 0xEDB88320u;
constexpr std::uint32_t kAdlerBase = 65521;
// The most bytes whose sums cannot overflow 32 bits between two reductions.
constexpr std::size_t kAdlerMaxRun = 5552;

using CrcTables = std::array<std::array<std::uint32_t, 256>, 16>;

// tables[k][b]: the register after byte b followed by k zero bytes.
constexpr CrcTables make_crc_tables() {
  CrcTables tables{};
  for (std::uint32_t b = 0; b < 256; ++b) {
    std::uint32_t c = b;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kCrcPolynomial : c >> 1;
    tables[0][b] = c;
  }
  for (std::size_t k = 1; k < tables.size(); ++k) {
    for (std::size_t b = 0; b < 256; ++b) {
      const std::uint32_t prev = tables[k - 1][b];
      tables[k][b] = (prev >> 8) ^ tables[0][prev & 0xFF];
    }
  }
  return tables;
}

constexpr CrcTables kCrcTables = make_crc_tables();

inline std::uint32_t load_le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// Works on the register (the complement of the CRC value).
std::uint32_t crc_register_sliced(std::uint32_t reg, const std::uint8_t* p, std::size_t n) {
  const auto& t = kCrcTables;
  for (; n >= 16; p += 16, n -= 16) {
    const std::uint32_t a = load_le32(p) ^ reg;
    const std::uint32_t b = load_le32(p + 4);
    const std::uint32_t c = load_le32(p + 8);
    const std::uint32_t d = load_le32(p + 12);
    reg = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
          t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
          t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
  }
  for (; n > 0; ++p, --n) reg = (reg >> 8) ^ t[0][(reg ^ *p) & 0xFF];
  return reg;
}

std::uint32_t adler_scalar(std::uint32_t adler, const std::uint8_t* p, std::size_t n) {
  std::uint32_t s1 = adler & 0xFFFF;
  std::uint32_t s2 = adler >> 16;
  while (n > 0) {
    std::size_t run = std::min(n, kAdlerMaxRun);
    n -= run;
    for (; run >= 8; run -= 8, p += 8) {
      s1 += p[0]; s2 += s1;
      s1 += p[1]; s2 += s1;
      s1 += p[2]; s2 += s1;
      s1 += p[3]; s2 += s1;
      s1 += p[4]; s2 += s1;
      s1 += p[5]; s2 += s1;
      s1 += p[6]; s2 += s1;
      s1 += p[7]; s2 += s1;
    }
    for (; run > 0; --run, ++p) {
      s1 += *p;
      s2 += s1;
    }
    s1 %= kAdlerBase;
    s2 %= kAdlerBase;
  }
  return s2 << 16 | s1;
}

#ifdef VELMORA_X86_CHECKSUMS

__attribute__((target("pclmul,sse2"))) inline __m128i load128(const std::uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x * k (both halves) + next: moves x forward by the distance k stands for.
__attribute__((target("pclmul,sse2"))) inline __m128i fold(__m128i x, __m128i k, __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

// Folds 64 bytes at a time with carry-less multiplication (four parallel
// 128-bit lanes), then folds to 128 and 64 bits and finishes with a Barrett
// reduction. The constants are x^k mod P(x) for the reflected polynomial.
// Needs n >= 64; processes the largest multiple of 16 and leaves the rest.
__attribute__((target("pclmul,sse2"))) std::uint32_t crc_register_clmul(std::uint32_t reg, const std::uint8_t*& p,
                                                                         std::size_t& n) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);  // x^(4*128+32), x^(4*128-32)
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);  // x^(128+32), x^(128-32)
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);               // x^64
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);  // mu, P(x)
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);

  __m128i x1 = _mm_xor_si128(load128(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x2 = load128(p + 16);
  __m128i x3 = load128(p + 32);
  __m128i x4 = load128(p + 48);
  p += 64;
  n -= 64;
  for (; n >= 64; p += 64, n -= 64) {
    x1 = fold(x1, k1k2, load128(p));
    x2 = fold(x2, k1k2, load128(p + 16));
    x3 = fold(x3, k1k2, load128(p + 32));
    x4 = fold(x4, k1k2, load128(p + 48));
  }
  x1 = fold(x1, k3k4, x2);
  x1 = fold(x1, k3k4, x3);
  x1 = fold(x1, k3k4, x4);
  for (; n >= 16; p += 16, n -= 16) x1 = fold(x1, k3k4, load128(p));

  // 128 -> 64 bits.
  __m128i x2r = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2r);
  // 64 -> 32 bits.
  x2r = _mm_srli_si128(x1, 4);
  x1 = _mm_and_si128(x1, low32);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k5, 0x00), x2r);
  // Barrett reduction.
  x2r = _mm_and_si128(x1, low32);
  x2r = _mm_clmulepi64_si128(x2r, poly, 0x10);
  x2r = _mm_and_si128(x2r, low32);
  x2r = _mm_clmulepi64_si128(x2r, poly, 0x00);
  x1 = _mm_xor_si128(x1, x2r);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

// The sum of the four 32-bit lanes.
inline std::uint64_t lane_sum(__m128i v) {
  const __m128i pairs = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, 0xB1))));
}

__attribute__((target("ssse3"))) std::uint32_t adler_ssse3(std::uint32_t adler, const std::uint8_t* p,
                                                           std::size_t n) {
  std::uint64_t s1 = adler & 0xFFFF;
  std::uint64_t s2 = adler >> 16;
  // Byte j of a 32-byte step is counted 32 - j times into s2.
  const __m128i weights_first = _mm_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17);
  const __m128i weights_second = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const __m128i ones = _mm_set1_epi16(1);
  const __m128i zero = _mm_setzero_si128();

  while (n >= 32) {
    const std::size_t run = std::min(n, kAdlerMaxRun) & ~std::size_t{31};
    __m128i sum_before = zero;  // s1 (without the run's start value) before each step
    __m128i sum = zero;
    __m128i weighted = zero;
    for (std::size_t i = 0; i < run; i += 32) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16));
      sum_before = _mm_add_epi32(sum_before, sum);
      sum = _mm_add_epi32(sum, _mm_add_epi32(_mm_sad_epu8(a, zero), _mm_sad_epu8(b, zero)));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(a, weights_first), ones));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(b, weights_second), ones));
    }
    s2 += s1 * run + 32 * lane_sum(sum_before) + lane_sum(weighted);
    s1 += lane_sum(sum);
    s1 %= kAdlerBase;
    s2 %= kAdlerBase;
    p += run;
    n -= run;
  }
  return adler_scalar(static_cast<std::uint32_t>(s2 << 16 | s1), p, n);
}

#endif

}  // namespace

namespace checksum_detail {

std::uint32_t crc32_sliced(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  return ~crc_register_sliced(~crc, bytes.data(), bytes.size());
}

std::uint32_t adler32_scalar(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
  return adler_scalar(adler, bytes.data(), bytes.size());
}

bool has_vector_checksums() {
#ifdef VELMORA_X86_CHECKSUMS
  static const bool available = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
  return available;
#else
  return false;
#endif
}

std::uint32_t crc32_clmul(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  std::uint32_t reg = ~crc;
  const std::uint8_t* p = bytes.data();
  std::size_t n = bytes.size();
#ifdef VELMORA_X86_CHECKSUMS
  if (n >= 64) reg = crc_register_clmul(reg, p, n);
#endif
  return ~crc_register_sliced(reg, p, n);
}

std::uint32_t adler32_ssse3(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
#ifdef VELMORA_X86_CHECKSUMS
  return adler_ssse3(adler, bytes.data(), bytes.size());
#else
  return adler_scalar(adler, bytes.data(), bytes.size());
#endif
}

}  // namespace checksum_detail

std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  return checksum_detail::has_vector_checksums() ? checksum_detail::crc32_clmul(crc, bytes)
                                                 : checksum_detail::crc32_sliced(crc, bytes);
}

std::uint32_t adler32_update(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
  return checksum_detail::has_vector_checksums() ? checksum_detail::adler32_ssse3(adler, bytes)
                                                 : checksum_detail::adler32_scalar(adler, bytes);
}

}  // namespace velmora
