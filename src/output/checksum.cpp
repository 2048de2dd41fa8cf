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

// Folding constants: x^(d+32) and x^(d-32) mod P(x) for a fold over d bits,
// bit-reflected and shifted left by one, low and high quadword.
constexpr std::uint64_t kFold128Low = 0x01751997d0, kFold128High = 0x00ccaa009e;
constexpr std::uint64_t kFold1024Low = 0x01e88ef372, kFold1024High = 0x014a7fe880;
constexpr std::uint64_t kFold2048Low = 0x011542778a, kFold2048High = 0x01322d1430;
constexpr std::uint64_t kFold64 = 0x0163cd6124;                          // x^64 mod P(x)
constexpr std::uint64_t kBarrettP = 0x01db710641, kBarrettMu = 0x01f7011641;  // P(x), x^64 div P(x)

#define VELMORA_TARGET_CLMUL __attribute__((target("pclmul,sse2")))

VELMORA_TARGET_CLMUL inline __m128i load128(const std::uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x * k (both halves) + next: carries x forward over the distance k stands for.
VELMORA_TARGET_CLMUL inline __m128i fold(__m128i x, __m128i k, __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

// Folds whole 16-byte pieces into x, then reduces x (the register's 128-bit
// remainder so far) to the 32-bit register.
VELMORA_TARGET_CLMUL std::uint32_t finish_clmul(__m128i x, const std::uint8_t*& p, std::size_t& n) {
  const __m128i k128 = _mm_set_epi64x(kFold128High, kFold128Low);
  const __m128i k64 = _mm_set_epi64x(0, kFold64);
  const __m128i barrett = _mm_set_epi64x(kBarrettMu, kBarrettP);
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
  for (; n >= 16; p += 16, n -= 16) x = fold(x, k128, load128(p));
  // 128 -> 64 bits.
  x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, k128, 0x10));
  // 64 -> 32 bits.
  x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), k64, 0x00), _mm_srli_si128(x, 4));
  // Barrett reduction.
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(_mm_xor_si128(x, t), 4)));
}

// Eight 128-bit lanes folded 128 bytes at a time. Needs n >= 128; leaves
// fewer than 16 bytes.
VELMORA_TARGET_CLMUL std::uint32_t crc_register_clmul(std::uint32_t reg, const std::uint8_t*& p, std::size_t& n) {
  const __m128i k1024 = _mm_set_epi64x(kFold1024High, kFold1024Low);
  const __m128i k128 = _mm_set_epi64x(kFold128High, kFold128Low);
  __m128i x0 = _mm_xor_si128(load128(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = load128(p + 16), x2 = load128(p + 32), x3 = load128(p + 48);
  __m128i x4 = load128(p + 64), x5 = load128(p + 80), x6 = load128(p + 96), x7 = load128(p + 112);
  for (p += 128, n -= 128; n >= 128; p += 128, n -= 128) {
    x0 = fold(x0, k1024, load128(p));
    x1 = fold(x1, k1024, load128(p + 16));
    x2 = fold(x2, k1024, load128(p + 32));
    x3 = fold(x3, k1024, load128(p + 48));
    x4 = fold(x4, k1024, load128(p + 64));
    x5 = fold(x5, k1024, load128(p + 80));
    x6 = fold(x6, k1024, load128(p + 96));
    x7 = fold(x7, k1024, load128(p + 112));
  }
  __m128i x = fold(x0, k128, x1);
  x = fold(x, k128, x2);
  x = fold(x, k128, x3);
  x = fold(x, k128, x4);
  x = fold(x, k128, x5);
  x = fold(x, k128, x6);
  x = fold(x, k128, x7);
  return finish_clmul(x, p, n);
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

// Both checksums in one pass over 128-bit registers: eight CRC lanes and the
// Adler sums of the same loads. Needs n >= 128; returns the CRC register.
__attribute__((target("pclmul,ssse3"))) std::uint32_t crc_adler_clmul(std::uint32_t reg, std::uint32_t& adler,
                                                                      const std::uint8_t* p, std::size_t n) {
  constexpr std::size_t kRun = kAdlerMaxRun / 128 * 128;
  const __m128i k1024 = _mm_set_epi64x(kFold1024High, kFold1024Low);
  const __m128i k128 = _mm_set_epi64x(kFold128High, kFold128Low);
  const __m128i weights_first = _mm_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17);
  const __m128i weights_second = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const __m128i ones = _mm_set1_epi16(1);
  const __m128i zero = _mm_setzero_si128();
  std::uint64_t s1 = adler & 0xFFFF;
  std::uint64_t s2 = adler >> 16;
  __m128i sum_before = zero, sum = zero, weighted = zero;
  std::size_t in_run = 0;
  // One 32-byte Adler step over a and b.
  const auto adler_step = [&](__m128i a, __m128i b) __attribute__((target("pclmul,ssse3"))) {
    sum_before = _mm_add_epi32(sum_before, sum);
    sum = _mm_add_epi32(sum, _mm_add_epi32(_mm_sad_epu8(a, zero), _mm_sad_epu8(b, zero)));
    weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(a, weights_first), ones));
    weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(b, weights_second), ones));
  };
  const auto end_run = [&]() {
    s2 += s1 * in_run + 32 * lane_sum(sum_before) + lane_sum(weighted);
    s1 += lane_sum(sum);
    s1 %= kAdlerBase;
    s2 %= kAdlerBase;
    sum_before = sum = weighted = zero;
    in_run = 0;
  };

  __m128i v0 = load128(p), v1 = load128(p + 16), v2 = load128(p + 32), v3 = load128(p + 48);
  __m128i v4 = load128(p + 64), v5 = load128(p + 80), v6 = load128(p + 96), v7 = load128(p + 112);
  adler_step(v0, v1);
  adler_step(v2, v3);
  adler_step(v4, v5);
  adler_step(v6, v7);
  __m128i x0 = _mm_xor_si128(v0, _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = v1, x2 = v2, x3 = v3, x4 = v4, x5 = v5, x6 = v6, x7 = v7;
  in_run = 128;
  for (p += 128, n -= 128; n >= 128; p += 128, n -= 128) {
    if (in_run == kRun) end_run();
    v0 = load128(p), v1 = load128(p + 16), v2 = load128(p + 32), v3 = load128(p + 48);
    v4 = load128(p + 64), v5 = load128(p + 80), v6 = load128(p + 96), v7 = load128(p + 112);
    x0 = fold(x0, k1024, v0);
    x1 = fold(x1, k1024, v1);
    x2 = fold(x2, k1024, v2);
    x3 = fold(x3, k1024, v3);
    x4 = fold(x4, k1024, v4);
    x5 = fold(x5, k1024, v5);
    x6 = fold(x6, k1024, v6);
    x7 = fold(x7, k1024, v7);
    adler_step(v0, v1);
    adler_step(v2, v3);
    adler_step(v4, v5);
    adler_step(v6, v7);
    in_run += 128;
  }
  end_run();
  adler = adler_ssse3(static_cast<std::uint32_t>(s2 << 16 | s1), p, n);

  __m128i x = fold(x0, k128, x1);
  x = fold(x, k128, x2);
  x = fold(x, k128, x3);
  x = fold(x, k128, x4);
  x = fold(x, k128, x5);
  x = fold(x, k128, x6);
  x = fold(x, k128, x7);
  reg = finish_clmul(x, p, n);
  return crc_register_sliced(reg, p, n);
}

// 512-bit kernels. On 64-bit Windows the stack is only 16-byte aligned: GCC
// 12 spills 64-byte registers there with unaligned moves, while older MinGW
// compilers used aligned ones, which fault, so they go without. Each clears the upper register halves
// before it hands over to non-VEX code: GCC omits that on tail calls, and
// dirty upper halves slowed the 128-bit code after it several times over.
#if !defined(_WIN32) || defined(__clang__) || __GNUC__ >= 12
#define VELMORA_WIDE_CHECKSUMS 1
#define VELMORA_TARGET_WIDE __attribute__((target("avx512f,avx512bw,vpclmulqdq,pclmul")))

VELMORA_TARGET_WIDE inline __m512i load512(const std::uint8_t* at) { return _mm512_loadu_si512(at); }

VELMORA_TARGET_WIDE inline __m512i fold512(__m512i x, __m512i k, __m512i next) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00), _mm512_clmulepi64_epi128(x, k, 0x11),
                                   next, 0x96);  // three-way exclusive or
}

// Sixteen 128-bit lanes in four registers, folded 256 bytes at a time. Needs
// n >= 256; leaves fewer than 16 bytes.
VELMORA_TARGET_WIDE std::uint32_t crc_register_wide(std::uint32_t reg, const std::uint8_t*& p, std::size_t& n) {
  const __m512i k2048 = _mm512_set_epi64(kFold2048High, kFold2048Low, kFold2048High, kFold2048Low, kFold2048High,
                                         kFold2048Low, kFold2048High, kFold2048Low);
  __m512i z0 = _mm512_xor_si512(load512(p),
                                _mm512_inserti32x4(_mm512_setzero_si512(), _mm_cvtsi32_si128(static_cast<int>(reg)), 0));
  __m512i z1 = load512(p + 64), z2 = load512(p + 128), z3 = load512(p + 192);
  for (p += 256, n -= 256; n >= 256; p += 256, n -= 256) {
    z0 = fold512(z0, k2048, load512(p));
    z1 = fold512(z1, k2048, load512(p + 64));
    z2 = fold512(z2, k2048, load512(p + 128));
    z3 = fold512(z3, k2048, load512(p + 192));
  }
  alignas(64) std::uint8_t lanes[256];
  _mm512_store_si512(lanes, z0);
  _mm512_store_si512(lanes + 64, z1);
  _mm512_store_si512(lanes + 128, z2);
  _mm512_store_si512(lanes + 192, z3);
  const __m128i k128 = _mm_set_epi64x(kFold128High, kFold128Low);
  __m128i x = load128(lanes);
  for (int i = 1; i < 16; ++i) x = fold(x, k128, load128(lanes + 16 * i));
  const std::uint32_t result = finish_clmul(x, p, n);
  _mm256_zeroupper();
  return result;
}

VELMORA_TARGET_WIDE inline std::uint64_t lane_sum512(__m512i v) {
  alignas(64) std::uint32_t lanes[16];
  _mm512_store_si512(lanes, v);
  std::uint64_t total = 0;
  for (std::uint32_t lane : lanes) total += lane;
  return total;
}

VELMORA_TARGET_WIDE std::uint32_t adler_wide(std::uint32_t adler, const std::uint8_t* p, std::size_t n) {
  // Byte j of a 64-byte step is counted 64 - j times into s2.
  alignas(64) static constexpr std::uint8_t kWeights[64] = {
      64, 63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43,
      42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21,
      20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9,  8,  7,  6,  5,  4,  3,  2,  1};
  std::uint64_t s1 = adler & 0xFFFF;
  std::uint64_t s2 = adler >> 16;
  const __m512i weights = _mm512_load_si512(kWeights);
  const __m512i ones = _mm512_set1_epi16(1);
  const __m512i zero = _mm512_setzero_si512();
  while (n >= 64) {
    const std::size_t run = std::min(n, kAdlerMaxRun) & ~std::size_t{63};
    __m512i sum_before = zero;
    __m512i sum = zero;
    __m512i weighted = zero;
    for (std::size_t i = 0; i < run; i += 64) {
      const __m512i v = load512(p + i);
      sum_before = _mm512_add_epi32(sum_before, sum);
      sum = _mm512_add_epi32(sum, _mm512_sad_epu8(v, zero));
      weighted = _mm512_add_epi32(weighted, _mm512_madd_epi16(_mm512_maddubs_epi16(v, weights), ones));
    }
    s2 += s1 * run + 64 * lane_sum512(sum_before) + lane_sum512(weighted);
    s1 += lane_sum512(sum);
    s1 %= kAdlerBase;
    s2 %= kAdlerBase;
    p += run;
    n -= run;
  }
  _mm256_zeroupper();
  return adler_scalar(static_cast<std::uint32_t>(s2 << 16 | s1), p, n);
}

// Both checksums in one pass: every 64 bytes are loaded once and feed the
// CRC fold and the Adler sums. Needs n >= 256; returns the CRC register.
VELMORA_TARGET_WIDE std::uint32_t crc_adler_wide(std::uint32_t reg, std::uint32_t& adler, const std::uint8_t* p,
                                                 std::size_t n) {
  // Adler runs of whole 256-byte steps that stay within the overflow limit.
  constexpr std::size_t kRun = kAdlerMaxRun / 256 * 256;
  alignas(64) static constexpr std::uint8_t kWeights[64] = {
      64, 63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43,
      42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21,
      20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9,  8,  7,  6,  5,  4,  3,  2,  1};
  const __m512i k2048 = _mm512_set_epi64(kFold2048High, kFold2048Low, kFold2048High, kFold2048Low, kFold2048High,
                                         kFold2048Low, kFold2048High, kFold2048Low);
  const __m512i weights = _mm512_load_si512(kWeights);
  const __m512i ones = _mm512_set1_epi16(1);
  const __m512i zero = _mm512_setzero_si512();
  std::uint64_t s1 = adler & 0xFFFF;
  std::uint64_t s2 = adler >> 16;
  __m512i sum_before = zero, sum = zero, weighted = zero;
  std::size_t in_run = 0;
  auto end_run = [&]() VELMORA_TARGET_WIDE {
    s2 += s1 * in_run + 64 * lane_sum512(sum_before) + lane_sum512(weighted);
    s1 += lane_sum512(sum);
    s1 %= kAdlerBase;
    s2 %= kAdlerBase;
    sum_before = sum = weighted = zero;
    in_run = 0;
  };
  auto adler_step = [&](__m512i v) VELMORA_TARGET_WIDE {
    sum_before = _mm512_add_epi32(sum_before, sum);
    sum = _mm512_add_epi32(sum, _mm512_sad_epu8(v, zero));
    weighted = _mm512_add_epi32(weighted, _mm512_madd_epi16(_mm512_maddubs_epi16(v, weights), ones));
  };

  __m512i v0 = load512(p), v1 = load512(p + 64), v2 = load512(p + 128), v3 = load512(p + 192);
  adler_step(v0);
  adler_step(v1);
  adler_step(v2);
  adler_step(v3);
  __m512i z0 = _mm512_xor_si512(v0, _mm512_inserti32x4(zero, _mm_cvtsi32_si128(static_cast<int>(reg)), 0));
  __m512i z1 = v1, z2 = v2, z3 = v3;
  in_run = 256;
  for (p += 256, n -= 256; n >= 256; p += 256, n -= 256) {
    if (in_run == kRun) end_run();
    v0 = load512(p), v1 = load512(p + 64), v2 = load512(p + 128), v3 = load512(p + 192);
    z0 = fold512(z0, k2048, v0);
    z1 = fold512(z1, k2048, v1);
    z2 = fold512(z2, k2048, v2);
    z3 = fold512(z3, k2048, v3);
    adler_step(v0);
    adler_step(v1);
    adler_step(v2);
    adler_step(v3);
    in_run += 256;
  }
  end_run();
  adler = adler_wide(static_cast<std::uint32_t>(s2 << 16 | s1), p, n);

  alignas(64) std::uint8_t lanes[256];
  _mm512_store_si512(lanes, z0);
  _mm512_store_si512(lanes + 64, z1);
  _mm512_store_si512(lanes + 128, z2);
  _mm512_store_si512(lanes + 192, z3);
  const __m128i k128 = _mm_set_epi64x(kFold128High, kFold128Low);
  __m128i x = load128(lanes);
  for (int i = 1; i < 16; ++i) x = fold(x, k128, load128(lanes + 16 * i));
  reg = finish_clmul(x, p, n);
  _mm256_zeroupper();
  return crc_register_sliced(reg, p, n);
}

#endif  // VELMORA_WIDE_CHECKSUMS

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

bool has_wide_checksums() {
#ifdef VELMORA_WIDE_CHECKSUMS
  static const bool available = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                                __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("pclmul");
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
  if (n >= 128) reg = crc_register_clmul(reg, p, n);
#endif
  return ~crc_register_sliced(reg, p, n);
}

std::uint32_t crc32_wide(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
#ifdef VELMORA_WIDE_CHECKSUMS
  std::uint32_t reg = ~crc;
  const std::uint8_t* p = bytes.data();
  std::size_t n = bytes.size();
  if (n >= 256) {
    reg = crc_register_wide(reg, p, n);
  } else if (n >= 128) {
    reg = crc_register_clmul(reg, p, n);
  }
  return ~crc_register_sliced(reg, p, n);
#else
  return crc32_clmul(crc, bytes);
#endif
}

std::uint32_t adler32_ssse3(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
#ifdef VELMORA_X86_CHECKSUMS
  return adler_ssse3(adler, bytes.data(), bytes.size());
#else
  return adler_scalar(adler, bytes.data(), bytes.size());
#endif
}

std::uint32_t adler32_wide(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
#ifdef VELMORA_WIDE_CHECKSUMS
  return adler_wide(adler, bytes.data(), bytes.size());
#else
  return adler32_ssse3(adler, bytes);
#endif
}

void crc32_adler32_clmul(std::uint32_t& crc, std::uint32_t& adler, std::span<const std::uint8_t> bytes) {
#ifdef VELMORA_X86_CHECKSUMS
  if (bytes.size() >= 128) {
    crc = ~crc_adler_clmul(~crc, adler, bytes.data(), bytes.size());
    return;
  }
#endif
  crc = crc32_clmul(crc, bytes);
  adler = adler32_ssse3(adler, bytes);
}

void crc32_adler32_wide(std::uint32_t& crc, std::uint32_t& adler, std::span<const std::uint8_t> bytes) {
#ifdef VELMORA_WIDE_CHECKSUMS
  if (bytes.size() >= 256) {
    crc = ~crc_adler_wide(~crc, adler, bytes.data(), bytes.size());
    return;
  }
#endif
  crc = crc32_wide(crc, bytes);
  adler = adler32_wide(adler, bytes);
}

}  // namespace checksum_detail

std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  using namespace checksum_detail;
  if (has_wide_checksums()) return crc32_wide(crc, bytes);
  return has_vector_checksums() ? crc32_clmul(crc, bytes) : crc32_sliced(crc, bytes);
}

std::uint32_t adler32_update(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
  using namespace checksum_detail;
  if (has_wide_checksums()) return adler32_wide(adler, bytes);
  return has_vector_checksums() ? adler32_ssse3(adler, bytes) : adler32_scalar(adler, bytes);
}

void crc32_adler32_update(std::uint32_t& crc, std::uint32_t& adler, std::span<const std::uint8_t> bytes) {
  using namespace checksum_detail;
  if (has_wide_checksums()) {
    crc32_adler32_wide(crc, adler, bytes);
  } else if (has_vector_checksums()) {
    crc32_adler32_clmul(crc, adler, bytes);
  } else {
    crc = crc32_sliced(crc, bytes);
    adler = adler32_scalar(adler, bytes);
  }
}

}  // namespace velmora
