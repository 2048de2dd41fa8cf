#pragma once
// Every child control of the main window, in creation order (which is also
// the Tab order): its kind, text, id and design rectangle in unscrolled
// client pixels. The Win32 side turns kinds into classes and styles.

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmora {

enum ControlId : int {
  kIdRefresh = 100,
  kIdDeviceDetails = 101,
  kIdSetupSteps = 102,
  kIdPhotoList = 103,
  kIdDownloadSelected = 104,
  kIdDownloadAll = 105,
  kIdSelectAll = 106,
  kIdSelectNone = 107,
  kIdFolderEdit = 108,
  kIdBrowse = 109,
  kIdDatedFolder = 110,
  kIdAdvancedToggle = 118,
  kIdBayerOverride = 128,
  kIdOpenFolder = 129,
  kIdLog = 130,
  kIdHelpInfo = 131,
};

enum class ControlKind { Label, PushButton, ActionButton, CheckBox, PhotoList, Canvas, FolderEdit, Log, ComboBox };

// How a control moves with the client width (the rest keep their design x and width).
enum class LayoutRole {
  Fixed,
  Title,
  StatusTitle,
  StatusDetail,
  Refresh,
  DeviceDetails,
  HelpInfo,
  SetupButton,
  PhotoList,
  RightColumn,
  FolderEdit,
  Browse,
  OpenFolder,
};

struct DesignRect {
  int x = 0, y = 0, width = 0, height = 0;
  friend bool operator==(const DesignRect&, const DesignRect&) = default;
};

struct ControlDef {
  ControlKind kind;
  const char16_t* text;
  int id;
  DesignRect design;
  LayoutRole role = LayoutRole::Fixed;
  bool checked = false;   // check boxes: the initial state
  bool advanced = false;  // part of the collapsible advanced section
};

inline constexpr const char16_t* kAdvancedHidden = u"\u25b8  Advanced / Debug / Compatibility";
inline constexpr const char16_t* kAdvancedShown = u"\u25be  Advanced / Debug / Compatibility";
inline constexpr const char16_t* kLogFirstLine = u"Ready. Connect the camera and refresh the list.\r\n";

// Rows of the table; the title, the two status lines and the canvas have no id.
enum ControlRow : std::size_t { kRowTitle = 0, kRowStatusTitle = 1, kRowStatusDetail = 2, kRowCanvas = 9 };

namespace control_table {
using K = ControlKind;
using R = LayoutRole;
inline constexpr std::array<ControlDef, 42> kControls{{
    {K::Label, u"Velmora", 0, {22, 16, 600, 40}, R::Title},
    {K::Label, u"Looking for camera...", 0, {22, 63, 600, 26}, R::StatusTitle},
    {K::Label, u"", 0, {22, 101, 760, 23}, R::StatusDetail},
    {K::PushButton, u"Refresh Photo List", kIdRefresh, {660, 62, 162, 32}, R::Refresh},
    {K::PushButton, u"Device Details", kIdDeviceDetails, {833, 62, 143, 32}, R::DeviceDetails},
    {K::PushButton, u"Help / Info", kIdHelpInfo, {988, 62, 108, 32}, R::HelpInfo},
    {K::PushButton, u"Show WinUSB setup / repair steps", kIdSetupSteps, {660, 101, 320, 27}, R::SetupButton},
    {K::Label,
     u"STORED PHOTOS \u2014 check photos to download, or click Preview to see it on the right.",
     0,
     {22, 132, 850, 27}},
    {K::PhotoList, u"", kIdPhotoList, {22, 165, 590, 229}, R::PhotoList},
    {K::Canvas, u"", 0, {660, 165, 399, 229}, R::RightColumn},
    {K::ActionButton, u"Download Selected", kIdDownloadSelected, {22, 415, 235, 39}},
    {K::ActionButton, u"Download All", kIdDownloadAll, {269, 415, 198, 39}},
    {K::ActionButton, u"Select All", kIdSelectAll, {479, 415, 122, 39}},
    {K::ActionButton, u"Select None", kIdSelectNone, {613, 415, 132, 39}},
    {K::Label, u"DOWNLOAD TO", 0, {22, 465, 360, 21}},
    {K::FolderEdit, u"", kIdFolderEdit, {22, 488, 800, 30}, R::FolderEdit},
    {K::PushButton, u"Browse...", kIdBrowse, {832, 488, 100, 30}, R::Browse},
    {K::PushButton, u"Open Folder", kIdOpenFolder, {942, 488, 124, 30}, R::OpenFolder},
    {K::CheckBox, u"New dated folder for each download", kIdDatedFolder, {22, 530, 360, 26}},
    {K::Label, u"OUTPUT STYLES \u2014 each photo receives all checked styles", 0, {22, 570, 610, 24}},
    {K::CheckBox, u"Restrained", 111, {22, 600, 140, 26}, R::Fixed, true},
    {K::CheckBox, u"Balanced", 112, {166, 600, 140, 26}, R::Fixed, true},
    {K::CheckBox, u"Expressive", 113, {309, 600, 150, 26}, R::Fixed, true},
    {K::Label, u"ALSO CREATE ADDITIONAL SETS", 0, {22, 639, 600, 24}},
    {K::CheckBox, u"Brighter", 114, {22, 667, 125, 26}},
    {K::CheckBox, u"More Color", 115, {155, 667, 140, 26}},
    {K::CheckBox, u"Lower Contrast", 116, {303, 667, 148, 26}},
    {K::CheckBox, u"Stronger Destriping", 117, {459, 667, 190, 26}},
    {K::PushButton, kAdvancedHidden, kIdAdvancedToggle, {22, 714, 410, 34}},
    {K::Log, kLogFirstLine, kIdLog, {660, 542, 400, 271}, R::RightColumn},
    {K::CheckBox, u"Experimental / glitch renders", 123, {22, 763, 280, 26}, R::Fixed, false, true},
    {K::CheckBox, u"All four Bayer patterns", 124, {316, 763, 235, 26}, R::Fixed, false, true},
    {K::CheckBox, u"Extreme glitch pack (5 more)", 132, {22, 793, 280, 26}, R::Fixed, false, true},
    {K::CheckBox, u"Original-style baseline", 125, {316, 793, 244, 26}, R::Fixed, false, true},
    {K::CheckBox, u"Historical Mars processing", 126, {22, 823, 282, 26}, R::Fixed, false, true},
    {K::CheckBox, u"Legacy proc20 + proc23", 127, {316, 823, 280, 26}, R::Fixed, false, true},
    {K::CheckBox, u"Save full USB transfer", 119, {22, 853, 280, 26}, R::Fixed, false, true},
    {K::CheckBox, u"Save decompressed Bayer plane", 120, {316, 853, 300, 26}, R::Fixed, false, true},
    {K::CheckBox, u"Save detailed USB log", 121, {22, 883, 270, 26}, R::Fixed, false, true},
    {K::CheckBox, u"Save PAT/header metadata", 122, {316, 883, 270, 26}, R::Fixed, false, true},
    {K::Label, u"Bayer override:", 0, {22, 934, 145, 24}, R::Fixed, false, true},
    {K::ComboBox, u"", kIdBayerOverride, {178, 932, 165, 230}, R::Fixed, false, true},
}};
}  // namespace control_table
using control_table::kControls;

inline constexpr std::array<const char16_t*, 4> kBayerOverrideItems{u"BGGR (Auto)", u"RGGB", u"GRBG", u"GBRG"};

// The check box of each download option, in the order of kDownloadFlags.
inline constexpr std::array<int, 18> kOptionBoxIds{111, 112, 113, 114, 115, 116, 117, 119, 120,
                                                   121, 122, 110, 123, 124, 125, 126, 127, 132};

// Commands the window answers; other ids are ignored.
inline constexpr int kFirstCommandId = 100;
inline constexpr int kLastCommandId = 131;

}  // namespace velmora
