#include <gtest/gtest.h>

#include "link/transfer_log.h"
#include "link/win32_failure.h"
#include "platform/last_error.h"

namespace velmora {
namespace {

// A Sleep that wakes up early, as Windows' may with a coarse timer, on a
// counter of an odd frequency (the ACPI PM timer).
class EarlyWakeClock : public VirtualClock {
 public:
  void sleep(std::uint32_t ms) override {
    requests.push_back(ms);
    counter += static_cast<std::int64_t>(ms) * 3'579'545 / 2000 + 1;
  }
  std::int64_t performance_counter() override { return counter; }
  std::int64_t performance_frequency() override { return 3'579'545; }
  std::vector<std::uint32_t> requests;
  std::int64_t counter = 0;
};

TEST(PacedSleep, NeverEarlyAndAtMostOneDayPerCall) {
  EarlyWakeClock early;
  paced_sleep(early, 10);
  EXPECT_GE(early.now_ns(), 10'000'000u);
  ASSERT_GE(early.requests.size(), 2u);
  EXPECT_EQ(early.requests[0], 10u);
  EXPECT_LT(early.requests[1], 10u) << "then the remaining time";

  VirtualClock clock;
  paced_sleep(clock, 0);
  paced_sleep(clock, -5);
  EXPECT_EQ(clock.sleep_calls(), 0u);
  paced_sleep(clock, 3LL * 86'400'000 + 1);
  EXPECT_EQ(clock.sleep_calls(), 4u);

  const std::uint64_t start = system_clock().now_ns();
  paced_sleep(system_clock(), 2);
  EXPECT_GE(system_clock().now_ns() - start, 2'000'000u);
}

TEST(OperationClock, WholeMillisecondsOnLargeCounters) {
  EarlyWakeClock clock;
  clock.counter = 3'579'545LL * 1'000'000'000;  // a billion seconds of uptime
  EXPECT_EQ(clock.now_ns(), 1'000'000'000ull * 1'000'000'000ull);
  const OperationClock op = OperationClock::start(clock);
  clock.counter += 3'579'545 / 2;
  EXPECT_EQ(clock.now_ns(), 1'000'000'000ull * 1'000'000'000ull + 499'999'860ull);
  EXPECT_EQ(op.elapsed_ms(), 499u);
}

TEST(Win32Failure, ReadsTheLastErrorWhenBuilt) {
  set_last_error(4294967295u);
  const Win32Failure failure("CreateFile");
  set_last_error(0);
  EXPECT_STREQ(failure.what(), "CreateFile (Win32 error 4294967295)");
  EXPECT_EQ(failure.code(), 4294967295u);
}

}  // namespace
}  // namespace velmora
