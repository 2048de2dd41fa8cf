// Every camera transfer of a refresh, a preview and a download fails in turn
// with every kind of fault, every sequence in turn starts with a jam that
// stays, and every file operation of a download fails in turn. Each run must
// end as documented: with its result or one of the operation's failure
// texts, counts and report agreeing, the device closed, only allowed bytes
// sent, and nothing on disk partial or overwritten.
// VELMORA_SWEEP_STRIDE=k tries every k-th position only (the sanitizer build's
// default is a fixed sample).

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "ops/download_rig.h"
#include "ops/preview.h"
#include "output/naming.h"
#include "output/new_file.h"
#include "render/demosaic.h"
#include "support/faulty_file_api.h"
#include "support/invariants.h"

namespace velmora {
namespace {

using sim::FaultAction;
using test::DownloadRig;
using namespace test;

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

// What a download is asked for and the disk it writes to. The destination
// holds a file under the first photo's archive name, which must survive.
struct Download {
  std::vector<std::uint64_t> indices{0, 1};
  DownloadOptions options;
  FileFaults disk = {};
  std::function<void(const std::filesystem::path& destination)> prepare = nullptr;
};

struct RunEnd {
  std::uint64_t transfers = 0;
  std::uint64_t sequences = 0;
  std::size_t file_calls = 0;
  bool succeeded = false;
  DownloadResult result;
  FolderContents files;
  std::string problem;
};

std::vector<test::StoredPhoto> photos() {
  return {{test::kLowRes | test::kCompressedFlag, test::compressed_photo(0)},
          {test::kLowRes, test::uncompressed_photo()}};
}

std::string first_of(std::initializer_list<std::string> problems) {
  for (const auto& problem : problems) {
    if (!problem.empty()) return problem;
  }
  return {};
}

RunEnd run(Op op, const Fault& fault, const Download& download = {}, const FolderContents* reference = nullptr) {
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
  if (download.prepare) download.prepare(folder);
  const FolderContents before = folder_contents(folder);
  FaultyFileApi disk(download.disk);
  WatchedFiles files(disk);
  const ProgressFn progress = [&rig](const std::u16string& line) { rig.progress.push_back(utf16_to_utf8(line)); };
  const Operation operation = op == Op::Refresh ? Operation::Refresh
                              : op == Op::Preview ? Operation::Preview
                                                  : Operation::Download;
  try {
    if (op == Op::Refresh) {
      const ScanData scan = scan_camera(rig.env(), progress);
      const std::string read_line =
          "Camera directory read: " + std::to_string(scan.entries.size()) + " validated item(s).";
      if (scan.observation_logs.size() != 5 || rig.progress.back() != read_line) end.problem = "refresh report";
    } else if (op == Op::Preview) {
      const RgbImage image = render_preview(rig.env(), rig.snapshot, 0, kPatternBggr, progress);
      if (image.width != 176 || image.height != 144) end.problem = "preview of other dimensions";
    } else {
      DownloadOptions options = download.options;
      options.destination = folder.u16string();
      const auto n = download.indices.size();
      end.result = run_download(rig.env(), rig.snapshot, download.indices, options, progress, files, rig.time);
      end.problem = download_problem(end.result, n, rig.progress);
      if (static_cast<std::size_t>(std::count_if(rig.progress.begin(), rig.progress.end(), [](const std::string& l) {
            return l.rfind("Downloading photo ", 0) == 0;
          })) != n) {
        end.problem = "a photo was not tried";
      }
    }
    end.succeeded = true;
  } catch (const Failure& failure) {
    end.problem = failure_text_problem(operation, failure.what());
  }
  end.transfers = rig.camera->pipe_transfers() - base;
  end.sequences = sequences;
  end.file_calls = disk.countable_calls();
  end.files = folder_contents(folder);
  // The session log tells of the faults; it need only be complete and agree with the counts.
  FolderContents comparable = end.files;
  std::erase_if(comparable, [&end](const auto& file) {
    if (file.first.find("Velmora_session_") == std::string::npos) return false;
    const std::string completed = "\nCompleted: " + std::to_string(end.result.saved) + " successful; " +
                                  std::to_string(end.result.failed) + " failed.\n";
    if (std::string(file.second.begin(), file.second.end()).find(completed) == std::string::npos) {
      end.problem = first_of({end.problem, "session log disagrees with the counts"});
    }
    return true;
  });
  end.problem = first_of({end.problem, camera_problem(*rig.camera), files.problem(),
                          folder_problem(before, comparable, reference)});
  return end;
}

#ifndef VELMORA_SWEEP_DEFAULT_STRIDE
#define VELMORA_SWEEP_DEFAULT_STRIDE 1
#endif

std::uint64_t stride() {
  const char* text = std::getenv("VELMORA_SWEEP_STRIDE");
  return text != nullptr && std::atoi(text) > 0 ? static_cast<std::uint64_t>(std::atoi(text))
                                                : VELMORA_SWEEP_DEFAULT_STRIDE;
}

void sweep(Op op) {
  Download download;
  download.options.save_usb_log = true;
  const RunEnd clean = run(op, {}, download);
  ASSERT_TRUE(clean.succeeded && clean.problem.empty()) << clean.problem;
  std::uint64_t runs = 0, results = 0;
  const auto check = [&](const Fault& fault, const std::string& what) {
    const RunEnd end = run(op, fault, download, &clean.files);
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

// Each failed file operation fails its photo (or, for the session log, the
// job) and leaves only complete files that a run without faults makes too.
void disk_sweep(const Download& download, const char* what) {
  const RunEnd clean = run(Op::Download, {}, download);
  ASSERT_TRUE(clean.succeeded && clean.problem.empty()) << clean.problem;
  std::size_t runs = 0;
  for (std::size_t n = 1; n <= clean.file_calls; n += stride(), ++runs) {
    Download faulty = download;
    faulty.disk.fail_call = n;
    const RunEnd end = run(Op::Download, {}, faulty, &clean.files);
    EXPECT_EQ(end.problem, "") << what << ", file operation " << n;
    EXPECT_TRUE(!end.succeeded || end.result.failed > 0) << what << ", file operation " << n << " failed unnoticed";
  }
  std::cout << what << ": " << clean.file_calls << " file operations, stride " << stride() << ": " << runs
            << " runs ended as documented\n";
}

TEST(DiskFaults, EveryFileOperationOfEveryPhotoWithTheDefaultOptions) {
  disk_sweep({}, "every photo, default options");
}

TEST(DiskFaults, EveryFileOperationOfOnePhotoWithEveryOption) {
  Download download;
  download.indices = {0};
  for (const auto flag : kDownloadFlags) download.options.*flag = true;
  disk_sweep(download, "one photo, every option");
}

TEST(DiskFaults, FullDiskReadOnlyFolderAndFolderRemovedDuringTheDownload) {
  const RunEnd clean = run(Op::Download, {});
  std::uint64_t bytes = 0;
  for (const auto& [name, content] : clean.files) bytes += content.size();
  Download dated;
  dated.options.dated_folder = true;
  struct Case {
    const char* name;
    Download download;
    int saved;
  };
  Case cases[] = {{"full disk", {}, 0}, {"disk full at the last byte", {}, 1}, {"read-only folder", {}, 0},
                  {"dated folder removed before the second photo", dated, 1}};
  cases[0].download.disk.disk_space = 0;
  cases[1].download.disk.disk_space = bytes - 4 - 1;  // the kept file is not written again
  cases[2].download.disk.fail_create = true;
  // The first photo makes its archive and three renders.
  cases[3].download.disk.before_create = [](std::size_t create, const std::filesystem::path& path) {
    if (create == 5) std::filesystem::remove_all(path.parent_path());
  };
  for (const auto& c : cases) {
    const RunEnd reference = run(Op::Download, {}, Download{c.download.indices, c.download.options});
    const RunEnd end = run(Op::Download, {}, c.download, &reference.files);
    EXPECT_EQ(end.problem, "") << c.name;
    EXPECT_EQ(end.result.saved, c.saved) << c.name;
    EXPECT_EQ(end.result.failed, 2 - c.saved) << c.name;
  }
}

// The archive of the first photo when its name and the counters up to a
// boundary are taken: _02, _99, _100, the last allowed, and one past it.
TEST(DiskFaults, CollisionCounterThroughItsBoundaries) {
  const std::pair<int, const char*> cases[] = {
      {1, "_02"}, {98, "_99"}, {99, "_100"}, {9998, "_9999"}, {9999, nullptr}};
  for (const auto& [taken, expected] : cases) {
    Download download;
    download.prepare = [taken = taken](const std::filesystem::path& folder) {
      const auto base = folder / "Velmora_001_LR-CP_250314093005.velmoraraw";
      for (int n = 2; n <= taken; ++n) {
        std::filesystem::create_hard_link(
            base, folder / ("Velmora_001_LR-CP_250314093005" + collision_counter_text(n) + ".velmoraraw"));
      }
    };
    const RunEnd end = run(Op::Download, {}, download);
    EXPECT_EQ(end.problem, "") << taken;
    EXPECT_EQ(end.result.saved, expected ? 2 : 1) << taken;
    if (expected) {
      const std::string name = std::string("Velmora_001_LR-CP_250314093005") + expected + ".velmoraraw";
      EXPECT_GT(end.files.at(name).size(), 4u) << name;
    } else {
      EXPECT_EQ(utf16_to_utf8(end.result.errors), "Photo 1: Too many filename collisions\n");
    }
  }
}

}  // namespace
}  // namespace velmora
