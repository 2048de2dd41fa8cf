// Downloads of small camera images: the files each option set creates, in
// order; byte-exact goldens of everything a download leaves; and the
// overlapped job leaving exactly what one photo at a time leaves.
#include <gtest/gtest.h>

#include "ops/session_log.h"
#include "support/download_rig.h"
#include "support/invariants.h"

namespace velmora {
namespace {

using test::DownloadRig;
using test::StoredPhoto;

const StoredPhoto kC{test::kLowRes | kCompressedFlag, test::compressed_photo()};
const StoredPhoto kU{test::kLowRes, test::uncompressed_photo()};
const StoredPhoto kN{test::kNonStill, test::non_still_photo()};
const StoredPhoto kT{test::kLowRes | kCompressedFlag, test::tight_compressed_photo()};

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

struct OptionsCase {
  const char* name;
  std::vector<StoredPhoto> photos;
  std::vector<std::uint64_t> indices;
  std::function<void(DownloadOptions&)> options;
  std::string files;  // created, in order
  std::string report;  // the errors, or what the job threw
  std::string refuse = {};  // creates of names containing this fail
};

const auto kCouldNotCreate = "Could not create a new output file (or filename collision)";

DownloadOptions every_option() {
  DownloadOptions o;
  for (const auto& flag : kDownloadFlags) o.*flag = true;
  o.dated_folder = false;
  return o;
}

TEST(Download, FilesOfEachOptionSet) {
  const OptionsCase cases[] = {
      {"default styles", {kU}, {0}, [](DownloadOptions& o) { o = {}; },
       "001_LR-nP.velmoraraw _restrained.png _balanced.png _expressive.png", ""},
      {"uncompressed: four fun renders, no decoder variants", {kU}, {0}, [](DownloadOptions& o) { o.experimental = true; },
       "001_LR-nP.velmoraraw _fun-rggb-proc21.png _fun-bggr-mars.png _fun-rggb-baseline.png _fun-gbrg-proc21.png", ""},
      {"decoder variants that fail are skipped", {kT}, {0},
       [](DownloadOptions& o) { o.experimental = o.save_usb_log = true; },
       "001_LR-CP.velmoraraw _fun-rggb-proc21.png _fun-offset1-proc21.png _fun-offset2-proc21.png "
       "_fun-offset3-proc21.png _fun-offset4-proc21.png _fun-offset5-proc21.png _fun-swapsigns-proc21.png "
       "_fun-swapsigns-baseline.png session.txt", ""},
      {"sets never apply to the baseline", {kC}, {0},
       [](DownloadOptions& o) { o.legacy_proc = o.brighter = o.baseline_render = true; },
       "001_LR-CP.velmoraraw _proc20.png _proc20-brighter.png _proc23.png _proc23-brighter.png _baseline.png", ""},
      {"diagnostic files follow the archive", {kU}, {0},
       [](DownloadOptions& o) { o.balanced = o.save_usb_transfer = o.save_metadata = o.save_bayer_plane = true; },
       "001_LR-nP.velmoraraw _transfer.bin _metadata.txt _bayer.bin _balanced.png", ""},
      {"the same photo twice in one second", {kU, kU}, {1, 1, 0},
       [](DownloadOptions& o) { o.balanced = o.save_metadata = true; },
       "002_LR-nP.velmoraraw _metadata.txt _balanced.png _02.velmoraraw _metadata_02.txt _balanced_02.png "
       "001_LR-nP.velmoraraw _metadata.txt _balanced.png", ""},
      {"a file that cannot be made fails its photo after the archive", {kU}, {0},
       [](DownloadOptions& o) { o.save_metadata = o.save_usb_log = true; }, "001_LR-nP.velmoraraw session.txt",
       std::string("Photo 1: ") + kCouldNotCreate + "\n", "_metadata_"},
  };
  for (const OptionsCase& c : cases) {
    SCOPED_TRACE(c.name);
    DownloadRig rig(c.photos);
    rig.files.faults.refuse_name_containing = c.refuse;
    DownloadOptions options = test::no_renders();
    c.options(options);
    DownloadResult result;
    std::string report = test::failure_of([&] { result = rig.run(c.indices, options); });
    if (report == "(no failure)") {
      report = utf16_to_utf8(result.errors);
      EXPECT_EQ(test::download_problem(result, c.indices.size(), rig.lines), "");
    }
    EXPECT_EQ(compact(rig.files.created()), c.files);
    EXPECT_EQ(report, c.report);
    EXPECT_EQ(test::camera_problem(rig.camera, &rig.tree), "");
  }
}

TEST(Download, NestedDatedFoldersAndJobFailuresBeforeTheFirstPhoto) {
  DownloadRig rig({kU});
  DownloadOptions options = test::no_renders();
  options.dated_folder = true;
  options.destination = (rig.dir.path() / "a" / "b").u16string();
  EXPECT_EQ(rig.run({0}, options).folder, (rig.dir.path() / "a" / "b" / "2025-03-14_01").u16string());
  EXPECT_EQ(rig.run({0}, options).folder, (rig.dir.path() / "a" / "b" / "2025-03-14_02").u16string());
  rig.lines.clear();
  EXPECT_EQ(test::failure_of([&] { run_download(rig.env, rig.snapshot, {0}, {}, rig.progress); }),
            "Choose an output directory");
  rig.camera.unplug();
  EXPECT_EQ(test::failure_of([&] { rig.run({0}, {}); }), "CreateFile (Win32 error 2)");
  EXPECT_TRUE(rig.lines.empty());
  EXPECT_EQ(rig.files.created().size(), 2u);
}

// What a download of every option leaves, byte for byte: the files, the
// progress, the file calls and the names in the order made, and the report,
// by a 64-bit FNV-1a digest.
struct Outcome {
  std::string report;
  std::uint64_t digest = 14695981039346656037u, bytes = 0;
  void add(const std::string& text) {
    for (unsigned char c : text + '\n') digest = (digest ^ c) * 1099511628211u;
  }
};

Outcome download(std::function<std::optional<sim::FaultAction>(const sim::TransferContext&)> fault,
                 std::optional<std::uint64_t> disk_space, const DownloadConcurrency& concurrency) {
  sim::SimulatedCameraConfig config;
  config.fault = std::move(fault);
  DownloadRig rig({kC, kU, kN, kT}, config);
  rig.files.faults.disk_space = disk_space;
  Outcome out;
  DownloadResult result;
  out.report = test::failure_of([&] { result = rig.run({0, 1, 2, 9, 3}, every_option(), concurrency); });
  out.report += " " + std::to_string(result.saved) + "/" + std::to_string(result.failed) + " " + utf16_to_utf8(result.errors);
  for (const auto& [name, bytes] : test::folder_contents(rig.destination())) {
    out.add(name + std::string(bytes.begin(), bytes.end()));
    out.bytes += bytes.size();
  }
  using Lines = std::vector<std::string>;
  for (const Lines* lines : std::initializer_list<const Lines*>{&rig.lines, &rig.files.calls(), &rig.files.created()}) {
    for (const auto& line : *lines) out.add(line);
  }
  out.add(out.report);
  return out;
}

TEST(Download, OverlappedLeavesWhatOnePhotoAtATimeLeaves) {
  const std::uint64_t healthy_bytes = download(nullptr, std::nullopt, {1, 0}).bytes;
  const auto at = [](int ordinal, sim::FaultAction action) {
    return [=](const sim::TransferContext& t) -> std::optional<sim::FaultAction> {
      if (t.photo_ordinal == ordinal && t.chunk == 1) return action;
      return std::nullopt;
    };
  };
  struct Case {
    const char* name;
    std::function<std::optional<sim::FaultAction>(const sim::TransferContext&)> fault;
    std::optional<std::uint64_t> disk_space;
    std::string report;
    std::uint64_t golden;
  };
  const Case cases[] = {
      {"healthy", nullptr, std::nullopt, "(no failure) 3/2 ", 0xe98e01518964d5d8},
      {"second photo's fetch fails", at(2, {}), std::nullopt,
       "(no failure) 2/3 Photo 2: WinUsb_ReadPipe (Win32 error 121)\n", 0x5656e58f121348},
      {"unplugged during the third photo", at(3, {sim::FaultAction::Kind::Unplug}), std::nullopt,
       "(no failure) 2/3 Photo 4: WinUsb_ReadPipe (Win32 error 1167)\n", 0xc2c846eda5cd428b},
      // The session log is written last, so the job ends with its failure.
      {"disk fills half-way", nullptr, healthy_bytes / 2, "Could not finish writing output file 0/0 ", 0x985a37b2cb540023},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome one = download(c.fault, c.disk_space, {1, 0});
    const Outcome overlapped = download(c.fault, c.disk_space, {2, 3});
    EXPECT_EQ(one.report, c.report);
    EXPECT_EQ(one.digest, c.golden) << std::hex << one.digest;
    EXPECT_EQ(overlapped.report, one.report);
    EXPECT_EQ(overlapped.digest, one.digest);
  }
}

TEST(Download, NamesTextsAndChecksAroundTheJob) {
  PhotoEntry entry;
  entry.flags = 0x22;
  entry.type_code = 2;
  entry.compressed = true;
  EXPECT_EQ(download_stem(6, entry) + download_stem(999, entry), "Velmora_007_HR-CPVelmora_1000_HR-CP");
  const std::vector<std::uint8_t> bytes = {0x00, 0x0f, 0xf0, 0xff};
  EXPECT_EQ(hex_bytes_limited(bytes, 4) + "|" + hex_bytes_limited(bytes, 3), "00 0f f0 ff|00 0f f0 ...");
  EXPECT_EQ(download_started_line(3), u"Downloading 3 photograph(s) into the selected folder...");
  EXPECT_EQ(download_finished_line({3, 1, u"", u""}), u"Finished: 3 saved, 1 failed.");
  for (int item : {-1, 0, 1, 2, 3}) EXPECT_EQ(bayer_pattern_from_selection(item), "11023"[item + 1] - '0') << item;
  EXPECT_EQ(collect_download_indices(false, 4, {false, true, false, true}), (std::vector<std::uint64_t>{1, 3}));
  // The styles and the extra renders give something to render; sets and saved diagnostics alone do not.
  for (std::size_t i = 0; i < kDownloadFlags.size(); ++i) {
    DownloadOptions o = test::no_renders();
    o.*kDownloadFlags[i] = true;
    EXPECT_EQ(has_something_to_render(o), i < 3 || i >= 12) << i;
  }
}

}  // namespace
}  // namespace velmora
