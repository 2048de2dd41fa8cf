#pragma once
// Where each control goes for a client size and scroll position, and how far
// the window may scroll. Fixed pixels: the window declares no DPI awareness.

#include <cstdint>
#include <optional>

#include "ui/control_table.h"

namespace velmora {

inline constexpr int kContentHeightCollapsed = 881;
inline constexpr int kContentHeightExpanded = 1020;
inline constexpr int kMinTrackWidth = 1050;
inline constexpr int kMinTrackHeight = 520;

int content_height(bool advanced_shown);
// content_height - client_height, or 0 when that is below 1.
int max_scroll(int content_height, int client_height);
int clamp_scroll(int wanted, int content_height, int client_height);

// The control's rectangle in client pixels for client width W and scroll
// position. While the setup button is shown, the status detail ends before it.
DesignRect place_control(const ControlDef& def, int client_width, int scroll_pos, bool setup_shown = false);

// The wanted position for a scroll bar code (SB_LINEUP 0 ... SB_ENDSCROLL 8);
// nothing for codes that do not scroll.
std::optional<int> scroll_bar_target(int code, int scroll_pos, int track_pos, int content_height);
// Whole notches of 120 only, 80 pixels each.
int wheel_target(int scroll_pos, int wheel_delta);

}  // namespace velmora
