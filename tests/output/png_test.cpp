#include "output/png.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/failure.h"
#include "output/checksum.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

using Bytes = std::vector<std::uint8_t>;

RgbImage make_image(std::int32_t width, std::int32_t height, std::uint32_t seed = 1) {
  RgbImage image{width, height, Bytes(static_cast<std::size_t>(width) * height * 3)};
  for (auto& byte : image.pixels) {
    seed = seed * 1664525 + 1013904223;
    byte = static_cast<std::uint8_t>(seed >> 24);
  }
  return image;
}

std::uint32_t be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

struct Chunk {
  std::string type;
  Bytes data;
  bool crc_ok;
};

std::vector<Chunk> chunks_of(const Bytes& file) {
  std::vector<Chunk> chunks;
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const std::uint32_t length = be32(&file[at]);
    Chunk chunk{std::string(file.begin() + at + 4, file.begin() + at + 8),
                Bytes(file.begin() + at + 8, file.begin() + at + 8 + length), false};
    const std::uint32_t crc = crc32_update(0, std::span(file.data() + at + 4, length + 4));
    chunk.crc_ok = crc == be32(&file[at + 8 + length]);
    chunks.push_back(std::move(chunk));
    at += 12 + length;
  }
  return chunks;
}

struct Block {
  bool final;
  std::uint16_t length;
  bool operator==(const Block&) const = default;
};

struct Inflated {
  std::vector<Block> blocks;
  Bytes data;
  std::uint32_t adler = 0;
  bool complement_ok = true;
};

// Walks a zlib stream made of stored blocks only.
Inflated inflate_stored(const Bytes& zlib) {
  Inflated out;
  std::size_t at = 2;
  for (;;) {
    const bool final = zlib.at(at) == 1;
    const std::uint16_t length = static_cast<std::uint16_t>(zlib.at(at + 1) | zlib.at(at + 2) << 8);
    const std::uint16_t complement = static_cast<std::uint16_t>(zlib.at(at + 3) | zlib.at(at + 4) << 8);
    out.complement_ok = out.complement_ok && complement == static_cast<std::uint16_t>(~length);
    out.blocks.push_back({final, length});
    out.data.insert(out.data.end(), zlib.begin() + at + 5, zlib.begin() + at + 5 + length);
    at += 5 + length;
    if (final) break;
  }
  out.adler = be32(&zlib.at(at));
  EXPECT_EQ(at + 4, zlib.size());
  return out;
}

Bytes scanlines_of(const RgbImage& image) {
  Bytes out;
  const std::size_t row = static_cast<std::size_t>(image.width) * 3;
  for (std::int32_t y = 0; y < image.height; ++y) {
    out.push_back(0);
    out.insert(out.end(), image.pixels.begin() + y * row, image.pixels.begin() + (y + 1) * row);
  }
  return out;
}

TEST(EncodePng, OneRedPixel) {
  const Bytes expected = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A,                                      // signature
      0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,                                      // IHDR
      0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00, 0x00,        // 1x1, 8-bit RGB
      0x90, 0x77, 0x53, 0xDE,                                                              //
      0x00, 0x00, 0x00, 0x0F, 0x49, 0x44, 0x41, 0x54,                                      // IDAT
      0x78, 0x01,                                                                          // zlib header
      0x01, 0x04, 0x00, 0xFB, 0xFF, 0x00, 0xFF, 0x00, 0x00,                                // final stored block
      0x03, 0x01, 0x01, 0x00,                                                              // Adler-32
      0x8D, 0x1D, 0xE5, 0x82,                                                              //
      0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};             // IEND
  EXPECT_EQ(encode_png(RgbImage{1, 1, {255, 0, 0}}), expected);
}

TEST(EncodePng, TwoByTwo) {
  // Scanlines 00 01..06 00 07..0c: a = 1 + 78 = 79, b = 399 (the running a summed).
  const Bytes expected = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A,                                      //
      0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,                                      //
      0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00,        //
      0xFD, 0xD4, 0x9A, 0x73,                                                              //
      0x00, 0x00, 0x00, 0x19, 0x49, 0x44, 0x41, 0x54, 0x78, 0x01,                          //
      0x01, 0x0E, 0x00, 0xF1, 0xFF,                                                        //
      0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,  //
      0x01, 0x8F, 0x00, 0x4F,                                                              //
      0x9E, 0x35, 0x89, 0x49,                                                              //
      0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  EXPECT_EQ(encode_png(RgbImage{2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}), expected);
}

TEST(EncodePng, RejectsInconsistentBuffers) {
  const struct {
    const char* name;
    RgbImage image;
  } cases[] = {
      {"zero width", {0, 1, {}}},
      {"zero height", {1, 0, {}}},
      {"negative width", {-1, -1, Bytes(3)}},
      {"one byte short", {2, 2, Bytes(11)}},
      {"one byte long", {2, 2, Bytes(13)}},
      {"empty buffer", {2, 2, {}}},
  };
  for (const auto& c : cases) {
    EXPECT_THAT([&] { encode_png(c.image); }, ThrowsMessage<Failure>(StrEq("Invalid RGB image buffer"))) << c.name;
  }
}

// (width * 3 + 1) * height scanline bytes, cut into blocks of at most 65535.
TEST(EncodePng, StoredBlocksSplitAt65535) {
  const struct {
    std::int32_t width, height;
    std::vector<Block> blocks;
  } cases[] = {
      {28, 771, {{true, 65535}}},                                  // 85 * 771 = 65535
      {85, 256, {{false, 65535}, {true, 1}}},                      // 256 * 256 = 65536
      {1, 32768, {{false, 65535}, {false, 65535}, {true, 2}}},     // 4 * 32768 = 131072
      {28, 1542, {{false, 65535}, {true, 65535}}},                 // exactly two full blocks
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    const RgbImage image = make_image(c.width, c.height);
    const Bytes file = encode_png(image);
    const auto chunks = chunks_of(file);
    ASSERT_EQ(chunks.size(), 3u);
    ASSERT_EQ(chunks[1].type, "IDAT");
    const Inflated inflated = inflate_stored(chunks[1].data);
    EXPECT_EQ(inflated.blocks, c.blocks);
    EXPECT_TRUE(inflated.complement_ok);
    EXPECT_EQ(inflated.data, scanlines_of(image));
    EXPECT_EQ(inflated.adler, adler32_update(1, inflated.data));
  }
}

TEST(EncodePng, FullSizePhotoLayout) {
  const RgbImage image = make_image(640, 480);
  const Bytes file = encode_png(image);
  EXPECT_EQ(file.size(), 922218u);
  const auto chunks = chunks_of(file);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(chunks[1].type, "IDAT");
  EXPECT_EQ(chunks[2].type, "IEND");
  for (const Chunk& chunk : chunks) EXPECT_TRUE(chunk.crc_ok) << chunk.type;
  EXPECT_EQ(chunks[1].data[0], 0x78);
  EXPECT_EQ(chunks[1].data[1], 0x01);
  const Inflated inflated = inflate_stored(chunks[1].data);
  EXPECT_EQ(inflated.blocks.size(), 15u);
  EXPECT_EQ(inflated.data.size(), 922080u);
  EXPECT_EQ(inflated.data, scanlines_of(image));
  EXPECT_EQ(inflated.adler, adler32_update(1, inflated.data));
  const Bytes iend = {0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  EXPECT_EQ(Bytes(file.end() - 12, file.end()), iend);
}

// An independent reader's verdict, where pngcheck is installed.
TEST(EncodePng, PngcheckAcceptsTheFiles) {
#ifdef _WIN32
  GTEST_SKIP() << "pngcheck runs in the native build";
#else
  if (std::system("command -v pngcheck >/dev/null 2>&1") != 0) GTEST_SKIP() << "pngcheck is not installed";
  const test::TempDir dir;
  const std::pair<std::int32_t, std::int32_t> sizes[] = {{1, 1}, {2, 2}, {85, 256}, {640, 480}, {1, 40000}};
  for (const auto& [width, height] : sizes) {
    const auto path = dir.path() / (std::to_string(width) + "x" + std::to_string(height) + ".png");
    const Bytes file = encode_png(make_image(width, height, static_cast<std::uint32_t>(width * height)));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    EXPECT_EQ(std::system(("pngcheck -q '" + path.string() + "' >/dev/null").c_str()), 0) << path;
  }
#endif
}

}  // namespace
}  // namespace velmora
