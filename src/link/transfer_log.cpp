#include "link/transfer_log.h"

#include <algorithm>
#include <limits>

namespace velmora {

OperationClock OperationClock::start(Clock& clock) { return OperationClock(clock, clock.now_ns()); }

std::uint64_t OperationClock::elapsed_ms() const {
  const std::uint64_t now = clock_->now_ns();
  return now > start_ns_ ? (now - start_ns_) / 1'000'000 : 0;
}

void paced_sleep(Clock& clock, std::int64_t milliseconds) {
  if (milliseconds <= 0) return;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  constexpr std::uint64_t kOneDayMs = 86'400'000;
  const std::uint64_t start = clock.now_ns();
  const auto ms = static_cast<std::uint64_t>(milliseconds);
  const std::uint64_t duration_ns = ms > kMax / 1'000'000 ? kMax : ms * 1'000'000;
  const std::uint64_t target = duration_ns > kMax - start ? kMax : start + duration_ns;
  for (;;) {
    const std::uint64_t now = clock.now_ns();
    if (now >= target) return;
    const std::uint64_t remaining_ms = (target - now + 999'999) / 1'000'000;
    clock.sleep(static_cast<std::uint32_t>(std::min(remaining_ms, kOneDayMs)));
  }
}

}  // namespace velmora
