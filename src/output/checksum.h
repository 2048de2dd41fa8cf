#pragma once
// The two checksums of a PNG file: CRC-32 of every chunk (reflected polynomial
// 0xEDB88320) and Adler-32 of the zlib stream. Both continue a running value,
// so a stream can be summed piece by piece: crc32_update(0, ...) and
// adler32_update(1, ...) start a new one.

#include <cstdint>
#include <span>

namespace velmora {

// The portable forms, a table-driven CRC and a plain Adler sum. The PNG
// writer sums only a few header bytes with them.
std::uint32_t crc32_update(std::uint32_t crc, std::span<const std::uint8_t> bytes);
std::uint32_t adler32_update(std::uint32_t adler, std::span<const std::uint8_t> bytes);
// Both over the same bytes: the pixel data. Takes the 128-bit carry-less
// multiply form where the processor has it (every x86-64 one of the last
// fifteen years), else the portable forms.
void crc32_adler32_update(std::uint32_t& crc, std::uint32_t& adler, std::span<const std::uint8_t> bytes);

namespace checksum_detail {
// The vector form itself, so tests hold it against the definitions on every
// machine; on other processors it is the portable form.
void crc32_adler32_clmul(std::uint32_t& crc, std::uint32_t& adler, std::span<const std::uint8_t> bytes);
}  // namespace checksum_detail

}  // namespace velmora
