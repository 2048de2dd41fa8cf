#include <chrono>
#include <thread>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include "platform/clock.h"

namespace velmora {
namespace {

class SteadyClock final : public Clock {
 public:
  std::int64_t performance_counter() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  std::int64_t performance_frequency() override { return 1'000'000'000; }
  void sleep(std::uint32_t milliseconds) override {
#if defined(__linux__)
    // A download pauses hundreds of times for a millisecond or a few; the
    // default 50 us of timer slack per pause would add up to whole photos.
    thread_local const bool precise = ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
    (void)precise;
#endif
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace

Clock& system_clock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace velmora
