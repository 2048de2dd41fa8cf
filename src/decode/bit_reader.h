#pragma once
// Most-significant-bit-first reader over a byte buffer: stream bit i is bit
// (7 - i % 8) of byte i / 8. Callers check remaining() before every read;
// the reader itself never bounds-checks.

#include <cstddef>
#include <cstdint>
#include <span>

namespace velmora {

class MsbBitReader {
 public:
  MsbBitReader(std::span<const std::uint8_t> bytes, std::size_t start_bit) : bytes_(bytes), pos_(start_bit) {}

  std::size_t remaining() const { return bytes_.size() * 8 - pos_; }

  // The next `count` bits (at most 8) as an unsigned number, not consumed.
  // Read from a two-byte window; the second byte is only needed (and only
  // read) when the bits run into it.
  std::uint32_t peek(int count) const {
    const std::size_t byte = pos_ >> 3;
    std::uint32_t window = static_cast<std::uint32_t>(bytes_[byte]) << 8;
    if (byte + 1 < bytes_.size()) window |= bytes_[byte + 1];
    return (window >> (16 - static_cast<int>(pos_ & 7) - count)) & ((1u << count) - 1u);
  }

  // The next 32 bits, the first in the top bit, not consumed. Only while
  // remaining() >= 32.
  std::uint32_t window32() const {
    const std::uint8_t* p = bytes_.data() + (pos_ >> 3);
    const std::uint32_t word = (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
                               (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
    return word << (pos_ & 7);
  }

  void skip(int count) { pos_ += static_cast<std::size_t>(count); }

  std::uint32_t read(int count) {
    const std::uint32_t value = peek(count);
    skip(count);
    return value;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_;
};

}  // namespace velmora
