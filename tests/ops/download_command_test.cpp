#include <gtest/gtest.h>

#include <fstream>

#include "ops/download.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

DownloadOptions only(bool DownloadOptions::*flag) {
  DownloadOptions o;
  for (const auto& f : kDownloadFlags) o.*f = false;
  o.*flag = true;
  o.destination = u"D:\\Photos ";
  return o;
}

const DownloadRefusal kNoSelection{u"Check at least one photo, or use Download All.", u"No photographs selected",
                                   RefusalIcon::Information};
const DownloadRefusal kNoDestination{u"Choose a download folder first.", u"Missing destination",
                                     RefusalIcon::Warning};
const DownloadRefusal kNothingToRender{u"Select at least one output style.", u"Nothing to render",
                                       RefusalIcon::Warning};

TEST(DownloadFlags, DefaultsAreTheThreeMainStyles) {
  for (std::size_t i = 0; i < kDownloadFlags.size(); ++i) EXPECT_EQ(DownloadOptions{}.*kDownloadFlags[i], i < 3) << i;
  EXPECT_EQ(DownloadOptions{}.bayer_pattern, 1);
}

TEST(DownloadCheck, RefusalsInTheCommandsOrder) {
  DownloadOptions empty_everything = only(&DownloadOptions::brighter);
  empty_everything.destination.clear();
  EXPECT_EQ(check_download_request({{}, empty_everything}), kNoSelection);
  EXPECT_EQ(check_download_request({{0}, empty_everything}), kNoDestination);
  EXPECT_EQ(check_download_request({{0}, only(&DownloadOptions::brighter)}), kNothingToRender);
  EXPECT_EQ(check_download_request({{0}, only(&DownloadOptions::balanced)}), std::nullopt);
}

TEST(DownloadCheck, WhatCountsAsSomethingToRender) {
  struct Case {
    bool DownloadOptions::*flag;
    bool renders;
  };
  const Case cases[] = {
      {&DownloadOptions::restrained, true},          {&DownloadOptions::balanced, true},
      {&DownloadOptions::expressive, true},          {&DownloadOptions::brighter, false},
      {&DownloadOptions::more_color, false},         {&DownloadOptions::lower_contrast, false},
      {&DownloadOptions::stronger_destriping, false}, {&DownloadOptions::save_usb_transfer, false},
      {&DownloadOptions::save_bayer_plane, false},   {&DownloadOptions::save_usb_log, false},
      {&DownloadOptions::save_metadata, false},      {&DownloadOptions::dated_folder, false},
      {&DownloadOptions::experimental, true},        {&DownloadOptions::all_bayer_patterns, true},
      {&DownloadOptions::baseline_render, true},     {&DownloadOptions::historical_mars, true},
      {&DownloadOptions::legacy_proc, true},         {&DownloadOptions::extreme_glitch, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(has_something_to_render(only(cases[i].flag)), cases[i].renders) << i;
    EXPECT_EQ(check_download_request({{3}, only(cases[i].flag)}).has_value(), !cases[i].renders) << i;
  }
}

TEST(DownloadCheck, DestinationIsCreatedWithItsParents) {
  test::TempDir dir;
  const auto target = dir.path() / "x" / "y";
  DownloadOptions options;
  options.destination = target.u16string();
  EXPECT_EQ(prepare_download({{0}, options}), std::nullopt);
  EXPECT_TRUE(std::filesystem::is_directory(target));
  EXPECT_EQ(prepare_download({{0}, options}), std::nullopt);  // already there
}

TEST(DownloadCheck, DestinationBehindAFileIsRefused) {
  test::TempDir dir;
  std::ofstream(dir.path() / "file") << "x";
  const DownloadRefusal refusal{u"Cannot create the destination folder.", u"Invalid path", RefusalIcon::Error};
  EXPECT_EQ(ensure_download_destination((dir.path() / "file" / "sub").u16string()), refusal);
  // The checks before the folder come first and touch nothing.
  DownloadOptions options = only(&DownloadOptions::brighter);
  options.destination = (dir.path() / "new").u16string();
  EXPECT_EQ(prepare_download({{0}, options}), kNothingToRender);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "new"));
}

TEST(DownloadCheck, BayerOverrideSelection) {
  EXPECT_EQ(bayer_pattern_from_selection(-1), 1);
  EXPECT_EQ(bayer_pattern_from_selection(0), 1);
  EXPECT_EQ(bayer_pattern_from_selection(1), 0);
  EXPECT_EQ(bayer_pattern_from_selection(2), 2);
  EXPECT_EQ(bayer_pattern_from_selection(3), 3);
}

TEST(DownloadCheck, CollectedIndices) {
  EXPECT_EQ(collect_download_indices(true, 3, {false, false}), (std::vector<std::uint64_t>{0, 1, 2}));
  EXPECT_EQ(collect_download_indices(true, 0, {true}), (std::vector<std::uint64_t>{}));
  EXPECT_EQ(collect_download_indices(false, 4, {false, true, false, true}), (std::vector<std::uint64_t>{1, 3}));
}

TEST(DownloadLines, StartedAndFinished) {
  EXPECT_EQ(download_started_line(3), u"Downloading 3 photograph(s) into the selected folder...");
  EXPECT_EQ(download_finished_line({3, 0, u"", u""}), u"Finished: 3 saved, 0 failed.");
  EXPECT_EQ(download_finished_line({-1, 2, u"", u""}), u"Finished: -1 saved, 2 failed.");
}

TEST(DownloadOptionsSnapshot, TheBoxesPatternAndDestination) {
  std::array<bool, 18> checked{};
  checked[1] = true;   // Balanced
  checked[9] = true;   // Save detailed USB log
  checked[17] = true;  // Extreme glitch pack
  const DownloadOptions options = read_download_options(checked, 3, u" C:\\Photos\\ ");
  DownloadOptions expected;
  expected.restrained = expected.expressive = false;
  expected.save_usb_log = expected.extreme_glitch = true;
  expected.destination = u" C:\\Photos\\ ";  // not trimmed
  for (const auto& flag : kDownloadFlags) EXPECT_EQ(options.*flag, expected.*flag);
  EXPECT_EQ(options.bayer_pattern, 3);
  EXPECT_EQ(options.destination, expected.destination);
}

}  // namespace
}  // namespace velmora
