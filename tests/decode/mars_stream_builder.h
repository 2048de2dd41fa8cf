#pragma once
// Writes test streams bit by bit, most significant bit first, so vectors can
// be spelled as 0b literals in stream order.

#include <cstdint>
#include <vector>

namespace velmora::test {

class StreamBuilder {
 public:
  StreamBuilder& bits(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      if (used_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1u) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> (used_ % 8));
      ++used_;
    }
    return *this;
  }
  StreamBuilder& seed(std::uint8_t value) { return bits(value, 8); }
  StreamBuilder& zeros(int count) {
    for (int i = 0; i < count; ++i) bits(0, 1);
    return *this;
  }
  std::vector<std::uint8_t> bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  int used_ = 0;
};

}  // namespace velmora::test
