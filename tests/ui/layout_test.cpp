#include <gtest/gtest.h>

#include "ui/layout.h"
#include "ui/preview_image.h"

namespace velmora {
namespace {

TEST(Layout, ControlsAtTheEdgeWidths) {
  using R = LayoutRole;
  // The right column is fixed at 628 up to 1058 pixels, then follows the edge;
  // the folder row stops shrinking at an edit 440 pixels wide.
  const std::tuple<LayoutRole, int, int, int> cases[] = {
      {R::RightColumn, 1058, 628, 408}, {R::RightColumn, 1059, 629, 408},   {R::RightColumn, 800, 628, 270},
      {R::PhotoList, 1058, 22, 584},    {R::PhotoList, 1164, 22, 690},      {R::StatusTitle, 1058, 22, 583},
      {R::StatusTitle, 1164, 22, 689},  {R::Title, 1164, 22, 1120},         {R::StatusDetail, 1000, 22, 956},
      {R::Refresh, 1164, 710, 162},     {R::DeviceDetails, 1164, 881, 143}, {R::HelpInfo, 1164, 1034, 108},
      {R::FolderEdit, 740, 22, 440},    {R::Browse, 740, 472, 100},         {R::OpenFolder, 740, 582, 124},
      {R::FolderEdit, 741, 22, 441},    {R::Browse, 741, 473, 100},         {R::OpenFolder, 741, 583, 124}};
  for (const auto& [role, client_width, x, width] : cases) {
    for (const ControlDef& def : kControls) {
      const DesignRect placed = place_control(def, client_width, 0), wanted{x, def.design.y, width, def.design.height};
      EXPECT_TRUE(def.role != role || placed == wanted) << def.id << " at " << client_width << ": " << placed.x;
    }
  }
  EXPECT_EQ(place_control(kControls[12], 1164, 100), (DesignRect{479, 315, 122, 39})) << "scrolled by 100";
}

TEST(Layout, ScrollRangeAndSources) {
  EXPECT_EQ(std::tuple(clamp_scroll(500, content_height(true), 600), clamp_scroll(300, content_height(false), 600),
                       clamp_scroll(-36, 1020, 600), max_scroll(881, 880) + max_scroll(881, 2000)),
            std::tuple(420, 281, 0, 1));
  const std::optional<int> targets[] = {64, 136, -160, 360, 42, 42, 0, 1020, std::nullopt};
  for (int code = 0; code < 9; ++code) EXPECT_EQ(scroll_bar_target(code, 100, 42, 1020), targets[code]) << code;
  EXPECT_EQ(std::tuple(wheel_target(200, 240), wheel_target(200, 60), wheel_target(200, -120)),
            std::tuple(40, 200, 280));
}

TEST(PreviewImage, BgrRowsAndPlacement) {
  EXPECT_EQ(to_bgr_rows({2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}),
            (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4, 0, 0, 9, 8, 7, 12, 11, 10, 0, 0}));
  EXPECT_EQ(preview_placement(408, 229, 352, 288), (DesignRect{76, 10, 255, 209}));
  EXPECT_EQ(preview_placement(408, 229, 176, 144), (DesignRect{76, 10, 255, 209})) << "scaled up";
  EXPECT_EQ(preview_placement(408, 229, 640, 480), (DesignRect{65, 10, 278, 209}));
  EXPECT_EQ(preview_placement(15, 229, 352, 288), (DesignRect{7, 114, 1, 1})) << "never below 1 x 1";
  EXPECT_EQ(preview_placement(408, 229, 0, 288), std::nullopt);
}

}  // namespace
}  // namespace velmora
