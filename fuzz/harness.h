#pragma once
// A broken invariant aborts with its description (a finding for libFuzzer, a
// failure for the replay test); the input reader gives zeros once it runs out.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace velmora::fuzzing {

inline void require(bool holds, const std::string& what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::abort();
}

inline void require(const std::string& problem) { require(problem.empty(), problem); }

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::size_t u16() {  // little-endian; the two reads in this order on every compiler
    const std::size_t low = byte();
    return low | std::size_t{byte()} << 8;
  }
  std::vector<std::uint8_t> bytes(std::size_t n) {
    n = std::min(n, size_ - at_);
    at_ += n;
    return {data_ + at_ - n, data_ + at_};
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace velmora::fuzzing
