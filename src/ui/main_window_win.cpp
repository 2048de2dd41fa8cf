#include "ui/main_window_win.h"

#include <commctrl.h>
#include <richedit.h>
#include <shlobj.h>

#include <thread>

#include "ops/download.h"
#include "ops/preview.h"
#include "ops/refresh.h"
#include "ui/layout.h"
#include "ui/window_text.h"

namespace velmora {
namespace {

OperationController::Workers camera_workers(const CameraEnvironment& env) {
  return {
      [&env](const ProgressFn& progress) { return scan_camera(env, progress); },
      [&env](const ScanSnapshot& snapshot, std::uint64_t index, std::int32_t pattern, const ProgressFn& progress) {
        return render_preview(env, *snapshot, index, pattern, progress);
      },
      [&env](const ScanSnapshot& snapshot, const std::vector<std::uint64_t>& indices, const DownloadOptions& options,
             const ProgressFn& progress) { return run_download(env, *snapshot, indices, options, progress); }};
}

HFONT make_font(int height, int weight) {
  return ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD ex_style;
};

ControlClass class_of(ControlKind kind, bool rich_edit) {
  switch (kind) {
    case ControlKind::Label: return {L"STATIC", 0, 0};
    case ControlKind::PushButton: return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case ControlKind::ActionButton: return {L"BUTTON", BS_OWNERDRAW | WS_TABSTOP, 0};
    case ControlKind::CheckBox: return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0};
    case ControlKind::PhotoList:
      return {WC_LISTVIEWW, LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::Canvas: return {kCanvasClass, WS_CLIPSIBLINGS | WS_BORDER, WS_EX_CLIENTEDGE};
    case ControlKind::FolderEdit: return {L"EDIT", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::Log:
      return {rich_edit ? MSFTEDIT_CLASS : L"EDIT",
              ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | WS_BORDER | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::ComboBox: return {L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
  }
  return {L"STATIC", 0, 0};
}

// The user's Pictures folder plus "\Velmora"; empty when there is none.
std::wstring default_destination() {
  PWSTR pictures = nullptr;
  std::wstring folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Pictures, 0, nullptr, &pictures))) {
    folder = std::wstring(pictures) + L"\\Velmora";
  }
  ::CoTaskMemFree(pictures);
  return folder;
}

}  // namespace

bool register_window_classes(HINSTANCE instance, HBRUSH background) {
  WNDCLASSEXW canvas{};
  canvas.cbSize = sizeof canvas;
  canvas.lpfnWndProc = MainWindow::canvas_proc;
  canvas.hInstance = instance;
  canvas.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  canvas.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
  canvas.lpszClassName = kCanvasClass;
  if (!::RegisterClassExW(&canvas)) return false;

  WNDCLASSEXW main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = MainWindow::main_window_proc;
  main.hInstance = instance;
  main.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  main.hbrBackground = background;
  main.hIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(101), IMAGE_ICON, 32, 32, 0));
  if (main.hIcon == nullptr) main.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
  main.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(101), IMAGE_ICON, 16, 16, 0));
  if (main.hIconSm == nullptr) main.hIconSm = main.hIcon;
  main.lpszClassName = kMainWindowClass;
  return ::RegisterClassExW(&main) != 0;
}

MainWindow::MainWindow(const CameraEnvironment& env, ShellHost& shell, bool gdiplus_running)
    : env_(env), shell_(shell), operations_(*this, camera_workers(env)), gdiplus_running_(gdiplus_running) {}

HWND MainWindow::create(HINSTANCE instance) {
  HWND window = ::CreateWindowExW(0, kMainWindowClass, kMainWindowTitle,
                                  WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                                  kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, instance, this);
  if (window == nullptr) return nullptr;
  const auto large = reinterpret_cast<HICON>(::GetClassLongPtrW(window, GCLP_HICON));
  const auto small = reinterpret_cast<HICON>(::GetClassLongPtrW(window, GCLP_HICONSM));
  ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
  ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  return window;
}

HWND MainWindow::control(int id) const {
  for (std::size_t row = 0; row < kControls.size(); ++row) {
    if (kControls[row].id == id && id != 0) return controls_[row];
  }
  return nullptr;
}

std::u16string MainWindow::window_text(HWND control) const {
  if (control == nullptr) return {};
  const int length = ::GetWindowTextLengthW(control);
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(control, reinterpret_cast<wchar_t*>(text.data()), length + 1)));
  return text;
}

void MainWindow::create_fonts() {
  font_normal_ = make_font(-17, FW_NORMAL);
  font_bold_ = make_font(-17, FW_BOLD);
  font_title_ = make_font(-29, FW_SEMIBOLD);
}

HWND MainWindow::create_control(const wchar_t* class_name, const wchar_t* text, DWORD style, const DesignRect& r,
                                int id, DWORD ex_style) {
  HWND control = ::CreateWindowExW(ex_style, class_name, text, style | WS_CHILD | WS_VISIBLE, r.x, r.y, r.width,
                                   r.height, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE)), nullptr);
  if (control != nullptr) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_normal_), TRUE);
  return control;
}

void MainWindow::create_row(std::size_t row) {
  const ControlDef& def = kControls[row];
  const ControlClass c = class_of(def.kind, rich_edit_);
  const std::wstring destination = def.kind == ControlKind::FolderEdit ? default_destination() : std::wstring();
  // The status detail shortens with an ellipsis rather than running under the setup button.
  const DWORD style = c.style | (row == kRowStatusDetail ? SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS : 0);
  HWND handle = create_control(c.name, def.kind == ControlKind::FolderEdit ? destination.c_str() : wide(def.text),
                               style, def.design, def.id, c.ex_style);
  if (handle == nullptr) return;
  controls_[row] = handle;
  layout_.push_back({handle, &def});
  if (def.advanced) advanced_controls_.push_back(handle);
  switch (def.kind) {
    case ControlKind::CheckBox:
      ::SendMessageW(handle, BM_SETCHECK, def.checked ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case ControlKind::PhotoList: {
      ListView_SetExtendedListViewStyle(handle, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
      check_images_ = create_check_images();
      if (check_images_ != nullptr) ListView_SetImageList(handle, check_images_, LVSIL_STATE);
      insert_photo_columns();
      break;
    }
    case ControlKind::Log:
      if (rich_edit_) {
        ::SendMessageW(handle, EM_SETBKGNDCOLOR, 0, RGB(253, 254, 255));
        ::SendMessageW(handle, EM_EXLIMITTEXT, 0, 100000);
      }
      break;
    case ControlKind::ComboBox:
      for (const char16_t* item : kBayerOverrideItems) {
        ::SendMessageW(handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(item)));
      }
      ::SendMessageW(handle, CB_SETCURSEL, 0, 0);
      break;
    default: break;
  }
  if (row == kRowTitle) ::SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font_title_), TRUE);
  if (def.id == kIdSelectNone) update_download_labels();
}

void MainWindow::create_main_controls() {
  create_fonts();
  rich_edit_ = ::LoadLibraryW(L"Msftedit.dll") != nullptr;
  layout_.reserve(kControls.size());
  for (std::size_t row = 0; row < kControls.size(); ++row) create_row(row);
  apply_advanced_visibility();
  update_camera_status();
}

void MainWindow::layout_controls() {
  if (hwnd_ == nullptr || controls_[kRowTitle] == nullptr) return;
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  const int h = client.bottom - client.top;
  const int content = content_height();
  scroll_pos_ = clamp_scroll(scroll_pos_, content, h);

  SCROLLINFO bar{};
  bar.cbSize = sizeof bar;
  bar.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  bar.nMin = 0;
  bar.nMax = content - 1;
  bar.nPage = static_cast<UINT>(h < 1 ? 1 : h);
  bar.nPos = scroll_pos_;
  ::SetScrollInfo(hwnd_, SB_VERT, &bar, TRUE);
  // Showing or hiding the scroll bar changes the client width (and lays out
  // once more from inside SetScrollInfo); place the controls for the width now.
  ::GetClientRect(hwnd_, &client);
  const int w = client.right - client.left;

  const bool setup_shown = setup_button_shown();
  constexpr UINT kFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS;
  HDWP batch = ::BeginDeferWindowPos(static_cast<int>(layout_.size()));
  for (const ControlLayout& record : layout_) {
    const DesignRect r = place_control(*record.def, w, scroll_pos_, setup_shown);
    if (batch != nullptr) batch = ::DeferWindowPos(batch, record.handle, nullptr, r.x, r.y, r.width, r.height, kFlags);
    if (batch == nullptr) ::MoveWindow(record.handle, r.x, r.y, r.width, r.height, TRUE);
  }
  if (batch != nullptr) ::EndDeferWindowPos(batch);
  if (HWND canvas = control_at(kRowCanvas)) ::InvalidateRect(canvas, nullptr, TRUE);
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

bool MainWindow::setup_button_shown() const {
  // Its own visibility, whether or not the main window is on screen yet.
  HWND setup = control(kIdSetupSteps);
  return setup != nullptr && (::GetWindowLongPtrW(setup, GWL_STYLE) & WS_VISIBLE) != 0;
}

void MainWindow::scroll_to(int wanted) {
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  const int pos = clamp_scroll(wanted, content_height(), client.bottom - client.top);
  if (pos == scroll_pos_) return;
  scroll_pos_ = pos;
  layout_controls();
}

void MainWindow::scroll_focus_into_view(HWND focused) {
  for (const ControlLayout& record : layout_) {
    if (record.handle != focused && !::IsChild(record.handle, focused)) continue;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const DesignRect& d = record.def->design;
    // A combo box's design height includes its drop-down list.
    const int height = record.def->kind == ControlKind::ComboBox ? 30 : d.height;
    const int top = scroll_pos_, bottom = scroll_pos_ + client.bottom;
    // Controls of the first screen bring the title back with them.
    if (d.y < top)
      scroll_to(d.y + height <= client.bottom ? 0 : d.y - 8);
    else if (d.y + height > bottom)
      scroll_to(d.y + height + 8 - client.bottom);
    return;
  }
}

void MainWindow::apply_advanced_visibility() {
  for (HWND control : advanced_controls_) ::ShowWindow(control, advanced_shown_ ? SW_SHOW : SW_HIDE);
  if (HWND toggle = control(kIdAdvancedToggle)) {
    ::SetWindowTextW(toggle, wide(advanced_shown_ ? kAdvancedShown : kAdvancedHidden));
  }
  layout_controls();
}

void MainWindow::append_log(const std::u16string& line) {
  HWND log = control(kIdLog);
  if (log == nullptr) return;
  if (::GetWindowTextLengthW(log) > 24000) ::SetWindowTextW(log, L"");
  ::SendMessageW(log, WM_SETREDRAW, FALSE, 0);
  const int end = ::GetWindowTextLengthW(log);
  ::SendMessageW(log, EM_SETSEL, end, end);
  const std::u16string text = line + u"\r\n";
  ::SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide(text)));
  ::SendMessageW(log, WM_SETREDRAW, TRUE, 0);
  ::SendMessageW(log, EM_SETSEL, -1, -1);
  ::SendMessageW(log, EM_SCROLLCARET, 0, 0);
  ::SendMessageW(log, WM_VSCROLL, SB_BOTTOM, 0);
  ::RedrawWindow(log, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

bool MainWindow::window_alive() { return ::IsWindow(hwnd_) != FALSE; }

bool MainWindow::post(std::uint32_t message, void* payload) {
  return ::PostMessageW(hwnd_, message, 0, reinterpret_cast<LPARAM>(payload)) != FALSE;
}

bool MainWindow::start_thread(std::function<void()> body) {
  try {
    std::thread(std::move(body)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void MainWindow::message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) {
  shell_.message_box(text, caption, icon);
}

void MainWindow::enable_camera_controls(bool busy) {
  for (int id : {kIdRefresh, kIdDownloadSelected, kIdDownloadAll, kIdSelectAll, kIdSelectNone, kIdPhotoList}) {
    if (HWND c = control(id)) ::EnableWindow(c, busy ? FALSE : TRUE);
  }
  // Signing out or shutting down would end a transfer half-way, as closing would.
  if (busy)
    shell_.block_shutdown(kShutdownBlockReason);
  else
    shell_.allow_shutdown();
}

void MainWindow::set_status_line(const std::u16string& text) {
  if (HWND title = control_at(kRowStatusTitle)) ::SetWindowTextW(title, wide(text));
}

int MainWindow::bayer_override_selection() {
  HWND combo = control(kIdBayerOverride);
  return combo == nullptr ? -1 : static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

DownloadOptions MainWindow::read_download_options() {
  std::array<bool, 18> checked{};
  for (std::size_t i = 0; i < kOptionBoxIds.size(); ++i) {
    HWND box = control(kOptionBoxIds[i]);
    checked[i] = box != nullptr && ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  return velmora::read_download_options(checked, bayer_override_selection(), window_text(control(kIdFolderEdit)));
}

}  // namespace velmora
