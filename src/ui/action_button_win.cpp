// The owner-drawn action buttons and the photo list's check box images.
#include "ui/main_window_win.h"

#include <objidl.h>
#include <commctrl.h>
#include <gdiplus.h>

#include <algorithm>

namespace velmora {
namespace {

namespace gp = Gdiplus::DllExports;

struct ButtonColours {
  COLORREF fill, border, text;
};

ButtonColours colours_of(int id, bool pressed, bool disabled) {
  switch (id) {
    case kIdDownloadSelected:
      return disabled ? ButtonColours{RGB(167, 175, 183), RGB(150, 156, 162), RGB(235, 236, 238)}
                      : ButtonColours{RGB(54, 99, 146), RGB(37, 77, 121), RGB(255, 255, 255)};
    case kIdDownloadAll:
      return disabled ? ButtonColours{RGB(167, 175, 183), RGB(150, 156, 162), RGB(235, 236, 238)}
                      : ButtonColours{RGB(41, 104, 107), RGB(27, 79, 81), RGB(255, 255, 255)};
    default:
      return {pressed ? RGB(205, 218, 231) : RGB(223, 229, 236), disabled ? RGB(159, 168, 177) : RGB(54, 99, 146),
              disabled ? RGB(145, 153, 161) : RGB(39, 50, 66)};
  }
}

Gdiplus::ARGB opaque(COLORREF c) {
  return 0xFF000000u | (static_cast<Gdiplus::ARGB>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

void gdi_rounded(HDC dc, const RECT& r, int corner, COLORREF fill, COLORREF border) {
  HBRUSH brush = ::CreateSolidBrush(fill);
  HPEN pen = ::CreatePen(PS_SOLID, 1, border);
  HGDIOBJ old_brush = ::SelectObject(dc, brush);
  HGDIOBJ old_pen = ::SelectObject(dc, pen);
  ::RoundRect(dc, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, corner, corner);
  ::SelectObject(dc, old_pen);
  ::SelectObject(dc, old_brush);
  ::DeleteObject(pen);
  ::DeleteObject(brush);
}

// False when GDI+ could not draw; the caller then draws with GDI.
bool gdiplus_soft(HDC dc, const RECT& r, COLORREF fill, COLORREF border) {
  Gdiplus::GpGraphics* graphics = nullptr;
  if (gp::GdipCreateFromHDC(dc, &graphics) != Gdiplus::Ok) return false;
  Gdiplus::GpPath* path = nullptr;
  Gdiplus::GpSolidFill* brush = nullptr;
  Gdiplus::GpPen* pen = nullptr;
  bool drawn = false;
  if (gp::GdipCreatePath(Gdiplus::FillModeAlternate, &path) == Gdiplus::Ok &&
      gp::GdipCreateSolidFill(opaque(fill), &brush) == Gdiplus::Ok &&
      gp::GdipCreatePen1(opaque(border), 1.1f, Gdiplus::UnitPixel, &pen) == Gdiplus::Ok) {
    const float x = r.left + 1.3f, y = r.top + 1.3f;
    const float w = (r.right - r.left) - 2.6f, h = (r.bottom - r.top) - 2.6f;
    const float d = std::min(36.0f, h);
    gp::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeAntiAlias);
    gp::GdipAddPathArc(path, x, y, d, d, 180, 90);
    gp::GdipAddPathArc(path, x + w - d, y, d, d, 270, 90);
    gp::GdipAddPathArc(path, x + w - d, y + h - d, d, d, 0, 90);
    gp::GdipAddPathArc(path, x, y + h - d, d, d, 90, 90);
    gp::GdipClosePathFigure(path);
    drawn =
        gp::GdipFillPath(graphics, brush, path) == Gdiplus::Ok && gp::GdipDrawPath(graphics, pen, path) == Gdiplus::Ok;
    gp::GdipFlush(graphics, Gdiplus::FlushIntentionSync);
  }
  if (pen) gp::GdipDeletePen(pen);
  if (brush) gp::GdipDeleteBrush(brush);
  if (path) gp::GdipDeletePath(path);
  gp::GdipDeleteGraphics(graphics);
  return drawn;
}

}  // namespace

void MainWindow::draw_action_button(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  const RECT& r = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const int id = static_cast<int>(item.CtlID);
  const ButtonColours c = colours_of(id, pressed, disabled);

  ::FillRect(dc, &r, reinterpret_cast<HBRUSH>(::GetClassLongPtrW(hwnd_, GCLP_HBRBACKGROUND)));
  const bool soft = id == kIdSelectAll || id == kIdSelectNone;
  if (!soft)
    gdi_rounded(dc, r, 8, c.fill, c.border);
  else if (!gdiplus_running_ || !gdiplus_soft(dc, r, c.fill, c.border))
    gdi_rounded(dc, r, 36, c.fill, c.border);

  wchar_t text[101] = {};
  ::GetWindowTextW(item.hwndItem, text, 101);
  RECT text_rect = r;
  if (pressed) ::OffsetRect(&text_rect, 1, 1);
  text_rect.left += 8;
  text_rect.right -= 8;
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, c.text);
  HGDIOBJ old_font = ::SelectObject(dc, font_normal_);
  ::DrawTextW(dc, text, -1, &text_rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  ::SelectObject(dc, old_font);
  if (item.itemState & ODS_FOCUS) {
    RECT focus = r;
    ::InflateRect(&focus, -5, -5);
    ::DrawFocusRect(dc, &focus);
  }
}

HIMAGELIST MainWindow::create_check_images() {
  HIMAGELIST images = ImageList_Create(26, 26, ILC_COLOR24 | ILC_MASK, 2, 1);
  if (images == nullptr) return nullptr;
  HDC window_dc = ::GetDC(hwnd_);
  HDC dc = ::CreateCompatibleDC(window_dc);
  for (UINT state : {0u, static_cast<UINT>(DFCS_CHECKED)}) {
    HBITMAP bitmap = ::CreateCompatibleBitmap(window_dc, 26, 26);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    RECT all{0, 0, 26, 26}, box{3, 3, 23, 23};
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | state);
    ::SelectObject(dc, old);
    ImageList_AddMasked(images, bitmap, RGB(255, 255, 255));
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(dc);
  ::ReleaseDC(hwnd_, window_dc);
  if (ImageList_GetImageCount(images) == 2) return images;
  ImageList_Destroy(images);
  return nullptr;
}

}  // namespace velmora
