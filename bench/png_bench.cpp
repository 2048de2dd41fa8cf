// encode_png against libpng at compression level 0 without filtering (the
// same stored-block layout) and against plain copies of the same bytes.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "bench_photo.h"
#include "output/checksum.h"
#include "output/png.h"

namespace velmora::bench {
namespace {

void set_bytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(scene_image().pixels.size()));
}

void BM_EncodePng(benchmark::State& state) {
  const RgbImage& image = scene_image();
  for (auto _ : state) {
    std::vector<std::uint8_t> file = encode_png(image);
    benchmark::DoNotOptimize(file.data());
  }
  set_bytes(state);
}
BENCHMARK(BM_EncodePng);

void append_to_vector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

std::vector<std::uint8_t> libpng_encode(const RgbImage& image) {
  std::vector<std::uint8_t> out;
  out.reserve(image.pixels.size() + 1024);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng failed");
  }
  png_set_write_fn(png, &out, append_to_vector, nullptr);
  png_set_compression_level(png, 0);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  const std::size_t row_bytes = static_cast<std::size_t>(image.width) * 3;
  for (std::int32_t y = 0; y < image.height; ++y) {
    png_write_row(png, const_cast<png_bytep>(image.pixels.data() + y * row_bytes));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

void BM_LibpngLevel0NoFilter(benchmark::State& state) {
  const RgbImage& image = scene_image();
  for (auto _ : state) {
    std::vector<std::uint8_t> file = libpng_encode(image);
    benchmark::DoNotOptimize(file.data());
  }
  set_bytes(state);
}
BENCHMARK(BM_LibpngLevel0NoFilter);

// The floor: the pixel bytes copied into a buffer that already exists.
void BM_MemcpyPixels(benchmark::State& state) {
  const RgbImage& image = scene_image();
  std::vector<std::uint8_t> target(image.pixels.size());
  for (auto _ : state) {
    std::memcpy(target.data(), image.pixels.data(), image.pixels.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  set_bytes(state);
}
BENCHMARK(BM_MemcpyPixels);

// The same copy into a new buffer, as encode_png returns one.
void BM_CopyPixelsToNewVector(benchmark::State& state) {
  const RgbImage& image = scene_image();
  for (auto _ : state) {
    std::vector<std::uint8_t> copy(image.pixels.begin(), image.pixels.end());
    benchmark::DoNotOptimize(copy.data());
  }
  set_bytes(state);
}
BENCHMARK(BM_CopyPixelsToNewVector);

void BM_Crc32(benchmark::State& state) {
  const auto& pixels = scene_image().pixels;
  for (auto _ : state) benchmark::DoNotOptimize(crc32_update(0, pixels));
  set_bytes(state);
}
BENCHMARK(BM_Crc32);

void BM_Adler32(benchmark::State& state) {
  const auto& pixels = scene_image().pixels;
  for (auto _ : state) benchmark::DoNotOptimize(adler32_update(1, pixels));
  set_bytes(state);
}
BENCHMARK(BM_Adler32);

void BM_Crc32Adler32OnePass(benchmark::State& state) {
  const auto& pixels = scene_image().pixels;
  for (auto _ : state) {
    std::uint32_t crc = 0, adler = 1;
    crc32_adler32_update(crc, adler, pixels);
    benchmark::DoNotOptimize(crc);
    benchmark::DoNotOptimize(adler);
  }
  set_bytes(state);
}
BENCHMARK(BM_Crc32Adler32OnePass);

}  // namespace
}  // namespace velmora::bench
