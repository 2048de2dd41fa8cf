#include "output/png.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <span>

#include "base/failure.h"
#include "output/checksum.h"

// The file is written front to back in one pass: each stored block is copied
// straight from the pixels into its final place and summed while it is still
// in cache, instead of building the scanlines and the zlib stream as separate
// buffers first. The bytes are the same either way.

namespace velmora {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::array<std::uint8_t, 2> kZlibHeader = {0x78, 0x01};  // deflate, 32K window, no dictionary
constexpr std::uint64_t kMaxStoredBlock = 65535;
constexpr std::uint64_t kStoredBlockHeader = 5;
// PNG chunk lengths are limited to 2^31 - 1; a longer IDAT cannot be written
// with its true length.
constexpr std::uint64_t kMaxChunkLength = 0x7FFFFFFF;

void put_be32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                                 static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  out.insert(out.end(), bytes, bytes + 4);
}

// One chunk: length, type, data, CRC-32 of type and data. The data may be
// appended piece by piece; its length is declared up front.
class ChunkWriter {
 public:
  ChunkWriter(std::vector<std::uint8_t>& out, const char (&type)[5], std::uint32_t length)
      : out_(out), length_(length) {
    put_be32(out_, length);
    summed_ = out_.size();
    out_.insert(out_.end(), type, type + 4);
    data_start_ = out_.size();
  }

  void append(std::span<const std::uint8_t> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

  // Takes everything appended since the last call into the CRC.
  void checksum_appended() {
    crc_ = crc32_update(crc_, appended());
    summed_ = out_.size();
  }

  // The same, summing the bytes into adler too in the same pass.
  void checksum_appended(std::uint32_t& adler) {
    crc32_adler32_update(crc_, adler, appended());
    summed_ = out_.size();
  }

  void finish() {
    assert(out_.size() - data_start_ == length_);
    checksum_appended();
    put_be32(out_, crc_);
  }

 private:
  std::span<const std::uint8_t> appended() const { return std::span(out_.data() + summed_, out_.size() - summed_); }

  std::vector<std::uint8_t>& out_;
  [[maybe_unused]] std::uint32_t length_;  // checked in debug builds
  std::size_t data_start_ = 0;
  std::size_t summed_ = 0;
  std::uint32_t crc_ = 0;
};

// The filtered scanlines as one stream: per row a filter byte 0, then the
// row's pixel bytes.
class Scanlines {
 public:
  explicit Scanlines(const RgbImage& image)
      : pixels_(image.pixels.data()), row_bytes_(static_cast<std::size_t>(image.width) * 3) {}

  void append_next(std::vector<std::uint8_t>& out, std::size_t count) {
    while (count > 0) {
      if (column_ == 0) {
        out.push_back(0);
        column_ = 1;
        --count;
        continue;
      }
      const std::size_t take = std::min(count, row_bytes_ + 1 - column_);
      const std::uint8_t* from = pixels_ + row_ * row_bytes_ + (column_ - 1);
      out.insert(out.end(), from, from + take);
      column_ += take;
      count -= take;
      if (column_ == row_bytes_ + 1) {
        column_ = 0;
        ++row_;
      }
    }
  }

 private:
  const std::uint8_t* pixels_;
  std::size_t row_bytes_;
  std::size_t row_ = 0;
  std::size_t column_ = 0;  // 0: the filter byte is next
};

void append_ihdr(std::vector<std::uint8_t>& out, const RgbImage& image) {
  std::vector<std::uint8_t> data;
  put_be32(data, static_cast<std::uint32_t>(image.width));
  put_be32(data, static_cast<std::uint32_t>(image.height));
  const std::uint8_t rest[5] = {8, 2, 0, 0, 0};  // bit depth, truecolour, deflate, filter 0, no interlace
  data.insert(data.end(), rest, rest + 5);
  ChunkWriter chunk(out, "IHDR", static_cast<std::uint32_t>(data.size()));
  chunk.append(data);
  chunk.finish();
}

void append_idat(std::vector<std::uint8_t>& out, const RgbImage& image, std::uint64_t scanline_length,
                 std::uint64_t zlib_length) {
  ChunkWriter chunk(out, "IDAT", static_cast<std::uint32_t>(zlib_length));
  chunk.append(kZlibHeader);
  Scanlines scanlines(image);
  std::uint32_t adler = 1;
  for (std::uint64_t remaining = scanline_length; remaining > 0;) {
    const auto block = static_cast<std::uint16_t>(std::min(remaining, kMaxStoredBlock));
    remaining -= block;
    const auto inverse = static_cast<std::uint16_t>(~block);
    const std::uint8_t header[5] = {static_cast<std::uint8_t>(remaining == 0 ? 1 : 0), static_cast<std::uint8_t>(block),
                                    static_cast<std::uint8_t>(block >> 8), static_cast<std::uint8_t>(inverse),
                                    static_cast<std::uint8_t>(inverse >> 8)};
    chunk.append(header);
    chunk.checksum_appended();
    scanlines.append_next(out, block);
    chunk.checksum_appended(adler);
  }
  const std::uint8_t trailer[4] = {static_cast<std::uint8_t>(adler >> 24), static_cast<std::uint8_t>(adler >> 16),
                                   static_cast<std::uint8_t>(adler >> 8), static_cast<std::uint8_t>(adler)};
  chunk.append(trailer);
  chunk.finish();
}

void append_iend(std::vector<std::uint8_t>& out) {
  ChunkWriter chunk(out, "IEND", 0);
  chunk.finish();
}

}  // namespace

void encode_png(const RgbImage& image, std::vector<std::uint8_t>& out) {
  if (image.width < 1 || image.height < 1 ||
      image.pixels.size() != static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height) * 3) {
    throw Failure("Invalid RGB image buffer");
  }
  const std::uint64_t scanline_length =
      (static_cast<std::uint64_t>(image.width) * 3 + 1) * static_cast<std::uint64_t>(image.height);
  const std::uint64_t blocks = (scanline_length + kMaxStoredBlock - 1) / kMaxStoredBlock;
  const std::uint64_t zlib_length = kZlibHeader.size() + blocks * kStoredBlockHeader + scanline_length + 4;
  if (zlib_length > kMaxChunkLength) throw Failure("Invalid RGB image buffer");

  const std::uint64_t file_length = kSignature.size() + 25 + (12 + zlib_length) + 12;
  out.clear();
  out.reserve(static_cast<std::size_t>(file_length));
  out.insert(out.end(), kSignature.begin(), kSignature.end());
  append_ihdr(out, image);
  append_idat(out, image, scanline_length, zlib_length);
  append_iend(out);
  assert(out.size() == file_length);
}

std::vector<std::uint8_t> encode_png(const RgbImage& image) {
  std::vector<std::uint8_t> out;
  encode_png(image, out);
  return out;
}

}  // namespace velmora
