// The photo list with its check boxes and the preview canvas beside it.
#include "ui/main_window_win.h"

#include <commctrl.h>

#include <algorithm>

#include "ui/preview_image.h"
#include "ui/window_text.h"

namespace velmora {
namespace {

constexpr UINT kUncheckedImage = 1, kCheckedImage = 2;

}  // namespace

void MainWindow::insert_photo_columns() {
  HWND list = control(kIdPhotoList);
  for (std::size_t i = 0; i < kPhotoColumns.size(); ++i) {
    std::u16string header = kPhotoColumns[i].header;
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = kPhotoColumns[i].width;
    column.pszText = wide(header);
    column.iSubItem = static_cast<int>(i);
    ListView_InsertColumn(list, static_cast<int>(i), &column);
  }
}

void MainWindow::fill_photo_list() {
  HWND list = control(kIdPhotoList);
  if (list == nullptr) return;
  ListView_DeleteAllItems(list);
  const ScanSnapshot& held = operations_.snapshot();
  if (held) {
    for (std::size_t i = 0; i < held->entries.size(); ++i) {
      std::u16string number = photo_cell_text(held->entries[i], i, 0);
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(i);
      item.pszText = wide(number);
      const int row = ListView_InsertItem(list, &item);
      ListView_SetItemState(list, row, INDEXTOSTATEIMAGEMASK(kUncheckedImage), LVIS_STATEIMAGEMASK);
      for (int column = 1; column < static_cast<int>(kPhotoColumns.size()); ++column) {
        std::u16string text = photo_cell_text(held->entries[i], i, column);
        ListView_SetItemText(list, row, column, wide(text));
      }
    }
  }
  update_download_labels();
}

bool MainWindow::row_checked(int row) const {
  const UINT state = ListView_GetItemState(control(kIdPhotoList), row, LVIS_STATEIMAGEMASK);
  return (state >> 12) != kUncheckedImage;
}

std::vector<bool> MainWindow::photo_rows_checked() {
  std::vector<bool> rows;
  if (HWND list = control(kIdPhotoList)) {
    const int count = ListView_GetItemCount(list);
    for (int row = 0; row < count; ++row) rows.push_back(row_checked(row));
  }
  return rows;
}

void MainWindow::update_download_labels() {
  HWND list = control(kIdPhotoList), selected = control(kIdDownloadSelected), all = control(kIdDownloadAll);
  if (list == nullptr || selected == nullptr || all == nullptr) return;
  std::size_t checked = 0;
  const std::vector<bool> rows = photo_rows_checked();
  for (bool row : rows) checked += row ? 1 : 0;
  std::u16string selected_text = download_selected_label(checked), all_text = download_all_label(rows.size());
  ::SetWindowTextW(selected, wide(selected_text));
  ::SetWindowTextW(all, wide(all_text));
  ::InvalidateRect(selected, nullptr, TRUE);
  ::InvalidateRect(all, nullptr, TRUE);
}

void MainWindow::set_all_checks(bool checked) {
  HWND list = control(kIdPhotoList);
  if (operations_.busy() || list == nullptr) return;
  suppress_item_changes_ = true;
  ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  const int count = ListView_GetItemCount(list);
  for (int row = 0; row < count; ++row) {
    ListView_SetItemState(list, row, INDEXTOSTATEIMAGEMASK(checked ? kCheckedImage : kUncheckedImage),
                          LVIS_STATEIMAGEMASK);
  }
  ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  suppress_item_changes_ = false;
  ::InvalidateRect(list, nullptr, TRUE);
  update_download_labels();
}

LRESULT MainWindow::on_photo_list_notify(NMHDR* header) {
  HWND list = header->hwndFrom;
  switch (header->code) {
    case NM_CUSTOMDRAW: {
      auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
      const DWORD stage = draw->nmcd.dwDrawStage;
      if (stage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
      if (stage == CDDS_ITEMPREPAINT || stage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) {
        const bool bold = row_checked(static_cast<int>(draw->nmcd.dwItemSpec));
        ::SelectObject(draw->nmcd.hdc, bold ? font_bold_ : font_normal_);
        return stage == CDDS_ITEMPREPAINT ? (CDRF_NEWFONT | CDRF_NOTIFYSUBITEMDRAW) : CDRF_NEWFONT;
      }
      return CDRF_DODEFAULT;
    }
    case LVN_ITEMCHANGED: {
      const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
      if (change->iItem >= 0 && (change->uChanged & LVIF_STATE) &&
          ((change->uOldState ^ change->uNewState) & LVIS_STATEIMAGEMASK) && !suppress_item_changes_) {
        update_download_labels();
        ListView_RedrawItems(list, change->iItem, change->iItem);
      }
      return 0;
    }
    case NM_CLICK: {
      const auto* click = reinterpret_cast<NMITEMACTIVATE*>(header);
      if (click->iItem < 0) return 0;
      LVHITTESTINFO hit{};
      hit.pt = click->ptAction;
      ListView_SubItemHitTest(list, &hit);
      if (hit.flags & LVHT_ONITEMSTATEICON) return 0;  // the list toggles the box itself
      operations_.preview(static_cast<std::uint64_t>(click->iItem));
      return 0;
    }
    default: return 0;
  }
}

void MainWindow::clear_preview() {
  preview_available_ = false;
  preview_loading_ = false;
  preview_pixels_.clear();
  preview_width_ = preview_height_ = 0;
  repaint_preview();
}

void MainWindow::set_preview_loading(bool loading) { preview_loading_ = loading; }

void MainWindow::repaint_preview() {
  if (HWND canvas = control_at(kRowCanvas)) ::InvalidateRect(canvas, nullptr, TRUE);
}

void MainWindow::take_preview_image(RgbImage image) {
  preview_width_ = image.width;
  preview_height_ = image.height;
  preview_pixels_ = to_bgr_rows(image);
  preview_available_ = true;
  preview_loading_ = false;
}

void MainWindow::paint_preview(HDC dc, HWND canvas) {
  RECT client{};
  ::GetClientRect(canvas, &client);
  ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  ::SetBkMode(dc, TRANSPARENT);
  if (preview_available_ && !preview_pixels_.empty()) {
    const auto place = preview_placement(client.right, client.bottom, preview_width_, preview_height_);
    if (!place) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = preview_width_;
    info.bmiHeader.biHeight = -preview_height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, client.left, client.top, client.right, client.bottom);
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchDIBits(dc, place->x, place->y, place->width, place->height, 0, 0, preview_width_, preview_height_,
                    preview_pixels_.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    ::RestoreDC(dc, saved);
    return;
  }
  ::SetTextColor(dc, RGB(93, 102, 113));
  const wchar_t* hint = preview_loading_ ? L"Loading preview..." : L"Click a photo row to preview it here.";
  // DT_VCENTER alone centres single lines only; the wrapped hint is centred by its measured height.
  RECT measured = client;
  ::DrawTextW(dc, hint, -1, &measured, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
  RECT centred = client;
  centred.top += std::max(0L, (client.bottom - measured.bottom) / 2);
  ::DrawTextW(dc, hint, -1, &centred, DT_CENTER | DT_VCENTER | DT_WORDBREAK);
}

LRESULT CALLBACK MainWindow::canvas_proc(HWND canvas, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_ERASEBKGND) return 1;
  if (message != WM_PAINT) return ::DefWindowProcW(canvas, message, wparam, lparam);
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(canvas, &paint);
  auto* window = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(::GetParent(canvas), GWLP_USERDATA));
  if (window != nullptr) {
    HGDIOBJ old_font = ::SelectObject(dc, window->font_normal_);
    window->paint_preview(dc, canvas);
    ::SelectObject(dc, old_font);
  }
  ::EndPaint(canvas, &paint);
  return 0;
}

}  // namespace velmora
