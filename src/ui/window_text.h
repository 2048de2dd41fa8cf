#pragma once
// The texts the window shows, built from what it holds: photo list cells,
// download labels, camera status lines, Device Details, Help / Info.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "link/discovery.h"
#include "ops/scan_data.h"

namespace velmora {

// "1,234,567": commas between groups of three, whatever the user's locale.
std::u16string grouped_number(std::uint32_t value);

struct PhotoColumn {
  const char16_t* header;
  int width;
};
inline constexpr std::array<PhotoColumn, 6> kPhotoColumns{
    {{u"#", 72}, {u"Resolution", 121}, {u"Compression", 123}, {u"Dimensions", 110}, {u"Bytes", 97}, {u"Preview", 86}}};

// The text of column 0 to 5 for the entry at list position `position`.
std::u16string photo_cell_text(const PhotoEntry& entry, std::size_t position, int column);

// "Download Selected (S)" and "Download All (N)".
std::u16string download_selected_label(std::size_t checked);
std::u16string download_all_label(std::size_t rows);

struct StatusTexts {
  std::u16string title;
  std::u16string detail;
  bool setup_button = false;
  friend bool operator==(const StatusTexts&, const StatusTexts&) = default;
};
// "ready" when the held snapshot was read through the first 010E interface
// Windows lists now.
bool snapshot_is_current(const ScanData* held, const std::vector<CameraInterfaceInfo>& interfaces);
StatusTexts camera_status_texts(CameraLinkState state, bool ready);
inline constexpr const char16_t* kStatusBusy = u"Camera operation in progress...";

// What discovery and the last refresh know; interfaces are listed only when
// nothing is held.
std::u16string device_details_text(const CameraPresence& presence, const ScanData* held,
                                   const std::vector<CameraInterfaceInfo>& interfaces);

extern const char16_t* const kSetupStepsText;

// Help / Info: task dialog markup, and the plain text the Copy button hands over.
std::u16string help_info_content();
std::u16string help_info_copy_text();
// Only the program's own link targets are opened.
bool is_help_link(const std::u16string& target);

}  // namespace velmora
