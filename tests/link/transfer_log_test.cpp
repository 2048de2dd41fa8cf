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
  void sleep(std::uint32_t ms) override { requests.push_back(ms), counter += ms * 3'579'545LL / 2000 + 1; }
  std::int64_t performance_counter() override { return counter; }
  std::int64_t performance_frequency() override { return 3'579'545; }
  std::vector<std::uint32_t> requests;
  std::int64_t counter = 3'579'545LL * 1'000'000'000;  // a billion seconds of uptime
};

TEST(PacedSleep, NeverEarlyAtMostOneDayPerCallOnWholeMilliseconds) {
  EarlyWakeClock early;
  const OperationClock operation = OperationClock::start(early);
  paced_sleep(early, 10);
  EXPECT_EQ(early.requests, (std::vector<std::uint32_t>{10, 5, 3, 1, 1})) << "then the time still missing";
  EXPECT_EQ(operation.elapsed_ms(), 10u) << "whole milliseconds, truncated";
  EXPECT_EQ(early.now_ns() % 1'000'000'000'000'000'000ull, 10'000'433ull);

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

TEST(Win32Failure, ReadsTheLastErrorWhenBuilt) {
  set_last_error(4294967295u);
  const Win32Failure failure("CreateFile");
  set_last_error(0);
  EXPECT_STREQ(failure.what(), "CreateFile (Win32 error 4294967295)");
  EXPECT_EQ(failure.code(), 4294967295u);
}

}  // namespace
}  // namespace velmora
