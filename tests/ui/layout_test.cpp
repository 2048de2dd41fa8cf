#include <gtest/gtest.h>

#include "ops/download.h"
#include "ui/layout.h"
#include "ui/preview_image.h"

namespace velmora {
namespace {

const ControlDef& control_with_role(LayoutRole role) {
  for (const ControlDef& def : kControls) {
    if (def.role == role) return def;
  }
  throw std::logic_error("no control with that role");
}

TEST(Layout, ControlsFollowTheClientWidthAtTheEdges) {
  struct Case {
    LayoutRole role;
    int width_of_client, x, width;
  };
  const Case cases[] = {
      // The right column is fixed at 628 up to 1058 pixels, then follows the edge.
      {LayoutRole::RightColumn, 1058, 628, 408},
      {LayoutRole::RightColumn, 1059, 629, 408},
      {LayoutRole::RightColumn, 800, 628, 270},
      {LayoutRole::PhotoList, 1058, 22, 584},
      {LayoutRole::PhotoList, 1164, 22, 690},
      {LayoutRole::StatusTitle, 1058, 22, 583},
      {LayoutRole::StatusTitle, 1164, 22, 689},
      {LayoutRole::StatusTitle, 700, 22, 583},
      {LayoutRole::Title, 1164, 22, 1120},
      {LayoutRole::StatusDetail, 1000, 22, 956},
      {LayoutRole::Refresh, 1164, 710, 162},
      {LayoutRole::SetupButton, 1164, 710, 320},
      {LayoutRole::DeviceDetails, 1164, 881, 143},
      {LayoutRole::HelpInfo, 1164, 1034, 108},
      // The folder row stops shrinking at an edit 440 pixels wide.
      {LayoutRole::FolderEdit, 740, 22, 440},
      {LayoutRole::Browse, 740, 472, 100},
      {LayoutRole::OpenFolder, 740, 582, 124},
      {LayoutRole::FolderEdit, 741, 22, 441},
      {LayoutRole::Browse, 741, 473, 100},
      {LayoutRole::OpenFolder, 741, 583, 124},
  };
  for (const Case& c : cases) {
    const ControlDef& def = control_with_role(c.role);
    const DesignRect r = place_control(def, c.width_of_client, 0);
    EXPECT_EQ(r.x, c.x) << static_cast<int>(c.role) << " at " << c.width_of_client;
    EXPECT_EQ(r.width, c.width) << static_cast<int>(c.role) << " at " << c.width_of_client;
    EXPECT_EQ(r.height, def.design.height) << "heights never change";
  }
  EXPECT_EQ(place_control(kControls[12], 1164, 100), (DesignRect{479, 315, 122, 39})) << "scrolled by 100";
  EXPECT_EQ(place_control(kControls[kRowStatusDetail], 1164, 0, true).width, 676) << "ends 12 pixels before setup";
}

TEST(Layout, ScrollRangeAndClamping) {
  EXPECT_EQ(content_height(false), 881);
  EXPECT_EQ(content_height(true), 1020);
  EXPECT_EQ(max_scroll(881, 881), 0);
  EXPECT_EQ(max_scroll(881, 880), 1);
  EXPECT_EQ(max_scroll(881, 2000), 0);
  EXPECT_EQ(clamp_scroll(500, 1020, 600), 420);
  EXPECT_EQ(clamp_scroll(-36, 1020, 600), 0);
  EXPECT_EQ(clamp_scroll(300, 881, 600), 281) << "collapsing clamps into the smaller range";
}

TEST(Layout, ScrollSources) {
  const std::pair<int, std::optional<int>> codes[] = {
      {0, 64}, {1, 136}, {2, -160}, {3, 360}, {4, 42}, {5, 42}, {6, 0}, {7, 1020}, {8, std::nullopt}, {9, std::nullopt}};
  for (const auto& [code, wanted] : codes) EXPECT_EQ(scroll_bar_target(code, 100, 42, 1020), wanted) << code;
  EXPECT_EQ(wheel_target(200, 240), 40) << "two notches up";
  EXPECT_EQ(wheel_target(200, 60), 200) << "half a notch does not scroll";
  EXPECT_EQ(wheel_target(200, -120), 280);
}

TEST(ControlTable, OptionBoxesFollowTheDownloadFlags) {
  const char16_t* labels[] = {u"Restrained", u"Balanced", u"Expressive", u"Brighter", u"More Color", u"Lower Contrast",
                              u"Stronger Destriping", u"Save full USB transfer", u"Save decompressed Bayer plane",
                              u"Save detailed USB log", u"Save PAT/header metadata",
                              u"New dated folder for each download", u"Experimental / glitch renders",
                              u"All four Bayer patterns", u"Original-style baseline", u"Historical Mars processing",
                              u"Legacy proc20 + proc23", u"Extreme glitch pack (5 more)"};
  for (std::size_t i = 0; i < kOptionBoxIds.size(); ++i) {
    const ControlDef* box = nullptr;
    for (const ControlDef& def : kControls) box = def.id == kOptionBoxIds[i] ? &def : box;
    ASSERT_NE(box, nullptr) << kOptionBoxIds[i];
    EXPECT_EQ(box->kind, ControlKind::CheckBox);
    EXPECT_EQ(std::u16string(box->text), labels[i]);
    EXPECT_EQ(box->checked, DownloadOptions{}.*kDownloadFlags[i]) << "initial state is the default option";
  }
}

TEST(PreviewImage, StrideAndBgrRows) {
  EXPECT_EQ(bgr_stride(1), 4);
  EXPECT_EQ(bgr_stride(2), 8);
  EXPECT_EQ(bgr_stride(640), 1920);
  EXPECT_EQ(bgr_stride(352), 1056);
  const RgbImage image{2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}};
  EXPECT_EQ(to_bgr_rows(image), (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4, 0, 0, 9, 8, 7, 12, 11, 10, 0, 0}));
}

TEST(PreviewImage, ScaledToFitAndCentred) {
  EXPECT_EQ(preview_placement(408, 229, 352, 288), (DesignRect{76, 10, 255, 209}));
  EXPECT_EQ(preview_placement(408, 229, 176, 144), (DesignRect{76, 10, 255, 209})) << "scaled up";
  EXPECT_EQ(preview_placement(408, 229, 640, 480), (DesignRect{65, 10, 278, 209}));
  EXPECT_EQ(preview_placement(15, 229, 352, 288), (DesignRect{7, 114, 1, 1})) << "never below 1 x 1";
  EXPECT_EQ(preview_placement(408, 229, 0, 288), std::nullopt);
}

}  // namespace
}  // namespace velmora
