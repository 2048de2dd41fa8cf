#pragma once
// The monotonic clock and the thread sleep, mirroring QueryPerformanceCounter,
// QueryPerformanceFrequency and Sleep.

#include <cstdint>

namespace velmora {

class Clock {
 public:
  virtual ~Clock() = default;
  // Mirrors QueryPerformanceCounter: ticks of a monotonic counter. Never blocks.
  virtual std::int64_t performance_counter() = 0;
  // Mirrors QueryPerformanceFrequency: ticks per second, fixed at boot. Never blocks.
  virtual std::int64_t performance_frequency() = 0;
  // Mirrors Sleep: blocks the calling thread for about `milliseconds`.
  virtual void sleep(std::uint32_t milliseconds) = 0;

  // Nanoseconds since an arbitrary fixed origin, without overflow for any counter value.
  std::uint64_t now_ns();
};

// The platform's clock: the performance counter on Windows, std::chrono::steady_clock elsewhere.
Clock& system_clock();

// A clock that only moves when told to: sleeps advance it at once. For tests
// and for a simulator that charges virtual transfer time.
class VirtualClock : public Clock {
 public:
  std::int64_t performance_counter() override { return now_; }
  std::int64_t performance_frequency() override { return 1'000'000'000; }
  void sleep(std::uint32_t milliseconds) override;
  void advance_ns(std::int64_t ns) { now_ += ns; }
  std::uint64_t slept_ms() const { return slept_ms_; }
  std::uint64_t sleep_calls() const { return sleep_calls_; }

 private:
  std::int64_t now_ = 1'000'000'000;
  std::uint64_t slept_ms_ = 0;
  std::uint64_t sleep_calls_ = 0;
};

}  // namespace velmora
