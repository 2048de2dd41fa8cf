#include <gtest/gtest.h>

#include <numeric>

#include "protocol/directory.h"
#include "support/sim_fixture.h"

namespace velmora {
namespace {

using sim::FaultAction;
using sim::SimulatedCameraConfig;
using testing::only_allowed_commands;
using testing::SimRig;

std::vector<std::string> status_pair(const std::string& step) {
  return {step + " / request status", step + " / status response"};
}

void add(std::vector<std::string>& to, const std::vector<std::string>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

void add_step(std::vector<std::string>& to, const std::string& step) {
  to.push_back(step);
  add(to, status_pair(step));
}

std::vector<std::string> phase_labels(const std::string& phase, const std::string& op, int deadline) {
  std::vector<std::string> labels;
  add_step(labels, phase + " start 0x51");
  add_step(labels, phase + " operation " + op);
  add_step(labels, phase + " address byte 1 = 0x00");
  labels.push_back(phase + " address byte 2 = 0x00; begin bounded positioning poll");
  add(labels, status_pair(phase + " positioning poll 1 (paced; " + std::to_string(deadline) + "ms deadline)"));
  for (int b = 3; b <= 6; ++b) add_step(labels, phase + " address byte " + std::to_string(b) + " = 0x00");
  labels.push_back(phase + " final data-intent token");
  return labels;
}

std::vector<std::string> clean_labels() {
  std::vector<std::string> labels = status_pair("initial status");
  add(labels, phase_labels("INIT", "0xb5", 250));
  labels.push_back("INIT final 16-byte response");
  add(labels, status_pair("GET_DATA initial status"));
  add(labels, phase_labels("GET_DATA", "0x0f", 2000));
  labels.push_back("GET_DATA final response");
  labels.push_back("bounded read-only 8192-byte configuration/PAT read");
  return labels;
}

std::vector<std::string> labels_of(const TransferLog& log) {
  std::vector<std::string> labels;
  for (const auto& r : log) labels.push_back(r.label);
  return labels;
}

SimulatedCameraConfig with_directory() {
  SimulatedCameraConfig config;
  config.image.directory.assign(8192, 0);
  std::iota(config.image.directory.begin(), config.image.directory.end(), std::uint8_t{7});
  return config;
}

TEST(ReadDirectory, CleanObservationIs57Records) {
  SimRig rig(with_directory());
  CameraSession session = rig.open();
  const DirectoryReadResult result = read_directory(session);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(result.pat, rig.camera->config().image.directory);
  ASSERT_EQ(result.log.size(), 57u);
  EXPECT_EQ(labels_of(result.log), clean_labels());
  for (std::size_t i = 0; i < result.log.size(); ++i) {
    EXPECT_EQ(result.log[i].sequence, i + 1);
    EXPECT_TRUE(result.log[i].ok);
  }
  const TransferRecord& last = result.log.back();
  EXPECT_EQ(last.direction, "IN");
  EXPECT_EQ(last.endpoint, 0x82);
  EXPECT_EQ(last.requested, 8192u);
  EXPECT_EQ(last.data.size(), 8192u);
  EXPECT_EQ(result.log[27].label, "INIT final 16-byte response");
  EXPECT_EQ(rig.camera->pipe_timeout(0x04), 1500u);
  EXPECT_EQ(rig.camera->pipe_timeout(0x83), 1500u);
  EXPECT_EQ(rig.camera->pipe_timeout(0x82), 3000u);
  EXPECT_TRUE(only_allowed_commands(*rig.camera));
  // The exact bytes of the INIT phase, as the camera received them.
  const auto& w = rig.camera->host_writes();
  using B = std::vector<std::uint8_t>;
  const std::vector<B> init = {{0x21},       {0x19, 0x51}, {0x21}, {0x19, 0xB5}, {0x21}, {0x19, 0x00},
                               {0x21},       {0x19, 0x00}, {0x21}, {0x19, 0x00}, {0x21}, {0x19, 0x00},
                               {0x21},       {0x19, 0x00}, {0x21}, {0x19, 0x00}, {0x21}, {0x19}};
  ASSERT_GE(w.size(), init.size());
  EXPECT_EQ(std::vector<B>(w.begin(), w.begin() + static_cast<long>(init.size())), init);
}

TEST(ReadDirectory, EachExtraPollAttemptAddsTwoRecords) {
  for (int polls : {2, 5}) {
    SimulatedCameraConfig config = with_directory();
    config.ack_after_polls = polls;
    SimRig rig(config);
    CameraSession session = rig.open();
    const auto result = read_directory(session);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.log.size(), 57u + 2u * 2u * static_cast<unsigned>(polls - 1)) << polls << " polls per phase";
  }
}

TEST(ReadDirectory, ClearedInitialJamSkipsInit) {
  SimulatedCameraConfig config = with_directory();
  config.jam_at = [](const sim::SequenceContext& s) { return s.sequence == 1; };
  SimRig rig(config);
  CameraSession session = rig.open();
  const auto result = read_directory(session);
  ASSERT_TRUE(result.ok) << result.error;
  const auto labels = labels_of(result.log);
  ASSERT_GE(labels.size(), 8u);
  EXPECT_EQ(labels[2], "INITIAL documented single-attempt jam-clear token");
  EXPECT_EQ(labels[5], "INITIAL post-clear status / status response");
  EXPECT_EQ(labels[6], "GET_DATA initial status / request status");
  for (const auto& label : labels) EXPECT_EQ(label.find("INIT "), std::string::npos) << label;
  EXPECT_EQ(labels.size(), 2u + 4u + 29u);
  EXPECT_TRUE(only_allowed_commands(*rig.camera));
}

struct FailureCase {
  const char* name;
  std::function<void(SimulatedCameraConfig&)> setup;
  std::string error;
  std::size_t records;
  std::string last_label;
};

class ReadDirectoryFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ReadDirectoryFailure, ReturnsMessageAndLogSoFar) {
  SimulatedCameraConfig config = with_directory();
  GetParam().setup(config);
  SimRig rig(config);
  CameraSession session = rig.open();
  const auto result = read_directory(session);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, GetParam().error);
  EXPECT_TRUE(result.pat.empty());
  EXPECT_EQ(result.log.size(), GetParam().records);
  ASSERT_FALSE(result.log.empty());
  EXPECT_EQ(result.log.back().label, GetParam().last_label);
  if (GetParam().name == std::string("init_no_ack")) {
    for (const auto& r : result.log) EXPECT_EQ(r.label.find("GET_DATA"), std::string::npos) << r.label;
  }
  EXPECT_TRUE(only_allowed_commands(*rig.camera));
  EXPECT_TRUE(session.is_open()) << "the caller closes the session";
}

const auto kNoAck = [](SimulatedCameraConfig& c) { c.ack_after_polls = 0; };

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadDirectoryFailure,
    ::testing::Values(
        FailureCase{"initial_jam_stays",
                    [](SimulatedCameraConfig& c) {
                      c.jam_at = [](const sim::SequenceContext&) { return true; };
                      c.jam_clear_works = false;
                    },
                    "Camera still reports jammed status 0x02 after the single documented initial jam-clear attempt", 6,
                    "INITIAL post-clear status / status response"},
        FailureCase{"get_data_jam_stays",
                    [](SimulatedCameraConfig& c) {
                      c.jam_at = [](const sim::SequenceContext& s) { return s.sequence == 2; };
                      c.jam_clear_works = false;
                    },
                    "Camera still reports jammed status 0x02 after the single documented GET_DATA jam-clear attempt",
                    2 + 26 + 2 + 4, "GET_DATA post-clear status / status response"},
        // 126 attempts, 2 ms apart, reach the 250 ms deadline.
        FailureCase{"init_no_ack", kNoAck,
                    "Camera did not acknowledge INIT memory positioning within the 250 ms paced deadline",
                    2 + 10 + 2 * 126, "INIT positioning poll 126 (paced; 250ms deadline) / status response"},
        // Slow answers (10 ms each): the 2000 ms deadline comes before the attempt cap.
        FailureCase{"get_data_no_ack",
                    [](SimulatedCameraConfig& c) {
                      c.get_data_ack_after_polls = 0;
                      c.status_latency_ms = 10;
                    },
                    "Camera did not acknowledge config-data positioning within the 2000 ms paced deadline",
                    2 + 26 + 2 + 10 + 2 * 167, "GET_DATA positioning poll 167 (paced; 2000ms deadline) / status response"},
        FailureCase{"short_pat_read",
                    [](SimulatedCameraConfig& c) {
                      c.fault = [](const sim::TransferContext& t) -> std::optional<FaultAction> {
                        if (t.directory_data) return FaultAction{FaultAction::Kind::Short, 0, 8000};
                        return std::nullopt;
                      };
                    },
                    "Short USB read (expected fixed response length)", 57,
                    "bounded read-only 8192-byte configuration/PAT read; short read"},
        FailureCase{"status_timeout",
                    [](SimulatedCameraConfig& c) {
                      c.fault = [](const sim::TransferContext& t) -> std::optional<FaultAction> {
                        if (t.transfer == 5) return FaultAction{FaultAction::Kind::Fail, 121};
                        return std::nullopt;
                      };
                    },
                    "WinUsb_ReadPipe (Win32 error 121)", 5, "INIT start 0x51 / status response"},
        FailureCase{"unplugged",
                    [](SimulatedCameraConfig& c) { c.unplug_after_transfers = 30; },
                    "WinUsb_WritePipe (Win32 error 1167)", 31, "GET_DATA start 0x51"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadDirectory, ShortPatReadKeepsTheBytesInTheLog) {
  SimulatedCameraConfig config = with_directory();
  config.fault = [](const sim::TransferContext& t) -> std::optional<FaultAction> {
    if (t.directory_data) return FaultAction{FaultAction::Kind::Short, 0, 8000};
    return std::nullopt;
  };
  SimRig rig(config);
  CameraSession session = rig.open();
  const auto result = read_directory(session);
  EXPECT_EQ(result.log.back().data.size(), 8000u);
  EXPECT_EQ(result.log.back().error_code, 0u);
}

struct PreconditionCase {
  const char* name;
  std::function<void(SimulatedCameraConfig&)> setup;
  std::string message;
};

class ReadDirectoryPrecondition : public ::testing::TestWithParam<PreconditionCase> {};

TEST_P(ReadDirectoryPrecondition, RaisesBeforeAnyTransfer) {
  SimulatedCameraConfig config = with_directory();
  GetParam().setup(config);
  SimRig rig(config);
  CameraSession session = rig.open();
  try {
    read_directory(session);
    FAIL() << "expected " << GetParam().message;
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), GetParam().message);
  }
  EXPECT_EQ(rig.camera->pipe_transfers(), 0u);
  EXPECT_TRUE(rig.camera->host_writes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadDirectoryPrecondition,
    ::testing::Values(
        PreconditionCase{"variant_010f", [](SimulatedCameraConfig& c) { c.pid = 0x010F; },
                         "0.6.1 active operations are intentionally limited to verified CIF PID 010e"},
        PreconditionCase{"foreign_device", [](SimulatedCameraConfig& c) { c.vid = 0x1234; },
                         "Safety check failed: opened device is not a known MR97310 VID/PID"},
        PreconditionCase{"missing_data_pipe", [](SimulatedCameraConfig& c) { c.endpoints.pop_back(); },
                         "Required MR97310 endpoint is missing or has unexpected type"},
        PreconditionCase{"timeout_policy_fails", [](SimulatedCameraConfig& c) { c.set_pipe_policy_error = 31; },
                         "WinUsb_SetPipePolicy(PIPE_TRANSFER_TIMEOUT) (Win32 error 31)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
