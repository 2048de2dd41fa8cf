#include "ui/layout.h"

#include <algorithm>

namespace velmora {
namespace {

// Wide mode: the right column follows the right edge.
bool wide(int w) { return w - 430 > 628; }
int right_column_x(int w) { return wide(w) ? w - 430 : 628; }

}  // namespace

int content_height(bool advanced_shown) { return advanced_shown ? kContentHeightExpanded : kContentHeightCollapsed; }

int max_scroll(int content, int client_height) {
  const int range = content - client_height;
  return range < 1 ? 0 : range;
}

int clamp_scroll(int wanted, int content, int client_height) {
  return std::clamp(wanted, 0, max_scroll(content, client_height));
}

DesignRect place_control(const ControlDef& def, int w, int scroll_pos, bool setup_shown) {
  DesignRect r = def.design;
  r.y -= scroll_pos;
  const bool folder_row_wide = w - 300 > 440;
  switch (def.role) {
    case LayoutRole::Fixed: break;
    case LayoutRole::Title: r.width = w - 44; break;
    case LayoutRole::StatusDetail: r.width = setup_shown ? std::max(w - 488, 0) : w - 44; break;
    case LayoutRole::StatusTitle: r.width = std::max(wide(w) ? w - 475 : 583, 300); break;
    case LayoutRole::Refresh:
    case LayoutRole::SetupButton: r.x = w - 454; break;
    case LayoutRole::DeviceDetails: r.x = w - 283; break;
    case LayoutRole::HelpInfo: r.x = w - 130; break;
    case LayoutRole::PhotoList: r.width = wide(w) ? w - 474 : 584; break;
    case LayoutRole::RightColumn:
      r.x = right_column_x(w);
      r.width = std::max(w - r.x - 22, 270);
      break;
    case LayoutRole::FolderEdit: r.width = std::max(w - 300, 440); break;
    case LayoutRole::Browse: r.x = folder_row_wide ? w - 268 : 472; break;
    case LayoutRole::OpenFolder: r.x = folder_row_wide ? w - 158 : 582; break;
  }
  return r;
}

std::optional<int> scroll_bar_target(int code, int scroll_pos, int track_pos, int content) {
  switch (code) {
    case 0: return scroll_pos - 36;   // SB_LINEUP
    case 1: return scroll_pos + 36;   // SB_LINEDOWN
    case 2: return scroll_pos - 260;  // SB_PAGEUP
    case 3: return scroll_pos + 260;  // SB_PAGEDOWN
    case 4:                           // SB_THUMBPOSITION
    case 5: return track_pos;         // SB_THUMBTRACK
    case 6: return 0;                 // SB_TOP
    case 7: return content;           // SB_BOTTOM
    default: return std::nullopt;
  }
}

int wheel_target(int scroll_pos, int wheel_delta) { return scroll_pos - 80 * (wheel_delta / 120); }

}  // namespace velmora
