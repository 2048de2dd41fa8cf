#include <windows.h>
#include <timeapi.h>

#include "platform/clock.h"

namespace velmora {
namespace {

class PerformanceCounterClock final : public Clock {
 public:
  std::int64_t performance_counter() override {
    LARGE_INTEGER value;
    ::QueryPerformanceCounter(&value);
    return value.QuadPart;
  }
  std::int64_t performance_frequency() override {
    LARGE_INTEGER value;
    ::QueryPerformanceFrequency(&value);
    return value.QuadPart;
  }
  void sleep(std::uint32_t milliseconds) override {
    // The protocol pauses for one to a few milliseconds, hundreds of times per
    // download; at the default timer resolution each would last 15.6 ms. The
    // request ends with the process.
    static const bool precise = ::timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)precise;
    ::Sleep(milliseconds);
  }
};

}  // namespace

Clock& system_clock() {
  static PerformanceCounterClock clock;
  return clock;
}

}  // namespace velmora
