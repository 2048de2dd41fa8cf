#include <gtest/gtest.h>

#include "ops/session_log.h"

namespace velmora {
namespace {

TransferRecord record(std::uint64_t sequence, std::uint64_t ms, std::string direction, std::uint8_t endpoint,
                      std::uint64_t requested, std::vector<std::uint8_t> data, bool ok, std::uint32_t error,
                      std::string label) {
  TransferRecord r;
  r.sequence = sequence;
  r.elapsed_ms = ms;
  r.direction = std::move(direction);
  r.endpoint = endpoint;
  r.requested = requested;
  r.data = std::move(data);
  r.ok = ok;
  r.error_code = error;
  r.label = std::move(label);
  return r;
}

TEST(FormatUsbLog, EmptyLogGivesEmptyText) { EXPECT_EQ(format_usb_log(TransferLog{}), ""); }

TEST(FormatUsbLog, RecordsInOrderTwoLinesEach) {
  std::vector<std::uint8_t> hundred(100);
  for (std::size_t i = 0; i < hundred.size(); ++i) hundred[i] = static_cast<std::uint8_t>(i * 3);
  TransferLog log;
  log.append(record(2, 12, "OUT", 0x04, 1, {0x21}, true, 0, "INIT start 0x51 / request status"));
  log.append(record(3, 1500, "IN", 0x83, 16, {}, false, 121, "INIT start 0x51 / status response"));
  log.append(record(4, 0, "IN", 0x82, 8192, hundred, true, 0, "PHOTO data chunk 1"));
  log.append(record(5, 7, "IN", 0x82, 8192, std::vector<std::uint8_t>(64, 0xAB), true, 0, ""));

  std::string sixty_four;
  for (std::size_t i = 0; i < 64; ++i) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto b = static_cast<std::uint8_t>(i * 3);
    if (i) sixty_four += ' ';
    sixty_four += kHex[b >> 4];
    sixty_four += kHex[b & 15];
  }
  std::string ab;
  for (int i = 0; i < 64; ++i) ab += i ? " ab" : "ab";
  EXPECT_EQ(format_usb_log(log),
            "#2 +12ms OUT endpoint=04 requested=1 actual=1 OK error=0 INIT start 0x51 / request status\n"
            "  21\n"
            "#3 +1500ms IN endpoint=83 requested=16 actual=0 FAIL error=121 INIT start 0x51 / status response\n"
            "  \n"
            "#4 +0ms IN endpoint=82 requested=8192 actual=100 OK error=0 PHOTO data chunk 1\n"
            "  " + sixty_four + " ...\n"
            "#5 +7ms IN endpoint=82 requested=8192 actual=64 OK error=0 \n"
            "  " + ab + "\n");
}

TEST(HexBytesLimited, Boundaries) {
  const std::vector<std::uint8_t> bytes = {0x00, 0x0f, 0xf0, 0xff};
  EXPECT_EQ(hex_bytes_limited(bytes, 4), "00 0f f0 ff");
  EXPECT_EQ(hex_bytes_limited(bytes, 3), "00 0f f0 ...");
  EXPECT_EQ(hex_bytes_limited({}, 8), "");
}

PhotoEntry sample_entry() {
  PhotoEntry e;
  e.index = 6;
  e.pat_bytes = {0x22, 0x10, 0x00, 0x00, 0x00, 0xF0, 0x00, 0x00};
  e.compressed = true;
  e.size_bytes = 61440;
  e.width = 352;
  e.height = 288;
  return e;
}

TEST(MetadataText, SixLines) {
  const std::vector<std::uint8_t> stored = {0x56, 0x22, 0x16, 0x12, 0, 0, 0, 0x25, 0, 0, 0, 0, 0xEE, 0xEE};
  EXPECT_EQ(metadata_text(sample_entry(), stored, "250314093005"),
            "PAT: 22 10 00 00 00 f0 00 00\n"
            "Header: 56 22 16 12 00 00 00 25 00 00 00 00\n"
            "Dimensions: 352x288\n"
            "Compressed: yes\n"
            "Original stored bytes: 61440\n"
            "Download time (local): 250314093005\n");
}

TEST(MetadataText, ShortPayloadAndUncompressed) {
  PhotoEntry e = sample_entry();
  e.compressed = false;
  e.width = 176;
  e.height = 144;
  e.size_bytes = 25356;
  const std::vector<std::uint8_t> stored = {0x56, 0x00, 0x0b};
  EXPECT_EQ(metadata_text(e, stored, "991231235959"),
            "PAT: 22 10 00 00 00 f0 00 00\n"
            "Header: 56 00 0b\n"
            "Dimensions: 176x144\n"
            "Compressed: no\n"
            "Original stored bytes: 25356\n"
            "Download time (local): 991231235959\n");
}

TEST(SessionLog, WholeLayout) {
  TransferLog fetch;
  fetch.append(record(1, 0, "OUT", 0x04, 1, {0x21}, true, 0, "PHOTO GET_DATA initial status / request status"));
  TransferLog observation;
  observation.append(record(1, 3, "IN", 0x83, 16, {0x00}, true, 0, "initial status / status response"));

  SessionLog log;
  log.photo_archived(7, sample_entry(), "Velmora_007_HR-CP_250314093005.velmoraraw");
  log.fetch_log(fetch);
  log.variant_skipped("Truncated compressed Mars symbol");
  log.photo_failed(1000, "Could not finish writing output file");
  log.completed(1, -2);
  log.directory_observations({observation, TransferLog{}});
  EXPECT_EQ(log.text(),
            "Velmora 0.7.4 \xE2\x80\x94 read-only image recovery\n"
            "USB: 093A:010E / WinUSB\n"
            "Destination: user-selected folder\n"
            "\n"
            "Photo 7 PAT 22 10 00 00 00 f0 00 00 raw=Velmora_007_HR-CP_250314093005.velmoraraw\n"
            "#1 +0ms OUT endpoint=04 requested=1 actual=1 OK error=0 PHOTO GET_DATA initial status / request status\n"
            "  21\n"
            "\n"
            "Optional glitch variant skipped: Truncated compressed Mars symbol\n"
            "Photo 1000 failed: Could not finish writing output file\n"
            "\n"
            "Completed: 1 successful; -2 failed.\n"
            "\n"
            "Directory observation 1\n"
            "#1 +3ms IN endpoint=83 requested=16 actual=1 OK error=0 initial status / status response\n"
            "  00\n"
            "\n"
            "Directory observation 2\n");
}

}  // namespace
}  // namespace velmora
