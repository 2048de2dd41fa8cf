#include "platform/clock.h"

namespace velmora {

std::uint64_t Clock::now_ns() {
  const auto counter = static_cast<std::uint64_t>(performance_counter());
  const auto frequency = static_cast<std::uint64_t>(performance_frequency());
  if (frequency == 0) return 0;
  // Split so that counter * 1e9 cannot overflow.
  return (counter / frequency) * 1'000'000'000ull + (counter % frequency) * 1'000'000'000ull / frequency;
}

void VirtualClock::sleep(std::uint32_t milliseconds) {
  now_ += static_cast<std::int64_t>(milliseconds) * 1'000'000;
  slept_ms_ += milliseconds;
  ++sleep_calls_;
}

}  // namespace velmora
