// The INIT, GET_DATA and PHOTO sequences through the two operations that run them (a directory read: INIT then
// GET_DATA; a photo fetch: PHOTO then the data). Each camera behaviour gives a line of message, log size and a digest
// of every record's label, bytes and time; the lines are held to one golden digest.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <numeric>

#include "protocol/directory.h"
#include "protocol/pat.h"
#include "protocol/photo_fetch.h"
#include "support/digest.h"
#include "support/sim_fixture.h"

namespace velmora {
namespace {

using sim::FaultAction;
using sim::SimulatedCameraConfig;
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

TEST(Sequences, OutcomeAndLog) {
  const Config unacknowledged = [](auto& c) { c.ack_after_polls = 0; };
  const struct {
    const char* name;
    std::uint32_t photo;  // the size of the photo fetched; 0: a directory read
    Config config;
  } rows[] = {
      {"INIT and GET_DATA", 0, nullptr},
      {"PHOTO", 300, nullptr},
      {"initial jam cleared", 0, jam(1, true)},  // ready for GET_DATA directly
      {"initial jam stays", 0, jam(0, false)},
      {"INIT acknowledged late, jam status while polling", 0,
       [](auto& c) { c.ack_after_polls = 5, c.unacknowledged_status = 0x02; }},
      {"INIT never acknowledged", 0, unacknowledged},  // 126 attempts, 2 ms apart, reach the 250 ms deadline
      {"INIT status fails", 0, fault([](auto& t) { return t.transfer == 5; }, {FaultAction::Kind::Fail, 121})},
      {"GET_DATA jam cleared", 0, jam(2, true)},
      {"GET_DATA jam stays", 0, jam(2, false)},
      // Slow answers: the 2000 ms deadline comes before the attempt cap.
      {"GET_DATA never acknowledged", 0, [](auto& c) { c.get_data_ack_after_polls = 0, c.status_latency_ms = 10; }},
      {"GET_DATA unplugged", 0, [](auto& c) { c.unplug_after_transfers = 30; }},
      {"short directory read", 0, fault([](auto& t) { return t.directory_data; }, {FaultAction::Kind::Short, 0, 8000})},
      {"PHOTO jam cleared", 300, jam(1, true)},
      {"PHOTO jam stays", 300, jam(0, false)},
      {"PHOTO never acknowledged", 300, unacknowledged},  // 256 quick attempts come before the 2000 ms deadline
      {"third chunk times out: earlier chunks kept", 25356,
       fault([](auto& t) { return t.chunk == 3; }, {FaultAction::Kind::Fail, 121})},
      {"directory from a 010F camera", 0, [](auto& c) { c.pid = 0x010F; }},
      {"photo from a 010F camera", 300, [](auto& c) { c.pid = 0x010F; }},
      {"foreign device", 0, [](auto& c) { c.vid = 0x1234; }},
      {"no data pipe", 300, [](auto& c) { c.endpoints.pop_back(); }},
      {"timeout policy fails", 0, [](auto& c) { c.set_pipe_policy_error = 31; }},
      {"7759 bytes: one chunk", 7759, nullptr},
      {"7760 bytes: two chunks", 7760, nullptr},
      {"largest photo", 16776783, nullptr},
      {"empty photo", 0x1000000, nullptr},
      {"one byte over the cap", 16776784, nullptr},
  };
  std::string summary;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SimRig rig = camera(row.config, row.photo);
    CameraSession session = rig.open();
    TransferLog log;
    std::string error, text;
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
      text = "kept " + std::to_string(photo.transfer.size()) + "\n";
      expected = rig.camera->config().image.photos.at(kLocation);
    });
    const std::string outcome = thrown == "(no failure)" ? error : thrown;
    const std::uint64_t hash = test::digest(text + test::records(log));
    summary += row.name + (": " + outcome) + " | " + std::to_string(log.size()) + " records, " + std::to_string(hash) +
               ", pipe time-outs " + std::to_string(rig.camera->pipe_timeout(0x04)) + " " +
               std::to_string(rig.camera->pipe_timeout(0x83)) + " " + std::to_string(rig.camera->pipe_timeout(0x82)) +
               "\n";
    EXPECT_EQ(data, outcome.empty() ? expected : Bytes{});
    EXPECT_EQ(rig.camera->pipe_transfers(), log.size()) << "every transfer logged";
    EXPECT_EQ(test::command_problem(*rig.camera), "");
  }
  EXPECT_EQ(test::digest(summary), 0xdf9e4fae5d1b769bu) << summary;
}

// The directory rules themselves are held against the independent model in tests/reference/test_pat.py; here is
// what the command line cannot reach, and the labels of the window's list.
TEST(Pat, EntryMustFitInsideTheBufferAndLabels) {
  const std::vector<std::uint8_t> buffer = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  const std::span<const std::uint8_t> all(buffer);  // a one-byte non-still item at 16
  const std::size_t cases[][2] = {{24, 16}, {24, 17}, {24, 24}, {23, 16}, {5, 0}, {24, SIZE_MAX - 3}};  // size, at
  std::string valid;
  for (const auto& c : cases) valid += is_valid_pat_entry(all.first(c[0]), c[1]) ? "y" : "n";
  for (const std::uint8_t type : {2, 0, 6}) {
    PhotoEntry e;
    e.type_code = type, e.compressed = type != 0;
    valid += " " + resolution_label(e) + " " + compression_label(e);
  }
  EXPECT_EQ(valid, "ynnnnn High (HR) Yes (CP) Low (LR) No (nP) Other Yes (CP)");
}

}  // namespace
}  // namespace velmora
