// Refresh, preview and downloads over the simulated camera's fault scenarios,
// hand-made directories and small photos: each ends in its documented result
// with the device closed and only the allowed commands sent; the files each
// option set creates; everything a download leaves, byte for byte, one photo
// at a time and overlapped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "decode/mars_decoder.h"
#include "ops/preview.h"
#include "output/new_file.h"
#include "render/render_photo.h"
#include "support/digest.h"
#include "support/download_rig.h"

namespace velmora {
namespace {

using namespace test;

const std::string kAllFailed =
    "All five bounded camera directory reads failed. Reconnect the camera; do not reset/delete it.";
const std::string kNoCamera = "No WinUSB-bound MR97310 camera found. Check Device Manager and WinUsb Device binding.";

const sim::CameraImage& builtin() {
  static const sim::CameraImage image = sim::builtin_camera_image();
  return image;
}

// The built-in camera holds 7 entries; the 5th is a non-still item. The
// refresh opens the device five times, the download once more after each
// failure; after an unplug each later photo tries a fresh opening.
struct ScenarioCase {
  const char* scenario;
  int openings;
  std::string download;  // saved/failed and the errors; empty: the refresh fails with
  std::string refresh = "(no failure)";
};
const ScenarioCase kScenarios[] = {
    {"flaky-directory", 6, "6/1 "},
    {"jammed", 6, "6/1 "},
    {"stuck-jam", 5, "", kAllFailed},
    {"no-ack", 5, "", kAllFailed},
    {"photo-timeout", 7, "5/2 Photo 2: WinUsb_ReadPipe (Win32 error 121)\n"},
    {"unplugged-mid-download", 6,
     "1/6 Photo 2: WinUsb_ReadPipe (Win32 error 1167)\nPhoto 3: CreateFile (Win32 error 2)\n"
     "Photo 4: CreateFile (Win32 error 2)\nPhoto 6: CreateFile (Win32 error 2)\nPhoto 7: CreateFile (Win32 error 2)\n"},
    {"interface-busy", 0, "", "WinUsb_Initialize (Win32 error 170)"},
    {"variant-010f", 0, "", "Active reads have only been verified for USB 093A:010E (not this variant)"},
    {"no-winusb", 0, "", kNoCamera},
    {"disconnected", 0, "", kNoCamera},
    {"replug", 6, "6/1 "},  // plugged in until a program plays its plug events
};

TEST(Operations, EveryScenarioEndsInItsDocumentedResult) {
  EXPECT_EQ(sim::scenario_descriptions().size(), std::size(kScenarios));
  for (const ScenarioCase& c : kScenarios) {
    SCOPED_TRACE(c.scenario);
    OperationRig rig(std::move(*sim::scenario_setup(c.scenario, builtin())));
    ScanData scan;
    EXPECT_EQ(failure_of([&] { scan = scan_camera(rig.env, rig.progress); }), c.refresh);
    if (!c.download.empty()) {
      TempDir out;
      DownloadOptions options;
      options.destination = out.path().u16string();
      const DownloadResult r =
          run_download(rig.env, scan, collect_download_indices(true, 7, {}), options, rig.progress);
      EXPECT_EQ(std::to_string(r.saved) + "/" + std::to_string(r.failed) + " " + utf16_to_utf8(r.errors), c.download);
    }
    EXPECT_EQ(rig.camera.openings(), c.openings);
    EXPECT_TRUE(c.openings > 0 || rig.camera.descriptor_requests() == 0);
    EXPECT_EQ(camera_problem(rig.camera, &rig.tree), "");
  }
}

using Pat = std::array<std::uint8_t, 8>;
const Pat kA = pat_entry(0x20, 0x100, 10000);  // LR-CP
const Pat kB = pat_entry(0x22, 0x200, 20000);  // HR-CP
const Pat kC = pat_entry(0x00, 0x300, 25356);  // LR-nP
const Pat kD = pat_entry(0x21, 0x000, 100);    // R1

std::vector<Pat> pats_of(const ScanData& scan) {
  std::vector<Pat> pats;  // of entries numbered in order
  for (const auto& e : scan.entries) pats.push_back(e.index == pats.size() ? e.pat_bytes : Pat{});
  return pats;
}

sim::FaultAction fail(std::uint32_t code) { return {sim::FaultAction::Kind::Fail, code}; }

TEST(Operations, RefreshMergesTheFiveObservations) {
  sim::CameraImage image;
  image.directory = directory_of({kB, kA});
  OperationRig rig(sim::healthy_setup(image));
  const ScanData scan = scan_camera(rig.env, rig.progress);
  EXPECT_EQ(scan.device_path + u"|" + scan.camera_name + u"|" + scan.driver_service,
            sim::kSimulatedDevicePath + u"|Dual-Mode Digital Camera|WinUSB");
  EXPECT_EQ(scan.descriptors.pid, 0x010E);
  EXPECT_EQ(pats_of(scan), (std::vector<Pat>{kA, kB}));
  EXPECT_EQ(download_stem(6, scan.entries[1]) + download_stem(999, scan.entries[1]),
            "Velmora_007_HR-CPVelmora_1000_HR-CP");
  for (const auto& log : scan.observation_logs) EXPECT_EQ(log.size(), 57u);
  std::vector<std::string> lines{"Opening the camera safely..."};
  for (int k = 1; k <= 5; ++k)
    lines.push_back("Reading camera directory (observation " + std::to_string(k) + " of 5)...");
  lines.push_back("Camera directory read: 2 validated item(s).");
  EXPECT_EQ(rig.lines, lines);
  EXPECT_EQ(rig.camera.openings(), 5);
  EXPECT_EQ(rig.clock.slept_ms(), 1000u + 5u * 20u);  // the refresh's pauses, two per directory read
  EXPECT_EQ(camera_problem(rig.camera, &rig.tree), "");

  // The union of the observations that completed, however few.
  sim::SimulatedSetup setup;
  const std::pair<int, std::vector<Pat>> cases[] = {{0b00101, {kD, kB, kC}}, {0b01111, {kD}}};  // openings failing
  for (const auto& [failing, expected] : cases) {
    setup = sim::healthy_setup({});
    setup.camera.fault = [failing = failing](const sim::TransferContext& t) {
      return t.directory_data && (failing >> (t.opening - 1) & 1) ? std::optional(fail(121)) : std::nullopt;
    };
    setup.camera.damage_directory = [](int opening, std::vector<std::uint8_t>& dir) {
      const std::vector<Pat> by_opening[] = {{kA, kB, kC, kD}, {kB}, {kA, kB, kC, kD}, {kC, kB}, {kD}};
      dir = directory_of(by_opening[opening - 1]);
    };
    OperationRig merging(std::move(setup));
    const ScanData merged = scan_camera(merging.env, merging.progress);
    EXPECT_EQ(pats_of(merged), expected) << "sorted by location";
    EXPECT_EQ(merged.observation_logs[0].back().error_code, 121u);
  }

  setup = sim::healthy_setup({});
  setup.camera.pid = 0x010F;  // the tree says 010E
  OperationRig other(std::move(setup));
  EXPECT_EQ(failure_of([&] { scan_camera(other.env, other.progress); }), "USB descriptor mismatch");
  EXPECT_EQ(other.camera.pipe_transfers(), 0u);
  EXPECT_EQ(camera_problem(other.camera, &other.tree), "");
}

TEST(Operations, PreviewIsTheBalancedRenderInTheChosenPattern) {
  bool failing = false;
  sim::SimulatedSetup setup = sim::healthy_setup(builtin());
  setup.camera.fault = [&failing](const sim::TransferContext& t) {
    return failing && t.chunk == 2 ? std::optional(fail(121)) : std::nullopt;
  };
  OperationRig rig(std::move(setup));
  const ScanData scan = scan_camera(rig.env, rig.progress);
  const std::uint64_t index = 0;  // HR-CP, 352 x 288
  const auto& stored = builtin().photos.at(scan.entries[index].location());
  for (std::int32_t pattern : {1, 2}) {
    rig.lines.clear();
    const RgbImage image = render_preview(rig.env, scan, index, pattern, rig.progress);
    const RgbImage expected =
        render_photo(stored, decode_raw_photo(stored, 352, 288, true, 0), pattern, kStyleBalanced, 0);
    EXPECT_EQ(image.pixels, expected.pixels) << "pattern " << pattern;
    EXPECT_EQ(rig.lines,
              std::vector<std::string>{"Fetching photo " + std::to_string(index + 1) + " for temporary preview..."});
  }
  // Refusals come before any USB traffic.
  const std::uint64_t transfers = rig.camera.pipe_transfers();
  EXPECT_EQ(failure_of([&] { render_preview(rig.env, scan, 4, 1, rig.progress); }),
            "This entry is not a supported still photo");
  EXPECT_EQ(failure_of([&] { render_preview(rig.env, scan, scan.entries.size(), 1, rig.progress); }),
            "Preview item no longer in current list");
  EXPECT_EQ(rig.camera.pipe_transfers(), transfers);
  failing = true;
  EXPECT_EQ(failure_of([&] { render_preview(rig.env, scan, index, 1, rig.progress); }),
            "WinUsb_ReadPipe (Win32 error 121)");
  EXPECT_EQ(camera_problem(rig.camera, &rig.tree), "");
}

using O = DownloadOptions;

const StoredPhoto kCp = photo(true, 8192), kNp = photo(false), kTight = tight_photo();
const StoredPhoto kOpaque{0x01, std::vector<std::uint8_t>(3000, 0x5A)};

// Names without "Velmora_" and the time stamp; a photo's stem is written
// once, at its first file: "001_LR-CP.velmoraraw _balanced.png".
std::string compact(const std::vector<std::string>& names) {
  std::string out, stem;
  for (std::string name : names) {
    if (const auto at = name.find("_250314093005"); at != std::string::npos) name.erase(at, 13);
    if (name.rfind("Velmora_", 0) == 0) name.erase(0, 8);
    const std::string this_stem = name.substr(0, name.find_first_of("_.", name.find('_') + 1));
    out += (out.empty() ? "" : " ") + (this_stem == stem ? name.substr(this_stem.size()) : name);
    stem = this_stem;
  }
  return out;
}

TEST(Download, FilesOfEachOptionSet) {
  struct Case {
    std::vector<StoredPhoto> photos;
    std::vector<std::uint64_t> indices;
    std::vector<bool O::*> flags;                 // none: the default options
    std::string files, report = {}, refuse = {};  // created in order; the errors; creates of such names fail
  };
  // clang-format off
  const Case cases[] = {
      {{kNp}, {0}, {}, "001_LR-nP.velmoraraw _restrained.png _balanced.png _expressive.png"},
      {{kNp}, {0}, {&O::experimental},  // no decoder variants for an uncompressed photo
       "001_LR-nP.velmoraraw _fun-rggb-proc21.png _fun-bggr-mars.png _fun-rggb-baseline.png _fun-gbrg-proc21.png"},
      {{kTight}, {0}, {&O::experimental, &O::save_usb_log},  // failing decoder variants are skipped
       "001_LR-CP.velmoraraw _fun-rggb-proc21.png _fun-offset1-proc21.png _fun-offset2-proc21.png "
       "_fun-offset3-proc21.png _fun-offset4-proc21.png _fun-offset5-proc21.png _fun-swapsigns-proc21.png "
       "_fun-swapsigns-baseline.png session.txt"},
      {{kCp}, {0}, {&O::legacy_proc, &O::brighter, &O::baseline_render},  // sets never apply to the baseline
       "001_LR-CP.velmoraraw _proc20.png _proc20-brighter.png _proc23.png _proc23-brighter.png _baseline.png"},
      {{kNp}, {0}, {&O::balanced, &O::save_usb_transfer, &O::save_metadata, &O::save_bayer_plane},
       "001_LR-nP.velmoraraw _transfer.bin _metadata.txt _bayer.bin _balanced.png"},
      {{kNp, kNp}, {1, 1, 0}, {&O::balanced, &O::save_metadata},  // the same photo twice in one second
       "002_LR-nP.velmoraraw _metadata.txt _balanced.png _02.velmoraraw _metadata_02.txt _balanced_02.png "
       "001_LR-nP.velmoraraw _metadata.txt _balanced.png"},
      {{kNp}, {0}, {&O::save_metadata, &O::save_usb_log}, "001_LR-nP.velmoraraw session.txt",
       "Photo 1: Could not create a new output file (or filename collision)\n", "_metadata_"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files);
    DownloadRig rig(c.photos);
    rig.files.faults.refuse_name_containing = c.refuse;
    O options;
    if (!c.flags.empty()) options.restrained = options.balanced = options.expressive = false;
    for (const auto flag : c.flags) options.*flag = true;
    const DownloadResult result = rig.run(c.indices, options);
    EXPECT_EQ(compact(rig.files.created()), c.files);
    EXPECT_EQ(utf16_to_utf8(result.errors), c.report);
  }
}

TEST(Download, NestedDatedFoldersAndJobFailuresBeforeTheFirstPhoto) {
  DownloadRig rig({kNp});
  O options;
  options.dated_folder = true;
  options.destination = (rig.dir.path() / "a" / "b").u16string();
  EXPECT_EQ(rig.run({0}, options).folder, (rig.dir.path() / "a" / "b" / "2025-03-14_01").u16string());
  EXPECT_EQ(rig.run({0}, options).folder, (rig.dir.path() / "a" / "b" / "2025-03-14_02").u16string());
  rig.lines.clear();
  EXPECT_EQ(failure_of([&] { run_download(rig.env, rig.snapshot, {0}, {}, rig.progress); }),
            "Choose an output directory");
  rig.camera.unplug();
  EXPECT_EQ(failure_of([&] { rig.run({0}, {}); }), "CreateFile (Win32 error 2)");
  EXPECT_TRUE(rig.lines.empty());
  EXPECT_EQ(rig.files.created().size(), 8u);
}

using FaultFn = std::function<std::optional<sim::FaultAction>(const sim::TransferContext&)>;

// A download of every option: its report, and a 64-bit FNV-1a digest of the
// files, the progress, the file calls, the names in the order made and the report.
std::pair<std::string, std::uint64_t> download(const FaultFn& fault, std::optional<std::uint64_t> disk_space,
                                               const DownloadConcurrency& concurrency) {
  sim::SimulatedCameraConfig config;
  config.fault = fault;
  DownloadRig rig({kCp, kNp, kOpaque, kTight}, config);
  rig.files.faults.disk_space = disk_space;
  O options;
  for (const auto& flag : kDownloadFlags) options.*flag = flag != &O::dated_folder;
  DownloadResult r;
  std::string report = failure_of([&] { r = rig.run({0, 1, 2, 9, 3}, options, concurrency); });
  report += " " + std::to_string(r.saved) + "/" + std::to_string(r.failed) + " " + utf16_to_utf8(r.errors);
  std::string all;
  for (const auto& [name, content] : folder_contents(rig.destination()))
    all += name + std::string(content.begin(), content.end()) + '\n';
  for (const auto& lines : {rig.lines, rig.files.calls(), rig.files.created(), {report}})
    for (const std::string& line : lines) all += line + '\n';
  return {report, digest(all)};
}

TEST(Download, OverlappedLeavesWhatOnePhotoAtATimeLeaves) {
  const auto at = [](int ordinal, sim::FaultAction action) -> FaultFn {
    return [=](const sim::TransferContext& t) {
      return t.photo_ordinal == ordinal && t.chunk == 1 ? std::optional(action) : std::nullopt;
    };
  };
  const std::tuple<FaultFn, std::optional<std::uint64_t>, std::string, std::uint64_t> cases[] = {
      {nullptr, std::nullopt, "(no failure) 3/2 ", 0xe98e01518964d5d8},
      {at(2, {}), std::nullopt, "(no failure) 2/3 Photo 2: WinUsb_ReadPipe (Win32 error 121)\n", 0x5656e58f121348},
      {at(3, {sim::FaultAction::Kind::Unplug}), std::nullopt,
       "(no failure) 2/3 Photo 4: WinUsb_ReadPipe (Win32 error 1167)\n", 0xc2c846eda5cd428b},
      // The disk fills half-way (of 10152192 bytes); the session log is written last, so the job ends with its failure.
      {nullptr, 10152192 / 2, "Could not finish writing output file 0/0 ", 0x985a37b2cb540023},
  };
  for (const auto& [fault, disk_space, report, golden] : cases) {
    SCOPED_TRACE(report);
    const auto one = download(fault, disk_space, {1, 0});
    EXPECT_EQ(one, std::pair(report, golden)) << std::hex << one.second;
    EXPECT_EQ(download(fault, disk_space, {2, 3}), one);
  }
}

TEST(Download, NamesTextsAndChecksAroundTheJob) {
  EXPECT_EQ(download_started_line(3) + download_finished_line({3, 1, u"", u""}),
            u"Downloading 3 photograph(s) into the selected folder...Finished: 3 saved, 1 failed.");
  for (int item : {-1, 0, 1, 2, 3}) EXPECT_EQ(bayer_pattern_from_selection(item), "11023"[item + 1] - '0') << item;
  EXPECT_EQ(collect_download_indices(false, 4, {false, true, false, true}), (std::vector<std::uint64_t>{1, 3}));
  for (std::size_t i = 0; i < kDownloadFlags.size(); ++i) {  // sets and saved diagnostics alone render nothing
    O o;
    o.restrained = o.balanced = o.expressive = false;
    o.*kDownloadFlags[i] = true;
    EXPECT_EQ(has_something_to_render(o), i < 3 || i >= 12) << i;
  }
}

// Fault sweep: every camera transfer of a refresh, a preview and a download fails in turn with every kind
// of fault, every sequence in turn starts with a jam that stays, every file call of a download fails in turn.
// Each run must end in its result or a failure text of the system, counts and report agreeing, the device
// closed, only allowed bytes sent, nothing on disk partial, overwritten or unlike what a run without faults
// makes. VELMORA_SWEEP_STRIDE=k tries every k-th position only.

using sim::FaultAction;

// The codes the transport and the simulator name, one nobody names, and the faults that are not codes.
constexpr auto kFail = FaultAction::Kind::Fail, kShort = FaultAction::Kind::Short, kUnplug = FaultAction::Kind::Unplug;
// clang-format off
const FaultAction kTransferFaults[] = {{kFail, kErrorGenFailure}, {kFail, kErrorSemTimeout},
                                       {kFail, kErrorDeviceNotConnected}, {kFail, kErrorFileNotFound},
                                       {kFail, kErrorInvalidHandle}, {kFail, 995}, {kShort, 0, 1}, {kUnplug}};
// clang-format on

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

// Counted from the operation's start, the n-th transfer gets the fault, or
// without one the n-th sequence starts with a jam that stays; without a
// reference, a run without faults. The destination holds a file
// under the first photo's archive name, which must survive: the archive takes
// the name's first counter.
RunEnd run(Operation op, std::optional<FaultAction> fault, std::uint64_t n, const Job& job,
           const FolderContents* reference = nullptr) {
  bool counting = op == Operation::Refresh;
  std::uint64_t base = 0, sequences = 0;
  sim::SimulatedCameraConfig config;
  config.jam_clear_works = false;
  config.fault = [&](const sim::TransferContext& t) {
    return counting && fault && t.total_transfer == base + n ? fault : std::nullopt;
  };
  config.jam_at = [&](const sim::SequenceContext&) { return counting && ++sequences == n && !fault; };
  DownloadRig rig({photo(true), photo(false)}, config);
  if (op != Operation::Refresh) rig.scan();
  base = rig.camera.pipe_transfers();
  counting = true;

  std::string problem;
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
      if (scan.observation_logs.size() != 5 || rig.lines.back() != read) problem = "refresh report";
    } else if (op == Operation::Preview) {
      const RgbImage image = render_preview(rig.env, rig.snapshot, 0, kPatternBggr, rig.progress);
      if (image.width != 176 || image.height != 144) problem = "preview of other dimensions";
    } else {
      result = rig.run(job.indices, job.options);
      const auto tried = std::ranges::count_if(rig.lines, [](auto& l) { return l.starts_with("Downloading"); });
      problem = first_problem({download_problem(result, job.indices.size(), rig.lines),
                               std::size_t(tried) == job.indices.size() ? "" : "a photo was not tried",
                               job.fail_call && !result.failed ? "a failed file call went unnoticed" : ""});
    }
  } catch (const Failure& failure) {
    problem = first_problem({failure_text_problem(failure.what()), reference ? "" : "failed without faults"});
  }
  // The session log tells of the faults; it need only be complete and agree with the counts.
  const std::string completed =
      "\nCompleted: " + std::to_string(result.saved) + " successful; " + std::to_string(result.failed) + " failed.\n";
  FolderContents files = folder_contents(folder), comparable;
  for (const auto& [name, bytes] : files) {
    if (name.find("Velmora_session_") == std::string::npos) {
      comparable[name] = bytes;
    } else if (std::string(bytes.begin(), bytes.end()).find(completed) == std::string::npos) {
      problem = first_problem({problem, "session log disagrees with the counts"});
    }
  }
  return {rig.camera.pipe_transfers() - base, sequences, rig.files.countable_calls(), files,
          first_problem({problem, camera_problem(rig.camera, &rig.tree), rig.files.problem(),
                         folder_problem(before, comparable, reference)})};
}

#ifndef VELMORA_SWEEP_DEFAULT_STRIDE
#define VELMORA_SWEEP_DEFAULT_STRIDE 1
#endif

const char* const kStrideText = std::getenv("VELMORA_SWEEP_STRIDE");
const std::uint64_t kStride = std::max(1, kStrideText ? std::atoi(kStrideText) : VELMORA_SWEEP_DEFAULT_STRIDE);

TEST(FaultSweep, EveryTransferAndSequenceOfEveryOperation) {
  Job job;
  job.options.save_usb_log = true;
  for (const Operation op : {Operation::Refresh, Operation::Preview, Operation::Download}) {
    const RunEnd clean = run(op, {}, 0, job);
    ASSERT_EQ(clean.problem, "");
    const auto check = [&](std::optional<FaultAction> fault, std::uint64_t n) {
      EXPECT_EQ(run(op, fault, n, job, &clean.files).problem, "") << int(op) << (fault ? " transfer " : " jam ") << n;
    };
    for (std::uint64_t n = 1; n <= clean.transfers; n += kStride) {
      for (const auto& action : kTransferFaults) check(action, n);
    }
    for (std::uint64_t n = 1; n <= clean.sequences; n += kStride) check(std::nullopt, n);
  }
}

TEST(FaultSweep, EveryFileOperation) {
  Job one_with_everything{{0}};
  for (const auto flag : kDownloadFlags) one_with_everything.options.*flag = true;
  for (const Job& job : {Job{}, one_with_everything}) {
    const RunEnd clean = run(Operation::Download, {}, 0, job);
    ASSERT_EQ(clean.problem, "");
    for (std::uint64_t n = 1; n <= clean.file_calls; n += kStride) {
      EXPECT_EQ(run(Operation::Download, {}, 0, {job.indices, job.options, n}, &clean.files).problem, "")
          << "file call " << n;
    }
  }
}

}  // namespace
}  // namespace velmora
