#include <windows.h>

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
  void sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

Clock& system_clock() {
  static PerformanceCounterClock clock;
  return clock;
}

}  // namespace velmora
