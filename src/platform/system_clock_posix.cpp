#include <chrono>
#include <thread>

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
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace

Clock& system_clock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace velmora
