// The soak: refresh and download cycles on the simulator with random camera
// faults (a fixed seed, so every run is the same). Every cycle must end as
// documented with nothing left open; under the sanitizers nothing may leak;
// in the native build the peak memory must not grow after the hundredth cycle.
//
// usage: soak [CYCLES]   (default 1000)

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "base/failure.h"
#include "ops/download.h"
#include "ops/download_rig.h"
#include "support/invariants.h"

using namespace velmora;
using namespace velmora::test;

namespace {

long peak_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// AddressSanitizer holds freed memory in quarantine, so the peak grows with
// the work done; there LeakSanitizer checks for leaks at exit instead.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryMeasured = false;
#else
constexpr bool kMemoryMeasured = true;
#endif

int failed_refreshes = 0;
int failed_photos = 0;
int failed_downloads = 0;

constexpr std::uint32_t kCodes[] = {kErrorGenFailure, kErrorSemTimeout, kErrorDeviceNotConnected, 995};

// One cycle; what broke, or nothing.
std::string cycle(std::mt19937& random) {
  sim::SimulatedCameraConfig config;
  // About one transfer in 150 fails, so most cycles see a fault or two.
  config.fault = [&random](const sim::TransferContext&) -> std::optional<sim::FaultAction> {
    const auto roll = random() % 600;
    if (roll >= 4) return std::nullopt;
    if (roll == 3) return sim::FaultAction{sim::FaultAction::Kind::Short, 0, 1};
    return sim::FaultAction{sim::FaultAction::Kind::Fail, kCodes[random() % std::size(kCodes)]};
  };
  config.jam_at = [&random](const sim::SequenceContext&) { return random() % 40 == 0; };
  config.jam_clear_works = random() % 2 == 0;
  velmora::test::DownloadRig rig({{velmora::test::kLowRes | velmora::test::kCompressedFlag,
                                      velmora::test::compressed_photo(0)},
                                     {velmora::test::kLowRes, velmora::test::uncompressed_photo()}},
                                    config);
  try {
    rig.scan();
  } catch (const Failure& failure) {
    ++failed_refreshes;
    const std::string problem = failure_text_problem(Operation::Refresh, failure.what());
    return problem.empty() ? camera_problem(*rig.camera) : problem;
  }
  WatchedFiles files;
  std::filesystem::create_directories(rig.destination());
  DownloadOptions options;
  options.destination = rig.destination().u16string();
  std::vector<std::string> lines;
  try {
    const DownloadResult result =
        run_download(rig.env(), rig.snapshot, {0, 1}, options,
                     [&lines](const std::u16string& line) { lines.push_back(utf16_to_utf8(line)); }, files, rig.time);
    failed_photos += result.failed;
    if (auto problem = download_problem(result, 2, lines); !problem.empty()) return problem;
  } catch (const Failure& failure) {
    ++failed_downloads;
    if (auto problem = failure_text_problem(Operation::Download, failure.what()); !problem.empty()) return problem;
  }
  if (auto problem = files.problem(); !problem.empty()) return problem;
  return camera_problem(*rig.camera);
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 1000;
  std::mt19937 random(20261206);
  long peak_at_100 = 0;
  int failed = 0;
  for (int n = 1; n <= cycles; ++n) {
    if (const std::string problem = cycle(random); !problem.empty()) {
      std::printf("cycle %d: %s\n", n, problem.c_str());
      ++failed;
    }
    if (n == 100) peak_at_100 = peak_kib();
  }
  const long peak = peak_kib();
  std::printf("%d cycles (%d refreshes, %d downloads and %d photos failed), peak memory %ld KiB", cycles,
              failed_refreshes, failed_downloads, failed_photos, peak);
  if (cycles >= 100) std::printf(" (%ld KiB at cycle 100)", peak_at_100);
  std::printf("\n");
  // Allocator noise stays well under one page of table per cycle.
  if (kMemoryMeasured && cycles >= 100 && peak - peak_at_100 > 1024) {
    std::printf("peak memory grew after cycle 100\n");
    ++failed;
  }
  std::printf("%d passed, %d failed\n", cycles - std::min(failed, cycles), failed);
  return failed == 0 ? 0 : 1;
}
