#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ops/download.h"
#include "ops/session_log.h"
#include "ops/download_rig.h"
#include "support/sim_fixture.h"

namespace velmora {
namespace {

using test::DownloadRig;
using test::StoredPhoto;
using test::kCompressedFlag;
using test::kLowRes;
using test::kNonStill;

constexpr std::uint8_t kLowCompressed = kLowRes | kCompressedFlag;
const std::string kStamp = "250314093005";

std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string read_text(const std::filesystem::path& path) {
  const auto bytes = read_bytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> pngs(const std::string& stem, const std::vector<std::string>& suffixes,
                              const std::string& tail = "") {
  std::vector<std::string> names;
  for (const auto& s : suffixes) names.push_back(stem + "_" + s + "_" + kStamp + tail + ".png");
  return names;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Download, CompressedPhotoWithEveryRenderGivesFortySixPngsInOrder) {
  DownloadRig rig({{kLowCompressed, test::compressed_photo()}});
  const DownloadResult result = rig.run({0}, test::every_render());
  EXPECT_EQ(result.saved, 1);
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(result.errors, u"");
  EXPECT_EQ(result.folder, rig.destination().u16string());

  std::vector<std::string> suffixes;
  for (std::string style : {"restrained", "balanced", "expressive", "proc20", "proc23"}) {
    suffixes.push_back(style);
    for (std::string set : {"brighter", "more-color", "lower-contrast", "stronger-destripe"}) {
      suffixes.push_back(style + "-" + set);
    }
  }
  for (std::string s : {"baseline", "historical-mars", "bayer-bggr", "bayer-rggb", "bayer-grbg", "bayer-gbrg",
                        "extreme-scanline-shear", "extreme-channel-tear", "extreme-solarize-posterize",
                        "extreme-mosaic-shred", "extreme-digital-storm", "fun-rggb-proc21", "fun-offset1-proc21",
                        "fun-offset2-proc21", "fun-offset3-proc21", "fun-offset4-proc21", "fun-offset5-proc21",
                        "fun-offset6-proc21", "fun-offset7-proc21", "fun-swapsigns-proc21",
                        "fun-swapsigns-baseline"}) {
    suffixes.push_back(s);
  }
  ASSERT_EQ(suffixes.size(), 46u);
  const std::string stem = "Velmora_001_LR-CP";
  EXPECT_EQ(rig.files.created, concat({stem + "_" + kStamp + ".velmoraraw"}, pngs(stem, suffixes)));
  EXPECT_EQ(rig.listing().size(), 47u);
  EXPECT_EQ(read_bytes(rig.destination() / (stem + "_" + kStamp + ".velmoraraw")), test::compressed_photo());
  EXPECT_TRUE(test::only_allowed_commands(*rig.camera));
  EXPECT_EQ(rig.camera->open_handles(), 0);
}

TEST(Download, UncompressedPhotoGetsFourFunRendersAndNoDecoderVariants) {
  DownloadRig rig({{kLowRes, test::uncompressed_photo()}});
  DownloadOptions options = test::no_renders();
  options.experimental = true;
  const DownloadResult result = rig.run({0}, options);
  EXPECT_EQ(result.saved, 1);
  const std::string stem = "Velmora_001_LR-nP";
  EXPECT_EQ(rig.files.created,
            concat({stem + "_" + kStamp + ".velmoraraw"},
                   pngs(stem, {"fun-rggb-proc21", "fun-bggr-mars", "fun-rggb-baseline", "fun-gbrg-proc21"})));
}

TEST(Download, FailedDecoderVariantsAreLoggedAndSkippedWithoutFailingThePhoto) {
  DownloadRig rig({{kLowCompressed, test::tight_compressed_photo()}});
  DownloadOptions options = test::no_renders();
  options.experimental = true;
  options.save_usb_log = true;
  const DownloadResult result = rig.run({0}, options);
  EXPECT_EQ(result.saved, 1);
  EXPECT_EQ(result.failed, 0) << utf16_to_utf8(result.errors);
  const std::string stem = "Velmora_001_LR-CP";
  EXPECT_EQ(rig.files.created,
            concat(concat({stem + "_" + kStamp + ".velmoraraw"},
                          pngs(stem, {"fun-rggb-proc21", "fun-offset1-proc21", "fun-offset2-proc21",
                                      "fun-offset3-proc21", "fun-offset4-proc21", "fun-offset5-proc21",
                                      "fun-swapsigns-proc21", "fun-swapsigns-baseline"})),
                   {"Velmora_session_" + kStamp + ".txt"}));
  const std::string log = read_text(rig.destination() / ("Velmora_session_" + kStamp + ".txt"));
  const std::string skipped = "\nOptional glitch variant skipped: Truncated compressed Mars symbol\n"
                              "Optional glitch variant skipped: Truncated compressed Mars symbol\n\nCompleted: 1";
  EXPECT_NE(log.find(skipped), std::string::npos) << log.substr(log.size() > 4000 ? log.size() - 4000 : 0);
}

TEST(Download, LegacyProcWithBrighter) {
  DownloadRig rig({{kLowCompressed, test::compressed_photo()}});
  DownloadOptions options = test::no_renders();
  options.legacy_proc = true;
  options.brighter = true;
  options.baseline_render = true;  // sets never apply to the baseline row
  rig.run({0}, options);
  const std::string stem = "Velmora_001_LR-CP";
  EXPECT_EQ(rig.files.created, concat({stem + "_" + kStamp + ".velmoraraw"},
                                      pngs(stem, {"proc20", "proc20-brighter", "proc23", "proc23-brighter",
                                                  "baseline"})));
}

TEST(Download, DiagnosticFilesFollowTheArchiveInOrder) {
  DownloadRig rig({{kLowRes, test::uncompressed_photo()}});
  DownloadOptions options = test::no_renders();
  options.balanced = true;
  options.save_usb_transfer = options.save_metadata = options.save_bayer_plane = true;
  rig.run({0}, options);
  const std::string stem = "Velmora_001_LR-nP";
  EXPECT_EQ(rig.files.created,
            (std::vector<std::string>{stem + "_" + kStamp + ".velmoraraw", stem + "_transfer_" + kStamp + ".bin",
                                      stem + "_metadata_" + kStamp + ".txt", stem + "_bayer_" + kStamp + ".bin",
                                      stem + "_balanced_" + kStamp + ".png"}));
  const auto stored = test::uncompressed_photo();
  const auto transfer = read_bytes(rig.destination() / (stem + "_transfer_" + kStamp + ".bin"));
  ASSERT_EQ(transfer.size(), 32768u);  // (25356 + 432) rounded down to 8192, plus one chunk
  for (std::size_t i = 0; i < 128; ++i) EXPECT_EQ(transfer[i], 0xA0 ^ i) << i;
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), transfer.begin() + 128));
  EXPECT_EQ(read_bytes(rig.destination() / (stem + "_bayer_" + kStamp + ".bin")),
            std::vector<std::uint8_t>(stored.begin() + 12, stored.end()));
  EXPECT_EQ(read_text(rig.destination() / (stem + "_metadata_" + kStamp + ".txt")),
            "PAT: 00 00 01 00 0c 63 00 00\n"
            "Header: 56 00 0b 09 00 00 00 32 00 00 00 00\n"
            "Dimensions: 176x144\n"
            "Compressed: no\n"
            "Original stored bytes: 25356\n"
            "Download time (local): 250314093005\n");
}

TEST(Download, NonStillEntryIsCountedAsFailedWithoutAnErrorLine) {
  DownloadRig rig({{kLowRes, test::uncompressed_photo()},
                   {kNonStill, test::non_still_photo()},
                   {kLowCompressed, test::compressed_photo()}});
  DownloadOptions options = test::no_renders();
  options.balanced = true;
  const DownloadResult result = rig.run({0, 1, 2}, options);
  EXPECT_EQ(result.saved, 2);
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(result.errors, u"");
  EXPECT_EQ(rig.progress,
            (std::vector<std::string>{"Downloading photo 1 / 3 (camera item 1)...",
                                      "  Original camera bytes saved.",
                                      "  Photo 1 archived and rendered.",
                                      "Unsupported non-still entry skipped.",
                                      "Downloading photo 3 / 3 (camera item 3)...",
                                      "  Original camera bytes saved.",
                                      "  Photo 3 archived and rendered."}));
  EXPECT_EQ(download_finished_line(result), u"Finished: 2 saved, 1 failed.");
}

TEST(Download, IndexNoLongerInTheListFailsSilently) {
  DownloadRig rig({{kLowRes, test::uncompressed_photo()}});
  const DownloadResult result = rig.run({5, 0}, test::no_renders());
  EXPECT_EQ(result.saved, 1);
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(result.errors, u"");
  EXPECT_EQ(rig.progress.front(), "Downloading photo 2 / 2 (camera item 1)...");
}

TEST(Download, FailedFetchOfTheSecondPhotoLeavesTheOthersSaved) {
  sim::SimulatedCameraConfig config;
  config.fault = [](const sim::TransferContext& t) -> std::optional<sim::FaultAction> {
    if (t.photo_ordinal == 2 && t.endpoint == 0x82) return sim::FaultAction{};
    return std::nullopt;
  };
  DownloadRig rig({{kLowRes, test::uncompressed_photo()},
                   {kLowCompressed, test::compressed_photo()},
                   {kLowRes, test::uncompressed_photo()}},
                  config);
  DownloadOptions options = test::no_renders();
  options.restrained = true;
  options.save_usb_log = true;
  const DownloadResult result = rig.run({0, 1, 2}, options);
  EXPECT_EQ(result.saved, 2);
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(utf16_to_utf8(result.errors), "Photo 2: WinUsb_ReadPipe (Win32 error 121)\n");
  EXPECT_EQ(rig.listing(), (std::vector<std::string>{"Velmora_001_LR-nP_250314093005.velmoraraw",
                                                     "Velmora_001_LR-nP_restrained_250314093005.png",
                                                     "Velmora_003_LR-nP_250314093005.velmoraraw",
                                                     "Velmora_003_LR-nP_restrained_250314093005.png",
                                                     "Velmora_session_250314093005.txt"}));
  EXPECT_NE(std::find(rig.progress.begin(), rig.progress.end(),
                      "  Photo 2 failed safely. Remaining photos will be attempted."),
            rig.progress.end());
  const std::string log = read_text(rig.destination() / "Velmora_session_250314093005.txt");
  // The failed fetch's transfers are logged although it left no archive.
  EXPECT_NE(log.find(" FAIL error=121 PHOTO data chunk 1\n  \n\nPhoto 2 failed: WinUsb_ReadPipe (Win32 error 121)\n"
                     "Photo 3 PAT "),
            std::string::npos);
  EXPECT_NE(log.find("\nCompleted: 2 successful; 1 failed.\n"), std::string::npos);
}

TEST(Download, FailedMetadataWriteFailsThePhotoAfterItsArchive) {
  DownloadRig rig({{kLowRes, test::uncompressed_photo()}});
  rig.files.refuse_containing = "_metadata_";
  DownloadOptions options;
  options.save_metadata = true;
  options.save_usb_log = true;
  const DownloadResult result = rig.run({0}, options);
  EXPECT_EQ(result.saved, 0);
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(result.errors, u"Photo 1: Could not create a new output file (or filename collision)\n");
  EXPECT_EQ(rig.listing(), (std::vector<std::string>{"Velmora_001_LR-nP_250314093005.velmoraraw",
                                                     "Velmora_session_250314093005.txt"}));
  const std::string log = read_text(rig.destination() / "Velmora_session_250314093005.txt");
  EXPECT_NE(log.find("\nPhoto 1 PAT 00 00 01 00 0c 63 00 00 raw=Velmora_001_LR-nP_250314093005.velmoraraw\n"
                     "Photo 1 failed: Could not create a new output file (or filename collision)\n"
                     "\nCompleted: 0 successful; 1 failed.\n"),
            std::string::npos);
}

TEST(Download, SamePhotoTwiceInOneSecondGetsCollisionCounters) {
  DownloadRig rig({{kLowRes, test::uncompressed_photo()}, {kLowRes, test::uncompressed_photo()}});
  DownloadOptions options = test::no_renders();
  options.balanced = true;
  options.save_metadata = true;
  const DownloadResult result = rig.run({1, 1, 0}, options);
  EXPECT_EQ(result.saved, 3);
  EXPECT_EQ(rig.files.created, (std::vector<std::string>{
                                   "Velmora_002_LR-nP_250314093005.velmoraraw",
                                   "Velmora_002_LR-nP_metadata_250314093005.txt",
                                   "Velmora_002_LR-nP_balanced_250314093005.png",
                                   "Velmora_002_LR-nP_250314093005_02.velmoraraw",
                                   "Velmora_002_LR-nP_metadata_250314093005_02.txt",
                                   "Velmora_002_LR-nP_balanced_250314093005_02.png",
                                   "Velmora_001_LR-nP_250314093005.velmoraraw",
                                   "Velmora_001_LR-nP_metadata_250314093005.txt",
                                   "Velmora_001_LR-nP_balanced_250314093005.png",
                               }));
}

TEST(Download, DatedFolderInsideTheDestination) {
  DownloadRig rig({{kLowRes, test::uncompressed_photo()}});
  std::filesystem::create_directories(rig.destination() / "2025-03-14_01");
  DownloadOptions options = test::no_renders();
  options.dated_folder = true;
  const DownloadResult result = rig.run({0}, options);
  const auto folder = rig.destination() / "2025-03-14_02";
  EXPECT_EQ(result.folder, folder.u16string());
  EXPECT_EQ(rig.listing(folder), (std::vector<std::string>{"Velmora_001_LR-nP_250314093005.velmoraraw"}));
}

TEST(Download, NestedDestinationIsCreated) {
  DownloadRig rig({{kLowRes, test::uncompressed_photo()}});
  DownloadOptions options = test::no_renders();
  options.destination = (rig.dir.path() / "a" / "b" / "c").u16string();
  const DownloadResult result = rig.run({0}, options);
  EXPECT_EQ(result.saved, 1);
  EXPECT_TRUE(std::filesystem::is_directory(rig.dir.path() / "a" / "b" / "c"));
}

TEST(Download, NoSessionFileWithoutTheUsbLogOption) {
  DownloadRig rig({{kLowRes, test::uncompressed_photo()}});
  rig.run({0}, test::no_renders());
  EXPECT_EQ(rig.listing(), (std::vector<std::string>{"Velmora_001_LR-nP_250314093005.velmoraraw"}));
}

TEST(Download, JobFailuresBeforeTheFirstPhotoThrowAndCountNothing) {
  DownloadRig rig({{kLowRes, test::uncompressed_photo()}});
  rig.scan();
  DownloadOptions options;
  try {
    run_download(rig.env(), rig.snapshot, {0}, options, [](const std::u16string&) {}, rig.files, rig.time);
    FAIL() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Choose an output directory");
  }

  rig.camera->unplug();
  EXPECT_THROW(rig.run({0}, options), std::exception);
  EXPECT_TRUE(rig.progress.empty());
  EXPECT_TRUE(rig.files.created.empty());
}

TEST(Download, SessionLogThatCannotBeWrittenEndsTheJob) {
  DownloadRig rig({{kLowRes, test::uncompressed_photo()}});
  rig.files.refuse_containing = "Velmora_session_";
  DownloadOptions options = test::no_renders();
  options.save_usb_log = true;
  try {
    rig.run({0}, options);
    FAIL() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Could not create a new output file (or filename collision)");
  }
  EXPECT_EQ(rig.listing(), (std::vector<std::string>{"Velmora_001_LR-nP_250314093005.velmoraraw"}));
}

TEST(DownloadStem, ItemNumberHasAtLeastThreeDigits) {
  PhotoEntry entry;
  entry.flags = 0x22;
  entry.type_code = 2;
  entry.compressed = true;
  EXPECT_EQ(download_stem(6, entry), "Velmora_007_HR-CP");
  EXPECT_EQ(download_stem(41, entry), "Velmora_042_HR-CP");
  EXPECT_EQ(download_stem(999, entry), "Velmora_1000_HR-CP");
}

}  // namespace
}  // namespace velmora
