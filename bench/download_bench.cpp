// A whole download of the simulated camera's built-in photos on the real
// clock, with the simulator's full-speed USB timing. The camera's own time is
// what its clock was asked to sleep during the photo phase: the transfer time
// the simulator charges plus the pauses the protocol prescribes. Everything
// above it is the host's work that did not hide behind the camera.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "ops/download.h"
#include "ops/refresh.h"
#include "platform/clock.h"
#include "sim/scenarios.h"
#include "sim/simulated_camera.h"

namespace velmora::bench {
namespace {

// The system clock, remembering how long it was asked to sleep.
class SleepCountingClock final : public Clock {
 public:
  std::int64_t performance_counter() override { return system_clock().performance_counter(); }
  std::int64_t performance_frequency() override { return system_clock().performance_frequency(); }
  void sleep(std::uint32_t milliseconds) override {
    asked_ms_ += milliseconds;
    const auto start = std::chrono::steady_clock::now();
    system_clock().sleep(milliseconds);
    slept_ns_ += std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
  }
  // What the camera and the protocol asked for, and what the sleeps took.
  std::uint64_t asked_ms() const { return asked_ms_; }
  std::uint64_t slept_ns() const { return slept_ns_; }

 private:
  std::atomic<std::uint64_t> asked_ms_{0};
  std::atomic<std::uint64_t> slept_ns_{0};
};

// Output goes to memory-backed storage where there is one, so the figure is
// the job's and not the disk's.
std::filesystem::path output_root() {
  const std::filesystem::path shm = "/dev/shm";
  std::error_code error;
  const auto base = std::filesystem::is_directory(shm, error) ? shm : std::filesystem::temp_directory_path();
  return base / ("velmora-bench-" + std::to_string(::getpid()));
}

DownloadOptions every_option() {
  DownloadOptions o;
  for (const auto flag : kDownloadFlags) o.*flag = true;
  o.dated_folder = false;
  return o;
}

void run_simulated_download(benchmark::State& state, DownloadOptions options) {
  SleepCountingClock clock;
  sim::SimulatedSetup setup = sim::healthy_setup(sim::builtin_camera_image());
  sim::SimulatedCamera camera(sim::with_realistic_timing(std::move(setup.camera)), clock);
  sim::SimulatedDeviceTree tree(std::move(setup.tree));
  const CameraEnvironment env{camera, tree, clock};
  const ScanData snapshot = scan_camera(env, [](const std::u16string&) {});
  std::vector<std::uint64_t> indices;
  for (std::size_t i = 0; i < snapshot.entries.size(); ++i) indices.push_back(i);

  const std::filesystem::path root = output_root();
  double camera_seconds = 0.0;
  double slept_seconds = 0.0;
  int run = 0;
  for (auto _ : state) {
    options.destination = (root / std::to_string(run++)).u16string();
    const std::uint64_t asked_before = clock.asked_ms();
    const std::uint64_t slept_before = clock.slept_ns();
    const auto start = std::chrono::steady_clock::now();
    const DownloadResult result = run_download(env, snapshot, indices, options, [](const std::u16string&) {});
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    camera_seconds += static_cast<double>(clock.asked_ms() - asked_before) / 1e3;
    slept_seconds += static_cast<double>(clock.slept_ns() - slept_before) / 1e9;
    if (result.saved == 0) state.SkipWithError("nothing saved");
    std::filesystem::remove_all(root);
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["camera_ms"] = camera_seconds / runs * 1e3;
  // The sleeps' own overshoot, which no host work causes.
  state.counters["slept_ms"] = slept_seconds / runs * 1e3;
}

void BM_SimulatedDownloadEveryOption(benchmark::State& state) { run_simulated_download(state, every_option()); }
BENCHMARK(BM_SimulatedDownloadEveryOption)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SimulatedDownloadDefaultOptions(benchmark::State& state) { run_simulated_download(state, DownloadOptions{}); }
BENCHMARK(BM_SimulatedDownloadDefaultOptions)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora::bench
