// The window procedure: messages, commands, and the worker results.
#include "ui/main_window_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <filesystem>

#include "ui/layout.h"

namespace velmora {
namespace {

// Only a folder is handed to the shell: "open" would run a program or open a document.
bool is_existing_folder(const std::u16string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(std::filesystem::path(path.begin(), path.end()), ec);
}

}  // namespace

LRESULT CALLBACK MainWindow::main_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* window = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    window->hwnd_ = hwnd;
  }
  auto* window = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window == nullptr) return ::DefWindowProcW(hwnd, message, wparam, lparam);
  return window->handle(message, wparam, lparam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      create_main_controls();
      ::SetTimer(hwnd_, kStatusTimer, kStatusTimerMs, nullptr);
      return 0;
    case WM_DESTROY: on_destroy(); return 0;
    case WM_SIZE: layout_controls(); return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(hwnd_, &paint);
      ::FillRect(dc, &paint.rcPaint, reinterpret_cast<HBRUSH>(::GetClassLongPtrW(hwnd_, GCLP_HBRBACKGROUND)));
      ::EndPaint(hwnd_, &paint);
      return 0;
    }
    case WM_CLOSE: on_close(); return 0;
    case WM_QUERYENDSESSION: return operations_.busy() ? FALSE : TRUE;
    case WM_GETMINMAXINFO:
      reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {kMinTrackWidth, kMinTrackHeight};
      return 0;
    case WM_DRAWITEM:
      if (wparam >= kIdDownloadSelected && wparam <= kIdSelectNone) {
        draw_action_button(*reinterpret_cast<DRAWITEMSTRUCT*>(lparam));
        return TRUE;
      }
      break;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lparam);
      return header->idFrom == kIdPhotoList ? on_photo_list_notify(header) : 0;
    }
    case WM_COMMAND: on_command(LOWORD(wparam)); return 0;
    case WM_TIMER:
      if (wparam == kStatusTimer) update_camera_status();
      return 0;
    case WM_VSCROLL: {
      if (lparam != 0) break;  // a child scroll bar's own business
      SCROLLINFO bar{};
      bar.cbSize = sizeof bar;
      bar.fMask = SIF_TRACKPOS;
      ::GetScrollInfo(hwnd_, SB_VERT, &bar);
      if (auto wanted = scroll_bar_target(LOWORD(wparam), scroll_pos_, bar.nTrackPos, content_height()))
        scroll_to(*wanted);
      return 0;
    }
    case WM_MOUSEWHEEL: scroll_to(wheel_target(scroll_pos_, GET_WHEEL_DELTA_WPARAM(wparam))); return 0;
    case WM_CTLCOLOREDIT: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      ::SetBkColor(dc, RGB(253, 254, 255));
      ::SetTextColor(dc, RGB(39, 50, 66));
      return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      ::SetBkMode(dc, TRANSPARENT);
      ::SetTextColor(dc, RGB(39, 50, 66));
      ::SetBkColor(dc, RGB(223, 229, 236));
      return ::GetClassLongPtrW(hwnd_, GCLP_HBRBACKGROUND);
    }
    case WM_DEVICECHANGE:
      if (!operations_.busy()) update_camera_status();
      return TRUE;
    case WM_NEXTDLGCTL: {
      // The log wants every key, so it asks its parent to move the focus on.
      HWND next = LOWORD(lparam) ? reinterpret_cast<HWND>(wparam)
                                 : ::GetNextDlgTabItem(hwnd_, ::GetFocus(), wparam != 0 ? TRUE : FALSE);
      if (next != nullptr) ::SetFocus(next);
      follow_focus();
      return 0;
    }
    default:
      if (operations_.handle_message(message, reinterpret_cast<void*>(lparam))) return 0;
      break;
  }
  return ::DefWindowProcW(hwnd_, message, wparam, lparam);
}

void MainWindow::on_command(int id) {
  if (id < kFirstCommandId || id > kLastCommandId) return;
  switch (id) {
    case kIdRefresh: operations_.refresh(); break;
    case kIdDeviceDetails: show_device_details(); break;
    case kIdSetupSteps: show_setup_steps(); break;
    case kIdDownloadSelected: operations_.download(false); break;
    case kIdDownloadAll: operations_.download(true); break;
    case kIdSelectAll: set_all_checks(true); break;
    case kIdSelectNone: set_all_checks(false); break;
    case kIdBrowse: choose_folder(); break;
    case kIdAdvancedToggle:
      advanced_shown_ = !advanced_shown_;
      apply_advanced_visibility();
      break;
    case kIdOpenFolder: open_folder(); break;
    case kIdHelpInfo: show_help_info(); break;
    default: break;
  }
}

void MainWindow::on_close() {
  if (operations_.busy()) {
    shell_.message_box(
        u"A camera operation is still active. Closing during USB transfer could leave files incomplete.\n"
        u"Close after the operation has finished.",
        u"Camera operation in progress", MessageIcon::Information);
    return;
  }
  ::DestroyWindow(hwnd_);
}

void MainWindow::choose_folder() {
  if (auto folder = shell_.choose_folder(u"Choose where Velmora will save photographs")) {
    ::SetWindowTextW(control(kIdFolderEdit), wide(*folder));
  }
}

void MainWindow::open_folder() {
  const std::u16string folder =
      operations_.last_output_folder().empty() ? window_text(control(kIdFolderEdit)) : operations_.last_output_folder();
  if (is_existing_folder(folder)) {
    shell_.shell_open(folder);
    return;
  }
  shell_.message_box(u"Choose a valid folder or download photos first.", u"Folder not found", MessageIcon::Information);
}

void MainWindow::on_destroy() {
  ::KillTimer(hwnd_, kStatusTimer);
  for (HFONT* font : {&font_normal_, &font_bold_, &font_title_}) {
    if (*font != nullptr) ::DeleteObject(*font);
    *font = nullptr;
  }
  if (check_images_ != nullptr) {
    if (HWND list = control(kIdPhotoList)) ListView_SetImageList(list, nullptr, LVSIL_STATE);
    ImageList_Destroy(check_images_);
    check_images_ = nullptr;
  }
  ::PostQuitMessage(0);
}

void MainWindow::follow_focus() {
  HWND focus = ::GetFocus();
  if (focus == last_focus_) return;
  last_focus_ = focus;
  if (focus != nullptr && ::IsChild(hwnd_, focus)) scroll_focus_into_view(focus);
}

void process_message(MainWindow& window, MSG& message) {
  if (!::IsWindow(window.hwnd()) || !::IsDialogMessageW(window.hwnd(), &message)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (::IsWindow(window.hwnd())) window.follow_focus();
}

int run_message_loop(MainWindow& window) {
  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) process_message(window, message);
  return static_cast<int>(message.wParam);
}

}  // namespace velmora
