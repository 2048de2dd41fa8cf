// Downloads of small camera images: the files each option set creates, in
// order, and everything a download leaves, byte for byte, one photo at a time
// and overlapped.
#include <gtest/gtest.h>

#include "ops/session_log.h"
#include "support/download_rig.h"

namespace velmora {
namespace {

using test::DownloadRig;
using test::StoredPhoto;
using O = DownloadOptions;

const StoredPhoto kC = test::photo(true, 8192), kU = test::photo(false), kT = test::tight_photo();
const StoredPhoto kN{test::kNonStill, std::vector<std::uint8_t>(3000, 0x5A)};

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
    std::vector<bool O::*> flags;  // none: the default options
    std::string files, report = {}, refuse = {};  // created in order; the errors; creates of such names fail
  };
  const Case cases[] = {
      {{kU}, {0}, {}, "001_LR-nP.velmoraraw _restrained.png _balanced.png _expressive.png"},
      {{kU}, {0}, {&O::experimental},  // no decoder variants for an uncompressed photo
       "001_LR-nP.velmoraraw _fun-rggb-proc21.png _fun-bggr-mars.png _fun-rggb-baseline.png _fun-gbrg-proc21.png"},
      {{kT}, {0}, {&O::experimental, &O::save_usb_log},  // failing decoder variants are skipped
       "001_LR-CP.velmoraraw _fun-rggb-proc21.png _fun-offset1-proc21.png _fun-offset2-proc21.png "
       "_fun-offset3-proc21.png _fun-offset4-proc21.png _fun-offset5-proc21.png _fun-swapsigns-proc21.png "
       "_fun-swapsigns-baseline.png session.txt"},
      {{kC}, {0}, {&O::legacy_proc, &O::brighter, &O::baseline_render},  // sets never apply to the baseline
       "001_LR-CP.velmoraraw _proc20.png _proc20-brighter.png _proc23.png _proc23-brighter.png _baseline.png"},
      {{kU}, {0}, {&O::balanced, &O::save_usb_transfer, &O::save_metadata, &O::save_bayer_plane},
       "001_LR-nP.velmoraraw _transfer.bin _metadata.txt _bayer.bin _balanced.png"},
      {{kU, kU}, {1, 1, 0}, {&O::balanced, &O::save_metadata},  // the same photo twice in one second
       "002_LR-nP.velmoraraw _metadata.txt _balanced.png _02.velmoraraw _metadata_02.txt _balanced_02.png "
       "001_LR-nP.velmoraraw _metadata.txt _balanced.png"},
      {{kU}, {0}, {&O::save_metadata, &O::save_usb_log}, "001_LR-nP.velmoraraw session.txt",
       "Photo 1: Could not create a new output file (or filename collision)\n", "_metadata_"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files);
    DownloadRig rig(c.photos);
    rig.files.faults.refuse_name_containing = c.refuse;
    O options;
    if (!c.flags.empty()) options.restrained = options.balanced = options.expressive = false;
    for (const auto flag : c.flags) options.*flag = true;
    const DownloadResult result = rig.run(c.indices, options);
    EXPECT_EQ(test::download_problem(result, c.indices.size(), rig.lines), "");
    EXPECT_EQ(compact(rig.files.created()), c.files);
    EXPECT_EQ(utf16_to_utf8(result.errors), c.report);
    EXPECT_EQ(test::camera_problem(rig.camera, &rig.tree), "");
  }
}

TEST(Download, NestedDatedFoldersAndJobFailuresBeforeTheFirstPhoto) {
  DownloadRig rig({kU});
  O options;
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
  EXPECT_EQ(rig.files.created().size(), 8u);
}

using FaultFn = std::function<std::optional<sim::FaultAction>(const sim::TransferContext&)>;

// A download of every option: its report, and a 64-bit FNV-1a digest of the
// files, the progress, the file calls, the names in the order made and the report.
std::pair<std::string, std::uint64_t> download(const FaultFn& fault, std::optional<std::uint64_t> disk_space,
                                               const DownloadConcurrency& concurrency, std::uint64_t* bytes = nullptr) {
  sim::SimulatedCameraConfig config;
  config.fault = fault;
  DownloadRig rig({kC, kU, kN, kT}, config);
  rig.files.faults.disk_space = disk_space;
  O options;
  for (const auto& flag : kDownloadFlags) options.*flag = flag != &O::dated_folder;
  DownloadResult r;
  std::string report = test::failure_of([&] { r = rig.run({0, 1, 2, 9, 3}, options, concurrency); });
  report += " " + std::to_string(r.saved) + "/" + std::to_string(r.failed) + " " + utf16_to_utf8(r.errors);
  std::uint64_t digest = 14695981039346656037u;
  const auto add = [&](const std::string& text) {
    for (unsigned char c : text + '\n') digest = (digest ^ c) * 1099511628211u;
  };
  for (const auto& [name, content] : test::folder_contents(rig.destination())) {
    add(name + std::string(content.begin(), content.end()));
    if (bytes) *bytes += content.size();
  }
  for (const auto& lines : {rig.lines, rig.files.calls(), rig.files.created()}) std::for_each(lines.begin(), lines.end(), add);
  add(report);
  return {report, digest};
}

TEST(Download, OverlappedLeavesWhatOnePhotoAtATimeLeaves) {
  std::uint64_t healthy_bytes = 0;
  download(nullptr, std::nullopt, {1, 0}, &healthy_bytes);
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
      // The disk fills half-way; the session log is written last, so the job ends with its failure.
      {nullptr, healthy_bytes / 2, "Could not finish writing output file 0/0 ", 0x985a37b2cb540023},
  };
  for (const auto& [fault, disk_space, report, golden] : cases) {
    SCOPED_TRACE(report);
    const auto one = download(fault, disk_space, {1, 0});
    EXPECT_EQ(one, std::pair(report, golden)) << std::hex << one.second;
    EXPECT_EQ(download(fault, disk_space, {2, 3}), one);
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

}  // namespace
}  // namespace velmora
