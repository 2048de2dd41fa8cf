#include <gtest/gtest.h>

#include "protocol/exchange.h"
#include "support/sim_fixture.h"

namespace velmora {
namespace {

using sim::SimulatedCameraConfig;
using test::only_allowed_commands;
using test::SimRig;

struct Exchange {
  explicit Exchange(SimulatedCameraConfig config = {}) : rig(std::move(config)) {}
  SimRig rig;
  CameraSession session = rig.open();
  TransferLog log;
  OperationClock clock = OperationClock::start(rig.clock);
  ExchangeContext context{session, log, clock};

  // Brings the camera to the point where it expects positioning polls.
  void address_two_bytes() {
    request_status(context, "initial status");
    for (const std::uint8_t byte : {0x51, 0x0F, 0x00}) {
      send_command(context, {0x19, byte}, "step");
      request_status(context, "step");
    }
    send_command(context, {0x19, 0x00}, "address byte 2");
  }
};

struct PollCase {
  const char* name;
  int ack_after_polls;       // 0: never
  std::uint8_t other_status;
  std::int32_t deadline_ms;
  std::uint32_t status_latency_ms;
  bool acknowledged;
  std::size_t attempts;
};

class Poll : public ::testing::TestWithParam<PollCase> {};

TEST_P(Poll, EndsOnAckDeadlineOrAttemptCap) {
  const PollCase& p = GetParam();
  SimulatedCameraConfig config;
  config.ack_after_polls = p.ack_after_polls;
  config.unacknowledged_status = p.other_status;
  config.status_latency_ms = p.status_latency_ms;
  Exchange x(config);
  x.address_two_bytes();
  const std::size_t before = x.log.size();
  const std::uint64_t start_ns = x.rig.clock.now_ns();
  EXPECT_EQ(poll_positioning(x.context, "GET_DATA", p.deadline_ms), p.acknowledged);
  EXPECT_EQ(x.log.size() - before, 2 * p.attempts);
  const std::uint64_t spent_ms = (x.rig.clock.now_ns() - start_ns) / 1'000'000;
  if (!p.acknowledged && p.attempts < 256) {
    EXPECT_GE(spent_ms, static_cast<std::uint64_t>(p.deadline_ms));
    EXPECT_LE(spent_ms, static_cast<std::uint64_t>(p.deadline_ms) + 2 + 2 * p.status_latency_ms);
  }
  for (std::size_t i = before; i + 1 < x.log.size(); ++i) EXPECT_LE(x.log[i].elapsed_ms, x.log[i + 1].elapsed_ms);
  EXPECT_TRUE(only_allowed_commands(*x.rig.camera));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Poll,
    ::testing::Values(
        PollCase{"immediate_ack", 1, 0x00, 2000, 0, true, 1},
        PollCase{"ack_on_third", 3, 0x00, 250, 0, true, 3},
        PollCase{"jam_status_does_not_end_poll", 5, 0x02, 250, 0, true, 5},
        // 2 ms between attempts: the 250 ms deadline is reached after the 126th answer.
        PollCase{"quick_zeros_hit_250ms_deadline", 0, 0x00, 250, 0, false, 126},
        PollCase{"slow_zeros_hit_250ms_deadline", 0, 0x00, 250, 1, false, 84},
        // 256 attempts take only 510 ms, well inside 2000 ms.
        PollCase{"attempt_cap_before_2000ms", 0, 0x00, 2000, 0, false, 256},
        PollCase{"passed_deadline_still_tries_once", 1, 0x00, 0, 0, true, 1},
        PollCase{"passed_deadline_no_ack", 0, 0x00, 0, 0, false, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct JamCase {
  const char* name;
  bool clear_works;
  bool expected;
};

class ClearJam : public ::testing::TestWithParam<JamCase> {};

TEST_P(ClearJam, FourRecordsAndTenMillisecondPause) {
  SimulatedCameraConfig config;
  config.jam_at = [](const sim::SequenceContext&) { return true; };
  config.jam_clear_works = GetParam().clear_works;
  config.command_latency_ms = 1;
  config.status_latency_ms = 1;
  Exchange x(config);
  EXPECT_EQ(request_status(x.context, "initial status")[0], 0x02);
  ASSERT_EQ(clear_jam(x.context, "PHOTO GET_DATA"), GetParam().expected);
  ASSERT_EQ(x.log.size(), 6u);
  EXPECT_EQ(x.log[2].data, (std::vector<std::uint8_t>{0x19}));
  EXPECT_EQ(x.log[2].label, "PHOTO GET_DATA documented single-attempt jam-clear token");
  EXPECT_EQ(x.log[3].label, "PHOTO GET_DATA documented jam-clear response");
  EXPECT_EQ(x.log[3].endpoint, 0x83);
  EXPECT_EQ(x.log[4].label, "PHOTO GET_DATA post-clear status / request status");
  EXPECT_EQ(x.log[5].label, "PHOTO GET_DATA post-clear status / status response");
  EXPECT_EQ(x.log[4].elapsed_ms - x.log[3].elapsed_ms, 1u + 10u) << "the 1 ms answer, then the 10 ms pause";
  EXPECT_TRUE(only_allowed_commands(*x.rig.camera));
}

INSTANTIATE_TEST_SUITE_P(Cases, ClearJam,
                         ::testing::Values(JamCase{"clear_works", true, true},
                                           JamCase{"jam_stays", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
