#pragma once
// The two checksums of a PNG file: CRC-32 of every chunk (reflected polynomial
// 0xEDB88320) and Adler-32 of the zlib stream. Both continue a running value,
// so a stream can be summed piece by piece: crc32_update(0, ...) and
// adler32_update(1, ...) start a new one.

#include <cstdint>
#include <span>

namespace velmora {

std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes);
std::uint32_t adler32_update(std::uint32_t adler, std::span<const std::uint8_t> bytes);
// Both over the same bytes, in one pass where the machine allows.
void crc32_adler32_update(std::uint32_t& crc, std::uint32_t& adler, std::span<const std::uint8_t> bytes);

// The individual implementations behind the two functions above, exposed so
// tests can hold each one against a bit-by-bit reference. The 128-bit vector
// forms run only where has_vector_checksums() is true, the 512-bit ones only
// where has_wide_checksums() is.
namespace checksum_detail {

std::uint32_t crc32_sliced(std::uint32_t crc, std::span<const std::uint8_t> bytes);
std::uint32_t adler32_scalar(std::uint32_t adler, std::span<const std::uint8_t> bytes);

bool has_vector_checksums();
std::uint32_t crc32_clmul(std::uint32_t crc, std::span<const std::uint8_t> bytes);
std::uint32_t adler32_ssse3(std::uint32_t adler, std::span<const std::uint8_t> bytes);
void crc32_adler32_clmul(std::uint32_t& crc, std::uint32_t& adler, std::span<const std::uint8_t> bytes);

bool has_wide_checksums();
std::uint32_t crc32_wide(std::uint32_t crc, std::span<const std::uint8_t> bytes);
std::uint32_t adler32_wide(std::uint32_t adler, std::span<const std::uint8_t> bytes);
void crc32_adler32_wide(std::uint32_t& crc, std::uint32_t& adler, std::span<const std::uint8_t> bytes);

}  // namespace checksum_detail
}  // namespace velmora
