// Every camera transfer of a refresh, a preview and a download fails in turn
// with every kind of fault, and every sequence in turn starts with a jam that
// stays. Each run must end as documented: with its result or one of the
// operation's failure texts, counts and report agreeing, the device closed,
// only allowed bytes sent, and nothing on disk partial or overwritten.
// VELMORA_SWEEP_STRIDE=k tries every k-th position only.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "ops/download_rig.h"
#include "ops/preview.h"
#include "output/new_file.h"
#include "render/demosaic.h"
#include "support/invariants.h"

namespace velmora {
namespace {

using sim::FaultAction;
using testing::DownloadRig;
using namespace testing_support;

struct TransferFault {
  const char* name;
  FaultAction action;
};

// The codes the transport and the simulator name, one nobody names, and the
// faults that are not codes.
const TransferFault kTransferFaults[] = {
    {"ERROR_GEN_FAILURE", {FaultAction::Kind::Fail, kErrorGenFailure}},
    {"stall timing out", {FaultAction::Kind::Fail, kErrorSemTimeout}},
    {"ERROR_DEVICE_NOT_CONNECTED", {FaultAction::Kind::Fail, kErrorDeviceNotConnected}},
    {"ERROR_FILE_NOT_FOUND", {FaultAction::Kind::Fail, kErrorFileNotFound}},
    {"ERROR_INVALID_HANDLE", {FaultAction::Kind::Fail, kErrorInvalidHandle}},
    {"ERROR_OPERATION_ABORTED (unnamed)", {FaultAction::Kind::Fail, 995}},
    {"short transfer", {FaultAction::Kind::Short, 0, 1}},
    {"unplug", {FaultAction::Kind::Unplug}},
};

enum class Op { Refresh, Preview, Download };
const char* const kOpNames[] = {"refresh", "preview", "download"};

// Counted from the operation's start: the n-th transfer gets the fault, or
// the n-th sequence starts with a jam that stays.
struct Fault {
  std::optional<FaultAction> transfer;
  bool jam = false;
  std::uint64_t n = 0;
};

struct RunEnd {
  std::uint64_t transfers = 0;
  std::uint64_t sequences = 0;
  bool succeeded = false;
  FolderContents files;
  std::string problem;
};

std::vector<testing::StoredPhoto> photos() {
  return {{testing::kLowRes | testing::kCompressedFlag, testing::compressed_photo(0)},
          {testing::kLowRes, testing::uncompressed_photo()}};
}

std::string first_of(std::initializer_list<std::string> problems) {
  for (const auto& problem : problems) {
    if (!problem.empty()) return problem;
  }
  return {};
}

RunEnd run(Op op, const Fault& fault, const FolderContents* reference = nullptr) {
  bool counting = op == Op::Refresh;
  std::uint64_t base = 0;
  std::uint64_t sequences = 0;
  sim::SimulatedCameraConfig config;
  config.jam_clear_works = false;
  config.fault = [&](const sim::TransferContext& t) -> std::optional<FaultAction> {
    if (counting && fault.transfer && t.total_transfer == base + fault.n) return fault.transfer;
    return std::nullopt;
  };
  config.jam_at = [&](const sim::SequenceContext&) { return counting && ++sequences == fault.n && fault.jam; };
  DownloadRig rig(photos(), config);
  if (op != Op::Refresh) rig.scan();
  base = rig.camera->pipe_transfers();
  counting = true;

  RunEnd end;
  const auto folder = rig.destination();
  std::filesystem::create_directories(folder);
  // A file under the first photo's name must survive the download.
  write_new_text_file(folder / "Velmora_001_LR-CP_250314093005.velmoraraw", "keep");
  const FolderContents before = folder_contents(folder);
  WatchedFiles files;
  const ProgressFn progress = [&rig](const std::u16string& line) { rig.progress.push_back(utf16_to_utf8(line)); };
  const Operation operation = op == Op::Refresh ? Operation::Refresh
                              : op == Op::Preview ? Operation::Preview
                                                  : Operation::Download;
  try {
    if (op == Op::Refresh) {
      const ScanData scan = scan_camera(rig.env(), progress);
      const std::string read_line = "Camera directory read: " + std::to_string(scan.entries.size()) + " validated item(s).";
      if (scan.observation_logs.size() != 5 || rig.progress.back() != read_line) end.problem = "refresh report";
    } else if (op == Op::Preview) {
      const RgbImage image = render_preview(rig.env(), rig.snapshot, 0, kPatternBggr, progress);
      if (image.width != 176 || image.height != 144) end.problem = "preview of other dimensions";
    } else {
      DownloadOptions options;
      options.destination = folder.u16string();
      const DownloadResult result = run_download(rig.env(), rig.snapshot, {0, 1}, options, progress, files, rig.time);
      end.problem = download_problem(result, 2, rig.progress);
      if (std::count_if(rig.progress.begin(), rig.progress.end(),
                        [](const std::string& l) { return l.rfind("Downloading photo ", 0) == 0; }) != 2) {
        end.problem = "a photo was not tried";
      }
    }
    end.succeeded = true;
  } catch (const Failure& failure) {
    end.problem = failure_text_problem(operation, failure.what());
  }
  end.transfers = rig.camera->pipe_transfers() - base;
  end.sequences = sequences;
  end.files = folder_contents(folder);
  end.problem = first_of({end.problem, camera_problem(*rig.camera), files.problem(),
                          folder_problem(before, end.files, reference)});
  return end;
}

std::uint64_t stride() {
  const char* text = std::getenv("VELMORA_SWEEP_STRIDE");
  return text != nullptr && std::atoi(text) > 0 ? static_cast<std::uint64_t>(std::atoi(text)) : 1;
}

void sweep(Op op) {
  const RunEnd clean = run(op, {});
  ASSERT_TRUE(clean.succeeded && clean.problem.empty()) << clean.problem;
  std::uint64_t runs = 0, results = 0;
  const auto check = [&](const Fault& fault, const std::string& what) {
    const RunEnd end = run(op, fault, &clean.files);
    ++runs;
    results += end.succeeded;
    EXPECT_EQ(end.problem, "") << kOpNames[static_cast<int>(op)] << ", " << what << " at " << fault.n;
  };
  for (std::uint64_t n = 1; n <= clean.transfers; n += stride()) {
    for (const auto& kind : kTransferFaults) check(Fault{kind.action, false, n}, kind.name);
  }
  for (std::uint64_t n = 1; n <= clean.sequences; n += stride()) check(Fault{std::nullopt, true, n}, "jam that stays");
  std::cout << kOpNames[static_cast<int>(op)] << ": " << clean.transfers << " transfers x "
            << std::size(kTransferFaults) << " faults + " << clean.sequences << " jammed sequences, stride "
            << stride() << ": " << runs << " runs, " << results << " ended with the result, " << runs - results
            << " with a failure text\n";
}

TEST(FaultSweep, Refresh) { sweep(Op::Refresh); }
TEST(FaultSweep, Preview) { sweep(Op::Preview); }
TEST(FaultSweep, Download) { sweep(Op::Download); }

}  // namespace
}  // namespace velmora
