// Every camera transfer of a refresh, a preview and a download fails in turn
// with every kind of fault, every sequence in turn starts with a jam that
// stays, and every file call of a download fails in turn. Each run must end
// in its result or a failure text of the system, counts and report agreeing,
// the device closed, only allowed bytes sent, and nothing on disk partial,
// overwritten or unlike what a run without faults makes.
// VELMORA_SWEEP_STRIDE=k tries every k-th position only.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ops/preview.h"
#include "output/new_file.h"
#include "render/demosaic.h"
#include "support/download_rig.h"

namespace velmora {
namespace {

using sim::FaultAction;
using namespace test;

// The codes the transport and the simulator name, one nobody names, and the faults that are not codes.
constexpr auto kFail = FaultAction::Kind::Fail;
const FaultAction kTransferFaults[] = {{kFail, kErrorGenFailure},    {kFail, kErrorSemTimeout},
                                       {kFail, kErrorDeviceNotConnected}, {kFail, kErrorFileNotFound},
                                       {kFail, kErrorInvalidHandle}, {kFail, 995},
                                       {FaultAction::Kind::Short, 0, 1}, {FaultAction::Kind::Unplug}};

// Counted from the operation's start: the n-th transfer gets the fault, or
// without one the n-th sequence starts with a jam that stays.
struct Fault {
  std::optional<FaultAction> transfer;
  std::uint64_t n = 0;
};

struct Job {
  std::vector<std::uint64_t> indices{0, 1};
  DownloadOptions options = {};
  std::size_t fail_call = 0;  // the n-th file call fails, which must fail its photo or the job
};

struct RunEnd {
  std::uint64_t transfers = 0, sequences = 0, file_calls = 0;
  FolderContents files = {};
  std::string problem = {};
};

// Without a reference, a run without faults. The destination holds a file
// under the first photo's archive name, which must survive: the archive takes
// the name's first counter.
RunEnd run(Operation op, const Fault& fault, const Job& job, const FolderContents* reference = nullptr) {
  bool counting = op == Operation::Refresh;
  std::uint64_t base = 0, sequences = 0;
  sim::SimulatedCameraConfig config;
  config.jam_clear_works = false;
  config.fault = [&](const sim::TransferContext& t) {
    return counting && fault.transfer && t.total_transfer == base + fault.n ? fault.transfer : std::nullopt;
  };
  config.jam_at = [&](const sim::SequenceContext&) { return counting && ++sequences == fault.n && !fault.transfer; };
  DownloadRig rig({photo(true), photo(false)}, config);
  if (op != Operation::Refresh) rig.scan();
  base = rig.camera.pipe_transfers();
  counting = true;

  RunEnd end;
  const auto folder = rig.destination();
  std::filesystem::create_directories(folder);
  write_new_text_file(folder / "Velmora_001_LR-CP_250314093005.velmoraraw", "keep");
  const FolderContents before = folder_contents(folder);
  rig.files.faults.fail_call = job.fail_call;
  DownloadResult result;
  try {
    if (op == Operation::Refresh) {
      const ScanData scan = scan_camera(rig.env, rig.progress);
      const auto read = "Camera directory read: " + std::to_string(scan.entries.size()) + " validated item(s).";
      if (scan.observation_logs.size() != 5 || rig.lines.back() != read) end.problem = "refresh report";
    } else if (op == Operation::Preview) {
      const RgbImage image = render_preview(rig.env, rig.snapshot, 0, kPatternBggr, rig.progress);
      if (image.width != 176 || image.height != 144) end.problem = "preview of other dimensions";
    } else {
      result = rig.run(job.indices, job.options);
      const auto tried = std::count_if(rig.lines.begin(), rig.lines.end(), [](auto& l) { return l.starts_with("Downloading"); });
      end.problem = first_problem({download_problem(result, job.indices.size(), rig.lines),
                                   std::size_t(tried) == job.indices.size() ? "" : "a photo was not tried",
                                   job.fail_call && !result.failed ? "a failed file call went unnoticed" : ""});
    }
  } catch (const Failure& failure) {
    end.problem = first_problem({failure_text_problem(op, failure.what()), reference ? "" : "failed without faults"});
  }
  end.transfers = rig.camera.pipe_transfers() - base;
  end.sequences = sequences;
  end.file_calls = rig.files.countable_calls();
  end.files = folder_contents(folder);
  // The session log tells of the faults; it need only be complete and agree with the counts.
  FolderContents comparable = end.files;
  const std::string completed = "\nCompleted: " + std::to_string(result.saved) + " successful; " +
                                std::to_string(result.failed) + " failed.\n";
  std::erase_if(comparable, [&](const auto& file) {
    const bool log = file.first.find("Velmora_session_") != std::string::npos;
    if (log && std::string(file.second.begin(), file.second.end()).find(completed) == std::string::npos) {
      end.problem = first_problem({end.problem, "session log disagrees with the counts"});
    }
    return log;
  });
  end.problem = first_problem({end.problem, camera_problem(rig.camera, &rig.tree), rig.files.problem(),
                               folder_problem(before, comparable, reference)});
  return end;
}

#ifndef VELMORA_SWEEP_DEFAULT_STRIDE
#define VELMORA_SWEEP_DEFAULT_STRIDE 1
#endif

const char* const kStrideText = std::getenv("VELMORA_SWEEP_STRIDE");
std::uint64_t stride() { return std::uint64_t(std::max(1, kStrideText ? std::atoi(kStrideText) : VELMORA_SWEEP_DEFAULT_STRIDE)); }

TEST(FaultSweep, EveryTransferAndSequenceOfEveryOperation) {
  Job job;
  job.options.save_usb_log = true;
  for (const Operation op : {Operation::Refresh, Operation::Preview, Operation::Download}) {
    const RunEnd clean = run(op, {}, job);
    ASSERT_EQ(clean.problem, "");
    const auto check = [&](const Fault& fault) {
      EXPECT_EQ(run(op, fault, job, &clean.files).problem, "")
          << "operation " << int(op) << ", jam " << !fault.transfer << ", at " << fault.n;
    };
    for (std::uint64_t n = 1; n <= clean.transfers; n += stride()) {
      for (const auto& action : kTransferFaults) check(Fault{action, n});
    }
    for (std::uint64_t n = 1; n <= clean.sequences; n += stride()) check(Fault{std::nullopt, n});
  }
}

TEST(FaultSweep, EveryFileOperation) {
  Job one_with_everything{{0}};
  for (const auto flag : kDownloadFlags) one_with_everything.options.*flag = true;
  for (const Job& job : {Job{}, one_with_everything}) {
    const RunEnd clean = run(Operation::Download, {}, job);
    ASSERT_EQ(clean.problem, "");
    for (std::uint64_t n = 1; n <= clean.file_calls; n += stride()) {
      EXPECT_EQ(run(Operation::Download, {}, {job.indices, job.options, n}, &clean.files).problem, "") << "file call " << n;
    }
  }
}

}  // namespace
}  // namespace velmora
