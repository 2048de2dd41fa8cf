#include <gtest/gtest.h>

#include "link/transfer_log.h"
#include "link/win32_failure.h"
#include "platform/last_error.h"

namespace velmora {
namespace {

TEST(PacedSleep, NeverReturnsEarlyOnTheRealClock) {
  Clock& clock = system_clock();
  for (int ms : {1, 2, 5}) {
    const std::uint64_t start = clock.now_ns();
    paced_sleep(clock, ms);
    EXPECT_GE(clock.now_ns() - start, static_cast<std::uint64_t>(ms) * 1'000'000) << ms << " ms";
  }
}

TEST(PacedSleep, ZeroOrNegativeDoesNotSleep) {
  VirtualClock clock;
  paced_sleep(clock, 0);
  paced_sleep(clock, -5);
  EXPECT_EQ(clock.sleep_calls(), 0u);
}

// A clock whose Sleep wakes up early, as Windows' Sleep may with a coarse timer.
class EarlyWakeClock : public VirtualClock {
 public:
  void sleep(std::uint32_t ms) override {
    requests.push_back(ms);
    advance_ns(static_cast<std::int64_t>(ms) * 1'000'000 / 2 + 1);
  }
  std::vector<std::uint32_t> requests;
};

TEST(PacedSleep, SleepsAgainUntilTheTargetIsReached) {
  EarlyWakeClock clock;
  const std::uint64_t start = clock.now_ns();
  paced_sleep(clock, 10);
  EXPECT_GE(clock.now_ns() - start, 10'000'000u);
  ASSERT_GE(clock.requests.size(), 2u);
  EXPECT_EQ(clock.requests[0], 10u);
  EXPECT_LT(clock.requests[1], 10u) << "the remaining time, rounded up";
}

TEST(PacedSleep, LongDurationsSleepAtMostOneDayPerCall) {
  VirtualClock clock;
  paced_sleep(clock, 3LL * 86'400'000 + 1);
  EXPECT_EQ(clock.sleep_calls(), 4u);
}

TEST(OperationClock, ElapsedTruncatesToWholeMillisecondsAndNeverDecreases) {
  VirtualClock clock;
  const OperationClock op = OperationClock::start(clock);
  EXPECT_EQ(op.elapsed_ms(), 0u);
  clock.advance_ns(1'999'999);
  EXPECT_EQ(op.elapsed_ms(), 1u);
  clock.advance_ns(1);
  EXPECT_EQ(op.elapsed_ms(), 2u);

  const OperationClock real = OperationClock::start();
  std::uint64_t last = 0;
  for (int i = 0; i < 1000; ++i) {
    const std::uint64_t now = real.elapsed_ms();
    EXPECT_GE(now, last);
    last = now;
  }
}

class OddFrequencyClock : public VirtualClock {
 public:
  std::int64_t performance_counter() override { return counter; }
  std::int64_t performance_frequency() override { return 3'579'545; }  // the ACPI PM timer
  std::int64_t counter = 0;
};

TEST(Clock, ConvertsLargeCountersWithoutOverflow) {
  OddFrequencyClock clock;
  clock.counter = 3'579'545LL * 1'000'000'000;  // a billion seconds of uptime
  EXPECT_EQ(clock.now_ns(), 1'000'000'000ull * 1'000'000'000ull);
  clock.counter += 3'579'545 / 2;
  EXPECT_EQ(clock.now_ns(), 1'000'000'000ull * 1'000'000'000ull + 499'999'860ull);
}

TEST(Win32Failure, ReadsTheLastErrorWhenBuilt) {
  set_last_error(2);
  const Win32Failure failure("CreateFile");
  set_last_error(0);
  EXPECT_STREQ(failure.what(), "CreateFile (Win32 error 2)");
  EXPECT_EQ(failure.code(), 2u);
  set_last_error(4294967295u);
  EXPECT_STREQ(Win32Failure("X").what(), "X (Win32 error 4294967295)");
}

}  // namespace
}  // namespace velmora
