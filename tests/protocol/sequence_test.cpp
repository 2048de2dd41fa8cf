// The three command sequences (INIT, GET_DATA, PHOTO) through the two
// operations that run them: every step's label and bytes, and each fault's
// message and the log up to it; then the photo data that follows PHOTO.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "protocol/directory.h"
#include "protocol/exchange.h"
#include "protocol/photo_fetch.h"
#include "support/sim_fixture.h"

namespace velmora {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

using sim::FaultAction;
using sim::SimulatedCameraConfig;
using test::only_allowed_commands;
using test::SimRig;
using Bytes = std::vector<std::uint8_t>;

// A 300-byte photo at 0x001234: address bytes 34 12 00 2c 01 00.
constexpr std::uint8_t kPhotoPat[16] = {0x22, 0x34, 0x12, 0x00, 0x2C, 0x01, 0x00, 0x07, 0xFF};
constexpr std::uint32_t kPhotoLocation = 0x001234;

SimulatedCameraConfig camera_with_data() {
  SimulatedCameraConfig config;
  config.image.directory.assign(kDirectoryBytes, 0);
  std::iota(config.image.directory.begin(), config.image.directory.end(), std::uint8_t{7});
  Bytes photo(300);
  std::iota(photo.begin(), photo.end(), std::uint8_t{3});
  config.image.photos[kPhotoLocation] = photo;
  return config;
}

struct Outcome {
  bool ok = false;
  std::string error;
  TransferLog log;
  Bytes data;  // the directory or the photo; empty unless ok
};

// INIT and GET_DATA run inside a directory read, PHOTO inside a photo fetch.
Outcome run(Sequence sequence, CameraSession& session) {
  if (sequence == Sequence::kPhoto) {
    PhotoTransfer photo = fetch_photo(session, parse_pat_entries(kPhotoPat).at(0));
    return {photo.ok, photo.error, std::move(photo.log), std::move(photo.payload)};
  }
  DirectoryReadResult directory = read_directory(session);
  return {directory.ok, directory.error, std::move(directory.log), std::move(directory.pat)};
}

struct Step {
  std::string label;
  Bytes command;
  bool with_status = true;  // followed by a status request under the same label
};

struct CleanCase {
  const char* name;
  Sequence sequence;
  std::size_t first_record;  // where the sequence starts in its operation's log
  std::vector<Step> steps;
  std::string final_response;
  std::uint32_t data_timeout_ms;
};

class CleanSequence : public ::testing::TestWithParam<CleanCase> {};

TEST_P(CleanSequence, EveryStepInOrder) {
  const CleanCase& c = GetParam();
  SimRig rig(camera_with_data());
  CameraSession session = rig.open();
  const Outcome outcome = run(c.sequence, session);
  ASSERT_TRUE(outcome.ok) << outcome.error;
  std::vector<std::pair<std::string, Bytes>> expected;
  for (const Step& step : c.steps) {
    expected.emplace_back(step.label, step.command);
    if (step.with_status) expected.emplace_back(step.label + " / request status", Bytes{0x21});
    if (step.with_status) expected.emplace_back(step.label + " / status response", Bytes(16, 0));
  }
  expected.emplace_back(c.final_response, Bytes(16, 0));
  ASSERT_GE(outcome.log.size(), c.first_record + expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const TransferRecord& record = outcome.log[c.first_record + i];
    EXPECT_EQ(record.label, expected[i].first) << i;
    const bool status = expected[i].second.size() == 16;
    EXPECT_EQ(record.direction, status ? "IN" : "OUT") << record.label;
    EXPECT_EQ(record.endpoint, status ? 0x83 : 0x04) << record.label;
    EXPECT_EQ(record.requested, expected[i].second.size()) << record.label;
    if (!status) {
      EXPECT_EQ(record.data, expected[i].second) << record.label;
    } else if (record.label.find("positioning poll") != std::string::npos) {
      EXPECT_EQ(record.data[0], 0x0A) << record.label;
    }
  }
  for (std::size_t i = 0; i < outcome.log.size(); ++i) {
    EXPECT_EQ(outcome.log[i].sequence, i + 1);
    EXPECT_TRUE(outcome.log[i].ok);
  }
  const TransferRecord& data = outcome.log.back();
  EXPECT_EQ(data.endpoint, 0x82);
  EXPECT_EQ(data.requested, 8192u);
  EXPECT_EQ(outcome.data, c.sequence == Sequence::kPhoto ? rig.camera->config().image.photos.at(kPhotoLocation)
                                                         : rig.camera->config().image.directory);
  EXPECT_EQ(rig.camera->pipe_timeout(0x04), 1500u);
  EXPECT_EQ(rig.camera->pipe_timeout(0x83), 1500u);
  EXPECT_EQ(rig.camera->pipe_timeout(0x82), c.data_timeout_ms);
  EXPECT_TRUE(only_allowed_commands(*rig.camera));
}

std::vector<Step> zero_address(const std::string& phase, int deadline_ms) {
  std::vector<Step> steps;
  steps.push_back({phase + " address byte 1 = 0x00", {0x19, 0x00}});
  steps.push_back({phase + " address byte 2 = 0x00; begin bounded positioning poll", {0x19, 0x00}, false});
  const std::string poll = phase + " positioning poll 1 (paced; " + std::to_string(deadline_ms) + "ms deadline)";
  steps.push_back({poll + " / request status", {0x21}, false});
  steps.push_back({poll + " / status response", Bytes(16, 0), false});
  for (int byte = 3; byte <= 6; ++byte) {
    steps.push_back({phase + " address byte " + std::to_string(byte) + " = 0x00", {0x19, 0x00}});
  }
  steps.push_back({phase + " final data-intent token", {0x19}, false});
  return steps;
}

std::vector<Step> concat(std::vector<Step> a, const std::vector<Step>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, CleanSequence,
    ::testing::Values(
        CleanCase{"INIT", Sequence::kInit, 2,
                  concat({{"INIT start 0x51", {0x19, 0x51}}, {"INIT operation 0xb5", {0x19, 0xB5}}},
                         zero_address("INIT", 250)),
                  "INIT final 16-byte response", 3000},
        CleanCase{"GET_DATA", Sequence::kGetData, 28,
                  concat({{"GET_DATA initial status / request status", {0x21}, false},
                          {"GET_DATA initial status / status response", Bytes(16, 0), false},
                          {"GET_DATA start 0x51", {0x19, 0x51}},
                          {"GET_DATA operation 0x0f", {0x19, 0x0F}}},
                         zero_address("GET_DATA", 2000)),
                  "GET_DATA final response", 3000},
        CleanCase{
            "PHOTO",
            Sequence::kPhoto,
            0,
            {{"PHOTO GET_DATA initial status / request status", {0x21}, false},
             {"PHOTO GET_DATA initial status / status response", Bytes(16, 0), false},
             {"PHOTO GET_DATA start 0x51", {0x19, 0x51}},
             {"PHOTO GET_DATA operation 0x0f", {0x19, 0x0F}},
             {"PHOTO address byte 1", {0x19, 0x34}},
             {"PHOTO address byte 2; begin bounded positioning poll", {0x19, 0x12}, false},
             {"PHOTO GET_DATA positioning poll 1 (paced; 2000ms deadline) / request status", {0x21}, false},
             {"PHOTO GET_DATA positioning poll 1 (paced; 2000ms deadline) / status response", Bytes(16, 0), false},
             {"PHOTO address byte 3", {0x19, 0x00}},
             {"PHOTO address byte 4", {0x19, 0x2C}},
             {"PHOTO address byte 5", {0x19, 0x01}},
             {"PHOTO address byte 6", {0x19, 0x00}},
             {"PHOTO final data-intent token", {0x19}, false}},
            "PHOTO final response",
            5000}),
    [](const auto& info) { return std::string(info.param.name); });

struct FaultCase {
  const char* name;
  Sequence sequence;
  std::function<void(SimulatedCameraConfig&)> setup;
  std::string error;  // empty: the operation still succeeds
  std::size_t records;
  std::string last_label;
  std::string never_in_log;  // a step that must not have been reached
};

class SequenceFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SequenceFault, MessageAndLogSoFar) {
  const FaultCase& c = GetParam();
  SimulatedCameraConfig config = camera_with_data();
  c.setup(config);
  SimRig rig(config);
  CameraSession session = rig.open();
  const Outcome outcome = run(c.sequence, session);
  EXPECT_EQ(outcome.ok, c.error.empty());
  EXPECT_EQ(outcome.error, c.error);
  EXPECT_EQ(outcome.data.empty(), !c.error.empty());
  ASSERT_EQ(outcome.log.size(), c.records);
  EXPECT_EQ(outcome.log.back().label, c.last_label);
  if (!c.never_in_log.empty()) {
    for (const auto& r : outcome.log) EXPECT_EQ(r.label.find(c.never_in_log), std::string::npos) << r.label;
  }
  EXPECT_TRUE(only_allowed_commands(*rig.camera));
  EXPECT_TRUE(session.is_open()) << "the caller closes the session";
}

std::function<void(SimulatedCameraConfig&)> jam(int sequence, bool clear_works) {
  return [=](SimulatedCameraConfig& c) {
    c.jam_at = [=](const sim::SequenceContext& s) { return sequence == 0 || s.sequence == sequence; };
    c.jam_clear_works = clear_works;
  };
}

std::function<void(SimulatedCameraConfig&)> fault(std::function<bool(const sim::TransferContext&)> when,
                                                  FaultAction action) {
  return [=](SimulatedCameraConfig& c) {
    c.fault = [=](const sim::TransferContext& t) -> std::optional<FaultAction> {
      if (when(t)) return action;
      return std::nullopt;
    };
  };
}

const std::string kPatRead = "bounded read-only 8192-byte configuration/PAT read";

INSTANTIATE_TEST_SUITE_P(
    Faults, SequenceFault,
    ::testing::Values(
        // A cleared opening jam leaves the camera ready for GET_DATA directly.
        FaultCase{"initial_jam_cleared", Sequence::kInit, jam(1, true), "", 2 + 4 + 29, kPatRead, "INIT "},
        FaultCase{"initial_jam_stays", Sequence::kInit, jam(0, false),
                  "Camera still reports jammed status 0x02 after the single documented initial jam-clear attempt", 6,
                  "INITIAL post-clear status / status response", "INIT "},
        FaultCase{"init_acknowledged_late", Sequence::kInit, [](SimulatedCameraConfig& c) { c.ack_after_polls = 5; },
                  "", 57 + 2 * 2 * 4, kPatRead, ""},
        // 126 attempts, 2 ms apart, reach the 250 ms deadline.
        FaultCase{"init_no_ack", Sequence::kInit, [](SimulatedCameraConfig& c) { c.ack_after_polls = 0; },
                  "Camera did not acknowledge INIT memory positioning within the 250 ms paced deadline",
                  2 + 10 + 2 * 126, "INIT positioning poll 126 (paced; 250ms deadline) / status response", "GET_DATA"},
        FaultCase{"init_status_fails", Sequence::kInit,
                  fault([](const sim::TransferContext& t) { return t.transfer == 5; }, {FaultAction::Kind::Fail, 121}),
                  "WinUsb_ReadPipe (Win32 error 121)", 5, "INIT start 0x51 / status response", ""},
        FaultCase{"get_data_jam_cleared", Sequence::kGetData, jam(2, true), "", 57 + 4, kPatRead, ""},
        FaultCase{"get_data_jam_stays", Sequence::kGetData, jam(2, false),
                  "Camera still reports jammed status 0x02 after the single documented GET_DATA jam-clear attempt",
                  2 + 26 + 2 + 4, "GET_DATA post-clear status / status response", "GET_DATA start"},
        // Slow answers (10 ms each): the 2000 ms deadline comes before the attempt cap.
        FaultCase{"get_data_no_ack", Sequence::kGetData,
                  [](SimulatedCameraConfig& c) {
                    c.get_data_ack_after_polls = 0;
                    c.status_latency_ms = 10;
                  },
                  "Camera did not acknowledge config-data positioning within the 2000 ms paced deadline",
                  2 + 26 + 2 + 10 + 2 * 167, "GET_DATA positioning poll 167 (paced; 2000ms deadline) / status response",
                  kPatRead},
        FaultCase{"get_data_unplugged", Sequence::kGetData,
                  [](SimulatedCameraConfig& c) { c.unplug_after_transfers = 30; },
                  "WinUsb_WritePipe (Win32 error 1167)", 31, "GET_DATA start 0x51", ""},
        FaultCase{
            "short_pat_read", Sequence::kGetData,
            fault([](const sim::TransferContext& t) { return t.directory_data; }, {FaultAction::Kind::Short, 0, 8000}),
            "Short USB read (expected fixed response length)", 57, kPatRead + "; short read", ""},
        FaultCase{"photo_jam_cleared", Sequence::kPhoto, jam(1, true), "", 4 + 28 + 1, "PHOTO data chunk 1", ""},
        FaultCase{"photo_jam_stays", Sequence::kPhoto, jam(0, false),
                  "Camera remains jammed after the single documented photo-download clear attempt", 6,
                  "PHOTO GET_DATA post-clear status / status response", "PHOTO GET_DATA start"},
        // 256 quick attempts come before the 2000 ms deadline.
        FaultCase{"photo_no_ack", Sequence::kPhoto, [](SimulatedCameraConfig& c) { c.ack_after_polls = 0; },
                  "Camera did not acknowledge photo positioning within the 2000 ms paced deadline", 12 + 2 * 256,
                  "PHOTO GET_DATA positioning poll 256 (paced; 2000ms deadline) / status response", "PHOTO final"}),
    [](const auto& info) { return std::string(info.param.name); });

struct PreconditionCase {
  const char* name;
  Sequence sequence;
  std::function<void(SimulatedCameraConfig&)> setup;
  std::string message;
};

class Precondition : public ::testing::TestWithParam<PreconditionCase> {};

TEST_P(Precondition, RaisesBeforeAnyTransfer) {
  SimulatedCameraConfig config = camera_with_data();
  GetParam().setup(config);
  SimRig rig(config);
  CameraSession session = rig.open();
  EXPECT_THAT([&] { run(GetParam().sequence, session); }, ThrowsMessage<std::exception>(StrEq(GetParam().message)));
  EXPECT_EQ(rig.camera->pipe_transfers(), 0u);
  EXPECT_TRUE(rig.camera->host_writes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Precondition,
    ::testing::Values(
        PreconditionCase{"directory_variant_010f", Sequence::kGetData, [](SimulatedCameraConfig& c) { c.pid = 0x010F; },
                         "0.6.1 active operations are intentionally limited to verified CIF PID 010e"},
        PreconditionCase{"photo_variant_010f", Sequence::kPhoto, [](SimulatedCameraConfig& c) { c.pid = 0x010F; },
                         "Active photo download is intentionally limited to verified CIF PID 010e"},
        PreconditionCase{"foreign_device", Sequence::kGetData, [](SimulatedCameraConfig& c) { c.vid = 0x1234; },
                         "Safety check failed: opened device is not a known MR97310 VID/PID"},
        PreconditionCase{"missing_data_pipe", Sequence::kPhoto,
                         [](SimulatedCameraConfig& c) { c.endpoints.pop_back(); },
                         "Required MR97310 endpoint is missing or has unexpected type"},
        PreconditionCase{"timeout_policy_fails", Sequence::kGetData,
                         [](SimulatedCameraConfig& c) { c.set_pipe_policy_error = 31; },
                         "WinUsb_SetPipePolicy(PIPE_TRANSFER_TIMEOUT) (Win32 error 31)"}),
    [](const auto& info) { return std::string(info.param.name); });

// A photo entry as the fetch reads it: the address bytes and the size.
PhotoEntry entry_of_size(std::uint32_t location, std::uint32_t size) {
  PhotoEntry entry;
  entry.pat_bytes = test::pat_entry(0x21, location, size);
  entry.size_bytes = size;
  return entry;
}

std::vector<std::uint8_t> stored_photo(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

struct SizeCase {
  std::uint32_t size;
  std::uint64_t transfer;
};

class FetchPhotoSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(FetchPhotoSizes, ChunkCountFollowsTheTransferLength) {
  SimulatedCameraConfig config;
  config.image.photos[0x000100] = stored_photo(GetParam().size, 9);
  SimRig rig(config);
  CameraSession session = rig.open();
  const PhotoTransfer result = fetch_photo(session, entry_of_size(0x000100, GetParam().size));
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.transfer_size, GetParam().transfer);
  EXPECT_EQ(result.log.size(), 28u + GetParam().transfer / 8192);
  EXPECT_EQ(result.payload.size(), GetParam().size);
  EXPECT_EQ(result.payload, rig.camera->config().image.photos.at(0x000100));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FetchPhotoSizes,
                         ::testing::Values(SizeCase{1, 8192}, SizeCase{7759, 8192}, SizeCase{7760, 16384},
                                           SizeCase{25356, 32768}, SizeCase{101388, 106496},
                                           SizeCase{16776783, 16777216}));

struct RefusedSize {
  std::uint32_t size;
  std::string error;
};

class FetchPhotoRefused : public ::testing::TestWithParam<RefusedSize> {};

TEST_P(FetchPhotoRefused, SendsNothing) {
  SimRig rig;
  CameraSession session = rig.open();
  const PhotoTransfer result = fetch_photo(session, entry_of_size(0x000100, GetParam().size));
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, GetParam().error);
  EXPECT_TRUE(result.log.empty());
  EXPECT_TRUE(result.transfer.empty());
  EXPECT_EQ(result.payload_size, GetParam().size);
  EXPECT_EQ(rig.camera->pipe_transfers(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FetchPhotoRefused,
                         ::testing::Values(RefusedSize{0, "PAT reports a zero-byte photo"},
                                           RefusedSize{16776784, "PAT-derived transfer exceeds the 16 MiB safety cap"},
                                           RefusedSize{16777215,
                                                       "PAT-derived transfer exceeds the 16 MiB safety cap"}));

TEST(FetchPhoto, ChunkTimeoutKeepsEarlierChunks) {
  SimulatedCameraConfig config;
  config.image.photos[0x000100] = stored_photo(25356, 1);
  config.fault = [](const sim::TransferContext& t) -> std::optional<FaultAction> {
    if (t.chunk == 3) return FaultAction{FaultAction::Kind::Fail, 121};
    return std::nullopt;
  };
  SimRig rig(config);
  CameraSession session = rig.open();
  const PhotoTransfer result = fetch_photo(session, entry_of_size(0x000100, 25356));
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "WinUsb_ReadPipe (Win32 error 121)");
  EXPECT_EQ(result.transfer.size(), 2u * 8192u);
  EXPECT_TRUE(result.payload.empty());
  EXPECT_EQ(result.transfer_size, 32768u);
  ASSERT_EQ(result.log.size(), 28u + 3u);
  EXPECT_EQ(result.log.back().label, "PHOTO data chunk 3");
  EXPECT_FALSE(result.log.back().ok);
  EXPECT_EQ(result.log.back().error_code, 121u);
  EXPECT_TRUE(result.log.back().data.empty());
  EXPECT_EQ(rig.clock.slept_ms() >= 5000u, true) << "the 5000 ms pipe timeout was waited out";
}

TEST(FetchPhoto, SecondPhotoOnOneSessionAfterAFailure) {
  SimulatedCameraConfig config;
  config.image.photos[0x000100] = stored_photo(9000, 1);
  config.image.photos[0x000200] = stored_photo(300, 2);
  config.fault = [](const sim::TransferContext& t) -> std::optional<FaultAction> {
    if (t.photo_ordinal == 1 && t.chunk == 1) return FaultAction{FaultAction::Kind::Fail, 121};
    return std::nullopt;
  };
  SimRig rig(config);
  CameraSession session = rig.open();
  EXPECT_FALSE(fetch_photo(session, entry_of_size(0x000100, 9000)).ok);
  const PhotoTransfer second = fetch_photo(session, entry_of_size(0x000200, 300));
  ASSERT_TRUE(second.ok) << second.error;
  EXPECT_EQ(second.payload, rig.camera->config().image.photos.at(0x000200));
  EXPECT_EQ(second.log[0].sequence, 1u) << "each fetch has its own log";
  EXPECT_TRUE(only_allowed_commands(*rig.camera));
}

}  // namespace
}  // namespace velmora
