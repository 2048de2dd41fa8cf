// The INIT, GET_DATA and PHOTO sequences through the two operations that run
// them (a directory read runs INIT then GET_DATA; a photo fetch runs PHOTO
// then reads the data): for each camera behaviour the message, the size and
// end of the log, and a hash of every record's label, bytes and time.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <numeric>

#include "protocol/directory.h"
#include "protocol/pat.h"
#include "protocol/photo_fetch.h"
#include "support/sim_fixture.h"

namespace velmora {
namespace {

using sim::FaultAction;
using sim::SimulatedCameraConfig;
using test::only_allowed_commands;
using test::SimRig;
using Bytes = std::vector<std::uint8_t>;
using Config = std::function<void(SimulatedCameraConfig&)>;

constexpr std::uint32_t kLocation = 0x001234;  // address bytes 34 12 00, then the size

SimRig camera(const Config& change, std::uint32_t photo_size) {
  SimulatedCameraConfig config;
  config.image.directory.assign(kDirectoryBytes, 0);
  std::iota(config.image.directory.begin(), config.image.directory.end(), std::uint8_t{7});
  Bytes& photo = config.image.photos[kLocation];
  for (std::uint32_t i = 0; i < photo_size && photo_size <= 16776783; ++i)
    photo.push_back(static_cast<std::uint8_t>(i * 7 + (i >> 8)));
  if (change) change(config);
  return SimRig(config);
}

// Every record: sequence, time, direction, endpoint, request, bytes or count, result, label.
std::uint64_t log_hash(const TransferLog& log, std::string& text) {
  for (const TransferRecord& r : log) {
    text += std::to_string(r.sequence) + "@" + std::to_string(r.elapsed_ms) + r.direction + std::to_string(r.endpoint) +
            " " + std::to_string(r.requested) + " " +
            (r.data.size() <= 16 ? hex_bytes(r.data) : std::to_string(r.data.size())) + " " + std::to_string(r.ok) +
            std::to_string(r.error_code) + " " + r.label + "\n";
  }
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : text) hash = (hash ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
  return hash;
}

Config jam(int sequence, bool clear_works) {
  return [=](SimulatedCameraConfig& c) {
    c.jam_at = [=](const sim::SequenceContext& s) { return sequence == 0 || s.sequence == sequence; };
    c.jam_clear_works = clear_works;
  };
}

Config fault(std::function<bool(const sim::TransferContext&)> when, FaultAction action) {
  return [=](SimulatedCameraConfig& c) {
    c.fault = [=](const sim::TransferContext& t) { return when(t) ? std::optional(action) : std::nullopt; };
  };
}

const std::string kPatRead = "bounded read-only 8192-byte configuration/PAT read";
const std::string kNotCif = "0.6.1 active operations are intentionally limited to verified CIF PID 010e";

struct Row {
  const char* name;
  std::uint32_t photo;  // the size of the photo fetched; 0: a directory read
  Config config;
  std::string error;
  std::string end;  // records, the last label, bytes kept from pipe 0x82
  std::uint64_t hash;
};

TEST(Sequences, OutcomeAndLog) {
  const Row rows[] = {
      {"INIT and GET_DATA", 0, nullptr, "", "57 " + kPatRead, 17001518851197828759u},
      {"PHOTO", 300, nullptr, "", "29 PHOTO data chunk 1 8192", 11914650289010059083u},
      // A cleared opening jam leaves the camera ready for GET_DATA directly.
      {"initial jam cleared", 0, jam(1, true), "", "35 " + kPatRead, 13091832739750137968u},
      {"initial jam stays", 0, jam(0, false),
       "Camera still reports jammed status 0x02 after the single documented initial jam-clear attempt",
       "6 INITIAL post-clear status / status response", 5502060019603390986u},
      {"INIT acknowledged late, jam status while polling", 0,
       [](auto& c) { c.ack_after_polls = 5, c.unacknowledged_status = 0x02; }, "", "73 " + kPatRead,
       6926884285066698442u},
      // 126 attempts, 2 ms apart, reach the 250 ms deadline.
      {"INIT never acknowledged", 0, [](auto& c) { c.ack_after_polls = 0; },
       "Camera did not acknowledge INIT memory positioning within the 250 ms paced deadline",
       "264 INIT positioning poll 126 (paced; 250ms deadline) / status response", 17656656671707998882u},
      {"INIT status fails", 0, fault([](auto& t) { return t.transfer == 5; }, {FaultAction::Kind::Fail, 121}),
       "WinUsb_ReadPipe (Win32 error 121)", "5 INIT start 0x51 / status response", 6686705104738529460u},
      {"GET_DATA jam cleared", 0, jam(2, true), "", "61 " + kPatRead, 13807735660666668129u},
      {"GET_DATA jam stays", 0, jam(2, false),
       "Camera still reports jammed status 0x02 after the single documented GET_DATA jam-clear attempt",
       "34 GET_DATA post-clear status / status response", 8352763837032880981u},
      // Slow answers: the 2000 ms deadline comes before the attempt cap.
      {"GET_DATA never acknowledged", 0, [](auto& c) { c.get_data_ack_after_polls = 0, c.status_latency_ms = 10; },
       "Camera did not acknowledge config-data positioning within the 2000 ms paced deadline",
       "374 GET_DATA positioning poll 167 (paced; 2000ms deadline) / status response", 4809610463392794928u},
      {"GET_DATA unplugged", 0, [](auto& c) { c.unplug_after_transfers = 30; }, "WinUsb_WritePipe (Win32 error 1167)",
       "31 GET_DATA start 0x51", 5307229481289052761u},
      {"short directory read", 0, fault([](auto& t) { return t.directory_data; }, {FaultAction::Kind::Short, 0, 8000}),
       "Short USB read (expected fixed response length)", "57 " + kPatRead + "; short read", 9515595851724251513u},
      {"PHOTO jam cleared", 300, jam(1, true), "", "33 PHOTO data chunk 1 8192", 6398570779811681439u},
      {"PHOTO jam stays", 300, jam(0, false),
       "Camera remains jammed after the single documented photo-download clear attempt",
       "6 PHOTO GET_DATA post-clear status / status response 0", 5854491644739098174u},
      // 256 quick attempts come before the 2000 ms deadline.
      {"PHOTO never acknowledged", 300, [](auto& c) { c.ack_after_polls = 0; },
       "Camera did not acknowledge photo positioning within the 2000 ms paced deadline",
       "524 PHOTO GET_DATA positioning poll 256 (paced; 2000ms deadline) / status response 0", 18057777431533805437u},
      {"third chunk times out: earlier chunks kept", 25356,
       fault([](auto& t) { return t.chunk == 3; }, {FaultAction::Kind::Fail, 121}), "WinUsb_ReadPipe (Win32 error 121)",
       "31 PHOTO data chunk 3 16384", 1805774115708785180u},
      {"directory from a 010F camera", 0, [](auto& c) { c.pid = 0x010F; }, kNotCif, "0", 14695981039346656037u},
      {"photo from a 010F camera", 300, [](auto& c) { c.pid = 0x010F; },
       "Active photo download is intentionally limited to verified CIF PID 010e", "0", 14695981039346656037u},
      {"foreign device", 0, [](auto& c) { c.vid = 0x1234; },
       "Safety check failed: opened device is not a known MR97310 VID/PID", "0", 14695981039346656037u},
      {"no data pipe", 300, [](auto& c) { c.endpoints.pop_back(); },
       "Required MR97310 endpoint is missing or has unexpected type", "0", 14695981039346656037u},
      {"timeout policy fails", 0, [](auto& c) { c.set_pipe_policy_error = 31; },
       "WinUsb_SetPipePolicy(PIPE_TRANSFER_TIMEOUT) (Win32 error 31)", "0", 14695981039346656037u},
      {"7759 bytes: one chunk", 7759, nullptr, "", "29 PHOTO data chunk 1 8192", 11710427951400206705u},
      {"7760 bytes: two chunks", 7760, nullptr, "", "30 PHOTO data chunk 2 16384", 5896312387452552315u},
      {"largest photo", 16776783, nullptr, "", "2076 PHOTO data chunk 2048 16777216", 11192221847039008137u},
      {"empty photo", 0x1000000, nullptr, "PAT reports a zero-byte photo", "0 0", 14695981039346656037u},
      {"one byte over the cap", 16776784, nullptr, "PAT-derived transfer exceeds the 16 MiB safety cap", "0 0",
       14695981039346656037u},
      {"largest PAT size", 16777215, nullptr, "PAT-derived transfer exceeds the 16 MiB safety cap", "0 0",
       14695981039346656037u},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimRig rig = camera(row.config, row.photo);
    CameraSession session = rig.open();
    TransferLog log;
    std::string error, end;
    Bytes data, expected = rig.camera->config().image.directory;
    const std::string thrown = test::failure_of([&] {
      if (row.photo == 0) {
        DirectoryReadResult directory = read_directory(session);
        error = directory.error, log = std::move(directory.log), data = std::move(directory.pat);
        return;
      }
      PhotoEntry entry;
      entry.size_bytes = row.photo & 0xFFFFFF;
      entry.pat_bytes = test::pat_entry(0x22, kLocation, entry.size_bytes);
      PhotoTransfer photo = fetch_photo(session, entry);
      error = photo.error, log = std::move(photo.log), data = std::move(photo.payload);
      end = " " + std::to_string(photo.transfer.size());
      expected = rig.camera->config().image.photos.at(kLocation);
    });
    EXPECT_EQ(thrown == "(no failure)" ? error : thrown, row.error);
    EXPECT_EQ(std::to_string(log.size()) + (log.empty() ? "" : " " + log.back().label) + end, row.end);
    std::string text;
    EXPECT_EQ(log_hash(log, text), row.hash) << text;
    EXPECT_EQ(data, row.error.empty() ? expected : Bytes{});
    EXPECT_EQ(rig.camera->pipe_transfers(), log.size()) << "every transfer logged";
    EXPECT_TRUE(only_allowed_commands(*rig.camera));
    if (!row.error.empty()) continue;
    EXPECT_EQ(rig.camera->pipe_timeout(0x04) + rig.camera->pipe_timeout(0x83), 3000u);
    EXPECT_EQ(rig.camera->pipe_timeout(0x82), row.photo ? 5000u : 3000u);
  }
}

// The directory rules themselves are held against the independent model in
// tests/reference/test_pat.py; here is what the command line cannot reach.
TEST(Pat, EntryMustFitInsideTheBuffer) {
  std::vector<std::uint8_t> buffer(24, 0);
  buffer[16] = buffer[20] = 0x01;  // a one-byte non-still item at 16
  const std::span<const std::uint8_t> all(buffer);
  EXPECT_TRUE(is_valid_pat_entry(all, 16));
  for (const std::size_t at : {std::size_t{17}, std::size_t{24}, std::numeric_limits<std::size_t>::max() - 3}) {
    EXPECT_FALSE(is_valid_pat_entry(all, at)) << at;
  }
  EXPECT_FALSE(is_valid_pat_entry(all.first(23), 16));
  EXPECT_FALSE(is_valid_pat_entry(all.first(5), 0));
}

// The labels of the window's list.
TEST(Pat, Labels) {
  std::string text;
  for (const std::uint8_t flags : {0x22, 0x02, 0x00, 0x20, 0x26, 0xD1}) {
    PhotoEntry e;
    e.flags = flags, e.type_code = flags & 0x0F, e.compressed = (flags & 0x20) != 0;
    text += resolution_label(e) + " " + compression_label(e) + ", ";
  }
  EXPECT_EQ(text,
            "High (HR) Yes (CP), High (HR) No (nP), Low (LR) No (nP), Low (LR) Yes (CP), Other Yes (CP), "
            "Other No (nP), ");
}

}  // namespace
}  // namespace velmora
