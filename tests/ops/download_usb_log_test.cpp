// The session log of a download with the detailed USB log: every line in
// order, with the transfers of the five directory reads and of each photo
// fetch checked against the sequences the camera conversation must follow.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "ops/download_rig.h"
#include "protocol/pat.h"

namespace velmora {
namespace {

using test::DownloadRig;

struct Expected {
  std::string direction;
  std::string endpoint;
  std::uint64_t requested;
  std::string label;
  std::string data;  // the shown data line after its two spaces; "?" for any 16 status bytes
};

class Conversation {
 public:
  void command(const std::string& label, const std::string& bytes) {
    records.push_back({"OUT", "04", (bytes.size() + 1) / 3, label, bytes});
  }
  void status(const std::string& step) {
    command(step + " / request status", "21");
    records.push_back({"IN", "83", 16, step + " / status response", "?"});
  }
  void command_with_status(const std::string& label, const std::string& bytes) {
    command(label, bytes);
    status(label);
  }
  void read(const std::string& endpoint, std::uint64_t n, const std::string& label, const std::string& data) {
    records.push_back({"IN", endpoint, n, label, data});
  }
  std::vector<Expected> records;
};

std::string hex_line(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t count) {
  std::vector<std::uint8_t> part(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
  return hex_bytes(part) + " ...";
}

std::vector<Expected> directory_read(const std::vector<std::uint8_t>& directory) {
  Conversation c;
  c.status("initial status");
  for (const std::string phase : {"INIT", "GET_DATA"}) {
    if (phase == "GET_DATA") c.status("GET_DATA initial status");
    c.command_with_status(phase + " start 0x51", "19 51");
    c.command_with_status(phase + (phase == "INIT" ? " operation 0xb5" : " operation 0x0f"),
                          phase == "INIT" ? "19 b5" : "19 0f");
    c.command_with_status(phase + " address byte 1 = 0x00", "19 00");
    c.command(phase + " address byte 2 = 0x00; begin bounded positioning poll", "19 00");
    c.status(phase + " positioning poll 1 (paced; " + (phase == "INIT" ? "250" : "2000") + "ms deadline)");
    for (int b = 3; b <= 6; ++b) c.command_with_status(phase + " address byte " + std::to_string(b) + " = 0x00", "19 00");
    c.command(phase + " final data-intent token", "19");
    c.read("83", 16, phase == "INIT" ? "INIT final 16-byte response" : "GET_DATA final response", "?");
  }
  c.read("82", 8192, "bounded read-only 8192-byte configuration/PAT read", hex_line(directory, 0, 64));
  return c.records;
}

std::vector<Expected> photo_fetch(const std::array<std::uint8_t, 8>& pat, const std::vector<std::uint8_t>& stored) {
  auto byte = [&](int i) { return "19 " + hex_bytes(std::vector<std::uint8_t>{pat[static_cast<std::size_t>(i)]}); };
  Conversation c;
  c.status("PHOTO GET_DATA initial status");
  c.command_with_status("PHOTO GET_DATA start 0x51", "19 51");
  c.command_with_status("PHOTO GET_DATA operation 0x0f", "19 0f");
  c.command_with_status("PHOTO address byte 1", byte(1));
  c.command("PHOTO address byte 2; begin bounded positioning poll", byte(2));
  c.status("PHOTO GET_DATA positioning poll 1 (paced; 2000ms deadline)");
  for (int b = 3; b <= 6; ++b) c.command_with_status("PHOTO address byte " + std::to_string(b), byte(b));
  c.command("PHOTO final data-intent token", "19");
  c.read("83", 16, "PHOTO final response", "?");

  // The transfer: a 128-byte lead-in, the stored bytes, zero padding.
  std::vector<std::uint8_t> transfer(photo_transfer_length(stored.size()), 0);
  for (std::size_t i = 0; i < 128; ++i) transfer[i] = static_cast<std::uint8_t>(0xA0 ^ i);
  std::copy(stored.begin(), stored.end(), transfer.begin() + 128);
  for (std::size_t k = 0; k * 8192 < transfer.size(); ++k) {
    c.read("82", 8192, "PHOTO data chunk " + std::to_string(k + 1), hex_line(transfer, k * 8192, 64));
  }
  return c.records;
}

class Lines {
 public:
  explicit Lines(const std::string& text) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines_.push_back(line);
  }
  std::string next() { return at_ < lines_.size() ? lines_[at_++] : "<end of log>"; }
  bool done() const { return at_ == lines_.size(); }

  // The two lines of each record, numbered from 1 with non-decreasing times.
  void expect_records(const std::vector<Expected>& expected, const std::string& where) {
    static const std::regex kRecord(R"(#(\d+) \+(\d+)ms (OUT|IN) endpoint=([0-9a-f]{2}) requested=(\d+) actual=(\d+) OK error=0 (.*))");
    std::uint64_t last_ms = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const Expected& e = expected[i];
      const std::string line = next();
      const std::string data = next();
      std::smatch m;
      ASSERT_TRUE(std::regex_match(line, m, kRecord)) << where << " record " << i + 1 << ": " << line;
      EXPECT_EQ(m[1].str(), std::to_string(i + 1)) << where;
      const std::uint64_t ms = std::stoull(m[2].str());
      EXPECT_GE(ms, last_ms) << where << ": " << line;
      last_ms = ms;
      EXPECT_EQ(m[3].str(), e.direction) << where << ": " << line;
      EXPECT_EQ(m[4].str(), e.endpoint) << where << ": " << line;
      EXPECT_EQ(m[5].str(), std::to_string(e.requested)) << where << ": " << line;
      EXPECT_EQ(m[6].str(), std::to_string(e.requested)) << where << ": " << line;
      EXPECT_EQ(m[7].str(), e.label) << where << " record " << i + 1;
      if (e.data == "?") {
        EXPECT_TRUE(std::regex_match(data, std::regex("  [0-9a-f]{2}( [0-9a-f]{2}){15}"))) << where << ": " << data;
      } else {
        EXPECT_EQ(data, "  " + e.data) << where << ": " << line;
      }
    }
  }

 private:
  std::vector<std::string> lines_;
  std::size_t at_ = 0;
};

TEST(DownloadUsbLog, SessionLogCarriesEveryFetchAndEveryDirectoryObservation) {
  const auto first = test::uncompressed_photo();
  const auto second = test::compressed_photo();
  DownloadRig rig({{test::kLowRes, first}, {test::kLowRes | test::kCompressedFlag, second}});
  DownloadOptions options = test::no_renders();
  options.save_usb_log = true;
  const DownloadResult result = rig.run({0, 1}, options);
  ASSERT_EQ(result.saved, 2);
  const std::string name = "Velmora_session_250314093005.txt";
  ASSERT_EQ(rig.files.created.back(), name);
  std::ifstream in(rig.destination() / name, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(text.back(), '\n');

  Lines lines(text);
  EXPECT_EQ(lines.next(), "Velmora 0.7.4 \xE2\x80\x94 read-only image recovery");
  EXPECT_EQ(lines.next(), "USB: 093A:010E / WinUSB");
  EXPECT_EQ(lines.next(), "Destination: user-selected folder");
  EXPECT_EQ(lines.next(), "");
  const std::vector<std::uint8_t>* stored[] = {&first, &second};
  const char* raw_names[] = {"Velmora_001_LR-nP_250314093005.velmoraraw", "Velmora_002_LR-CP_250314093005.velmoraraw"};
  for (std::size_t p = 0; p < 2; ++p) {
    const auto& pat = rig.snapshot.entries[p].pat_bytes;
    EXPECT_EQ(lines.next(), "Photo " + std::to_string(p + 1) + " PAT " + hex_bytes(pat) + " raw=" + raw_names[p]);
    lines.expect_records(photo_fetch(pat, *stored[p]), "photo " + std::to_string(p + 1));
    EXPECT_EQ(lines.next(), "");
  }
  EXPECT_EQ(lines.next(), "");
  EXPECT_EQ(lines.next(), "Completed: 2 successful; 0 failed.");
  ASSERT_EQ(rig.snapshot.observation_logs.size(), 5u);
  const auto directory = test::camera_image({{test::kLowRes, first},
                                                {test::kLowRes | test::kCompressedFlag, second}}).directory;
  for (int k = 1; k <= 5; ++k) {
    EXPECT_EQ(lines.next(), "");
    EXPECT_EQ(lines.next(), "Directory observation " + std::to_string(k));
    lines.expect_records(directory_read(directory), "observation " + std::to_string(k));
  }
  EXPECT_TRUE(lines.done()) << lines.next();
}

}  // namespace
}  // namespace velmora
