#include "output/checksum.h"

#include <algorithm>
#include <array>
#include <cstddef>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VELMORA_X86_CHECKSUMS 1
#include <immintrin.h>
#endif

// Both forms compute exactly the bit-by-bit definitions; the vector form only
// processes more bytes per step.

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
    reg = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^ t[11][b & 0xFF] ^
          t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^ t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^
          t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^ t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^
          t[0][d >> 24];
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
constexpr std::uint64_t kFold64 = 0x0163cd6124;                               // x^64 mod P(x)
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

// The sum of the four 32-bit lanes.
inline std::uint64_t lane_sum(__m128i v) {
  const __m128i pairs = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, 0xB1))));
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
  adler = adler_scalar(static_cast<std::uint32_t>(s2 << 16 | s1), p, n);

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

#endif

}  // namespace

namespace checksum_detail {

void crc32_adler32_clmul(std::uint32_t& crc, std::uint32_t& adler, std::span<const std::uint8_t> bytes) {
#ifdef VELMORA_X86_CHECKSUMS
  if (bytes.size() >= 128) {
    crc = ~crc_adler_clmul(~crc, adler, bytes.data(), bytes.size());
    return;
  }
#endif
  crc = crc32_update(crc, bytes);
  adler = adler32_update(adler, bytes);
}

}  // namespace checksum_detail

std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  return ~crc_register_sliced(~crc, bytes.data(), bytes.size());
}

std::uint32_t adler32_update(std::uint32_t adler, std::span<const std::uint8_t> bytes) {
  return adler_scalar(adler, bytes.data(), bytes.size());
}

void crc32_adler32_update(std::uint32_t& crc, std::uint32_t& adler, std::span<const std::uint8_t> bytes) {
#ifdef VELMORA_X86_CHECKSUMS
  static const bool has_clmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
  if (has_clmul) {
    checksum_detail::crc32_adler32_clmul(crc, adler, bytes);
    return;
  }
#endif
  crc = crc32_update(crc, bytes);
  adler = adler32_update(adler, bytes);
}

}  // namespace velmora
