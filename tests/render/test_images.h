#pragma once
// Small images for the render tests.

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "render/rgb_image.h"

namespace velmora::test {

// A width x height image whose every pixel is gray (r = g = b), values row by row.
inline RgbImage gray_image(std::int32_t width, std::int32_t height, std::initializer_list<int> values) {
  RgbImage image{width, height, {}};
  for (int v : values) {
    for (int ch = 0; ch < 3; ++ch) image.pixels.push_back(static_cast<std::uint8_t>(v));
  }
  return image;
}

// The red channel of each pixel (enough for gray images).
inline std::vector<int> reds(const RgbImage& image) {
  std::vector<int> out;
  for (std::size_t i = 0; i < image.pixels.size(); i += 3) out.push_back(image.pixels[i]);
  return out;
}

inline std::vector<int> bytes_of(const RgbImage& image) { return {image.pixels.begin(), image.pixels.end()}; }

// A raw photo header whose byte 7 is byte7, followed by samples.
inline std::vector<std::uint8_t> raw_photo(std::uint8_t byte7, const std::vector<std::uint8_t>& samples = {}) {
  std::vector<std::uint8_t> raw(12 + samples.size(), 0);
  raw[7] = byte7;
  for (std::size_t i = 0; i < samples.size(); ++i) raw[12 + i] = samples[i];
  return raw;
}

}  // namespace velmora::test
