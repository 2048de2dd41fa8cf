// The real main window, created in this process on the simulated camera and
// driven with the messages a user's actions produce; boxes, dialogs and the
// shell go to a recording host. The texts themselves are checked natively.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <dbt.h>
#include <objbase.h>

#include <fstream>
#include <set>

#include "sim/scenarios.h"
#include "support/sim_fixture.h"
#include "support/temp_dir.h"
#include "ui/main_window_win.h"
#include "ui/preview_image.h"
#include "ui/window_text.h"

namespace velmora {
namespace {

std::string u8(const std::u16string& text) { return utf16_to_utf8(text); }

struct RecordingShell : ShellHost {
  void message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) override {
    boxes.push_back(std::string(1, "iwe"[static_cast<int>(icon)]) + " " + u8(caption) + ": " + u8(text));
  }
  bool show_info_dialog(const InfoDialog& dialog) override {
    dialogs.push_back(dialog);
    return dialogs_open;
  }
  std::optional<std::u16string> choose_folder(const std::u16string&) override { return chosen_folder; }
  void shell_open(const std::u16string& target) override { opened.push_back(u8(target)); }
  bool copy_text(const std::u16string& text) override { return false; }
  bool block_shutdown(const std::u16string& reason) override {
    block_reason = u8(reason);
    return false;  // as Wine answers
  }
  void allow_shutdown() override { block_reason.clear(); }

  std::vector<std::string> boxes, opened;
  std::vector<InfoDialog> dialogs;
  std::optional<std::u16string> chosen_folder;
  std::string block_reason;
  bool dialogs_open = true;
};

class MainWindowTest : public ::testing::Test {
 protected:
  explicit MainWindowTest(const char* scenario = nullptr)
      : rig(scenario ? *sim::scenario_setup(scenario, sim::builtin_camera_image())
                     : sim::healthy_setup(sim::builtin_camera_image())) {
    EXPECT_TRUE(registered);
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    finish();
  }
  static bool register_once() {
    static const bool registered = [] {
      ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
      return ::InitCommonControlsEx(&controls) &&
             register_window_classes(::GetModuleHandleW(nullptr), ::CreateSolidBrush(RGB(223, 229, 236)));
    }();
    return registered;
  }
  ~MainWindowTest() override {
    finish();
    ::DestroyWindow(hwnd);
    for (MSG message; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
    }
  }

  // Runs the message loop until no operation is busy (or a minute passed).
  void finish() {
    for (int wait = 0; wait < 30000 && (wait == 0 || window.operations().busy()); ++wait, ::Sleep(2)) {
      for (MSG message; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) process_message(window, message);
    }
    ASSERT_FALSE(window.operations().busy());
  }
  void command(int id) { ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  HWND c(int id) { return window.control(id); }
  std::string text(HWND control) {
    wchar_t buffer[4096] = {};
    ::GetWindowTextW(control, buffer, 4096);
    return u8(reinterpret_cast<const char16_t*>(buffer));
  }
  // The control's rectangle in the main window's client coordinates.
  RECT at(HWND control) {
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  // What the user sees, in one line: the status, the download labels, the
  // disabled camera controls, a blocked shutdown, the preview and the setup
  // button; then the lines logged since the last look (how many, the last)
  // and the boxes shown.
  std::string seen() {
    std::string s = text(window.control_at(kRowStatusTitle)) + " | " + text(c(kIdDownloadSelected)) + " | " +
                    text(c(kIdDownloadAll));
    int disabled = 0;
    for (int id : {kIdRefresh, kIdDownloadSelected, kIdDownloadAll, kIdSelectAll, kIdSelectNone, kIdPhotoList}) {
      disabled += !::IsWindowEnabled(c(id));
    }
    if (disabled != 0) s += " | " + std::to_string(disabled) + " disabled";
    if (!shell.block_reason.empty()) s += " | shutdown blocked";
    if (window.preview_loading()) s += " | loading";
    if (window.preview_available()) {
      s += " | preview " + std::to_string(window.preview_width()) + "x" + std::to_string(window.preview_height());
    }
    if (::IsWindowVisible(c(kIdSetupSteps))) {
      s += " | setup " + std::to_string(at(c(kIdSetupSteps)).left - at(window.control_at(kRowStatusDetail)).right) +
           " px after the detail";
    }
    const std::string log = text(c(kIdLog)), added = log.substr(log_seen);
    const std::string last = added.substr(added.rfind('\n', added.size() - 3) + 1);
    if (!added.empty()) {
      s += " | log +" + std::to_string(std::count(added.begin(), added.end(), '\n')) + ": " +
           last.substr(0, last.size() - 2);
    }
    log_seen = log.size();
    for (const std::string& box : shell.boxes) s += " | " + box;
    shell.boxes.clear();
    return s;
  }
  // A click on the row at x pixels from its left edge: 8 is the check box, 60 the number.
  void click_row(int row, int x) {
    RECT item;
    ListView_GetItemRect(c(kIdPhotoList), row, &item, LVIR_BOUNDS);
    NMITEMACTIVATE click{};
    click.hdr = {c(kIdPhotoList), static_cast<UINT_PTR>(kIdPhotoList), static_cast<UINT>(NM_CLICK)};
    click.iItem = row;
    click.ptAction = {item.left + x, (item.top + item.bottom) / 2};
    ::SendMessageW(hwnd, WM_NOTIFY, kIdPhotoList, reinterpret_cast<LPARAM>(&click));
  }
  void check_rows(std::initializer_list<int> rows) {
    for (int row : rows) ListView_SetCheckState(c(kIdPhotoList), row, TRUE);
  }
  // The weight of the font the list is given for drawing the row.
  LONG drawn_weight(int row) {
    NMLVCUSTOMDRAW draw{};
    draw.nmcd = {{c(kIdPhotoList), static_cast<UINT_PTR>(kIdPhotoList), static_cast<UINT>(NM_CUSTOMDRAW)},
                 CDDS_ITEMPREPAINT | CDDS_SUBITEM,
                 ::CreateCompatibleDC(nullptr),
                 {},
                 static_cast<DWORD_PTR>(row),
                 0,
                 0};
    LOGFONTW font{};
    if (::SendMessageW(hwnd, WM_NOTIFY, kIdPhotoList, reinterpret_cast<LPARAM>(&draw)) == CDRF_NEWFONT) {
      ::GetObjectW(::GetCurrentObject(draw.nmcd.hdc, OBJ_FONT), sizeof font, &font);
    }
    ::DeleteDC(draw.nmcd.hdc);
    return font.lfWeight;
  }

  bool registered = register_once();
  test::OperationRig rig;
  RecordingShell shell;
  MainWindow window{rig.env, shell, false};
  HWND hwnd = window.create(::GetModuleHandleW(nullptr));
  std::size_t log_seen = 0;
};

TEST_F(MainWindowTest, RefreshCheckPreviewAndDownload) {
  RECT outer;
  ::GetWindowRect(hwnd, &outer);
  EXPECT_EQ(
      text(hwnd) + " " + std::to_string(outer.right - outer.left) + "x" + std::to_string(outer.bottom - outer.top),
      "Velmora 0.7.4 1180x775");
  EXPECT_EQ(text(window.control_at(kRowStatusDetail)), "MR97310 family | USB 093A:010E | WinUSB");
  EXPECT_EQ(text(c(kIdFolderEdit)).substr(text(c(kIdFolderEdit)).size() - 8), "\\Velmora");
  for (std::size_t row = 0; row < kControls.size(); ++row) {
    const ControlDef& def = kControls[row];
    EXPECT_EQ(::IsWindowVisible(window.control_at(row)) != FALSE, !def.advanced && def.id != kIdSetupSteps) << row;
    if (def.kind != ControlKind::CheckBox) continue;
    EXPECT_EQ(::SendMessageW(window.control_at(row), BM_GETCHECK, 0, 0), def.checked ? BST_CHECKED : BST_UNCHECKED);
  }
  command(kIdDownloadAll);  // nothing to download before a refresh
  EXPECT_EQ(seen(),
            "Camera connected \u2014 photo list not loaded | Download Selected (0) | Download All (0) | "
            "log +1: Ready. Connect the camera and refresh the list.");

  command(kIdDeviceDetails);
  command(kIdRefresh);
  ::SendMessageW(hwnd, WM_CLOSE, 0, 0);  // refused while the camera is in use, as ending the session is
  EXPECT_EQ(::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, 0), FALSE);
  EXPECT_EQ(shell.block_reason, "Velmora is still downloading photos from the camera.");
  EXPECT_EQ(seen(),
            "Camera operation in progress... | Download Selected (0) | Download All (0) | 6 disabled | "
            "shutdown blocked | log +1: Reading the camera directory (read-only)... | i Camera operation in "
            "progress: A camera operation is still active. Closing during USB transfer could leave files "
            "incomplete.\nClose after the operation has finished.");
  finish();
  EXPECT_EQ(::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_EQ(seen(),
            "Camera connected \u2014 ready | Download Selected (0) | Download All (7) | "
            "log +8: Found 7 validated item(s). Check photos or Download All.");
  std::string first_row;
  for (int column = 0; column < 6; ++column) {
    wchar_t cell[64] = {};
    ListView_GetItemText(c(kIdPhotoList), 0, column, cell, 64);
    first_row += u8(reinterpret_cast<const char16_t*>(cell)) + "|";
  }
  EXPECT_EQ(first_row, "1|High (HR)|Yes (CP)|352 \u00d7 288|28,009|Preview  \u203a|");

  // Device Details lists the interfaces before a refresh and the descriptors after it.
  command(kIdDeviceDetails);
  command(kIdHelpInfo);
  shell.dialogs_open = false;
  command(kIdHelpInfo);
  std::string dialogs;
  for (const InfoDialog& d : shell.dialogs) {
    const std::string content = u8(d.content);
    dialogs += u8(d.title) + (d.hyperlinks ? " links" : "") + (d.copy_text == d.content ? " copied" : "") +
               (content.find("\nKnown WinUSB interface: ") != content.npos ? " interfaces" : "") +
               (content.find("Verified stored photo entries: 7\n") != content.npos ? " entries" : "") + "|";
  }
  EXPECT_EQ(dialogs,
            "Velmora Device Details copied interfaces|Velmora Device Details copied entries|"
            "Velmora \u2014 Help / Info links|Velmora \u2014 Help / Info links|");

  // Checked rows count and turn bold; with none checked, or no folder, nothing starts.
  check_rows({0, 3});
  EXPECT_EQ(std::to_string(drawn_weight(2)) + " " + std::to_string(drawn_weight(3)), "400 700");
  EXPECT_EQ(seen(),
            "Camera connected \u2014 ready | Download Selected (2) | Download All (7) | "
            "log +1: The information dialog could not open.");
  command(kIdSelectAll);
  EXPECT_EQ(text(c(kIdDownloadSelected)), "Download Selected (7)");
  command(kIdSelectNone);
  command(kIdDownloadSelected);
  ::SetWindowTextW(c(kIdFolderEdit), L"");
  command(kIdDownloadAll);
  EXPECT_EQ(seen(),
            "Camera connected \u2014 ready | Download Selected (0) | Download All (7) | i No photographs "
            "selected: Check at least one photo, or use Download All. | w Missing destination: Choose a "
            "download folder first.");

  click_row(1, 8);  // the list toggles the box itself; no preview
  click_row(1, 60);
  EXPECT_EQ(seen(),
            "Camera operation in progress... | Download Selected (0) | Download All (7) | 6 disabled | "
            "shutdown blocked | loading | log +1: Previewing camera photo 2...");
  finish();
  EXPECT_EQ(window.preview_pixels().size(), 288u * 1056u);
  // Drawn scaled to fit inside a 10-pixel margin and centred: white around it.
  HWND canvas = window.control_at(kRowCanvas);
  RECT client;
  ::GetClientRect(canvas, &client);
  const DesignRect place = *preview_placement(client.right, client.bottom, 352, 288);
  ::UpdateWindow(canvas);
  HDC dc = ::GetDC(canvas);
  std::string white;
  for (int x : {place.x - 2, place.x + 1, place.x + place.width - 2, place.x + place.width + 1}) {
    white += ::GetPixel(dc, x, place.y + place.height / 2) == RGB(255, 255, 255) ? "w" : "-";
  }
  ::ReleaseDC(canvas, dc);
  EXPECT_EQ(white, "w--w");

  // While the download runs, refresh, preview, selection and Download All are refused.
  test::TempDir out;
  ::SetWindowTextW(c(kIdFolderEdit), out.path().wstring().c_str());
  check_rows({0, 2});
  EXPECT_EQ(seen(),
            "Camera connected \u2014 ready | Download Selected (2) | Download All (7) | preview 352x288 | "
            "log +2: Preview displayed. No temporary photo files were saved.");
  command(kIdDownloadSelected);
  command(kIdRefresh);
  click_row(1, 60);
  command(kIdSelectAll);
  command(kIdDownloadAll);
  finish();
  EXPECT_EQ(seen(),
            "Camera connected \u2014 ready | Download Selected (2) | Download All (7) | preview 352x288 | "
            "log +8: Finished: 2 saved, 0 failed. | i Velmora download complete: Successfully saved 2 "
            "photo(s).\n\n" +
                out.path().string());
  std::string names;
  for (const auto& file : std::filesystem::directory_iterator(out.path())) {
    names += file.path().filename().string().erase(file.path().filename().string().rfind('_'), 13) + " ";
  }
  EXPECT_EQ(names,
            "Velmora_001_HR-CP.velmoraraw Velmora_001_HR-CP_balanced.png Velmora_001_HR-CP_expressive.png "
            "Velmora_001_HR-CP_restrained.png Velmora_003_LR-CP.velmoraraw Velmora_003_LR-CP_balanced.png "
            "Velmora_003_LR-CP_expressive.png Velmora_003_LR-CP_restrained.png ");
  ::SetWindowTextW(c(kIdFolderEdit), L"");
  command(kIdOpenFolder);
  EXPECT_EQ(shell.opened, std::vector<std::string>{out.path().string()}) << "what the download reported";
}

TEST_F(MainWindowTest, FolderRowTabScrollAndUnplug) {
  // Only an existing folder is handed to the shell: never a program or a document.
  test::TempDir out;
  std::ofstream(out.path() / "setup.exe") << "MZ";
  for (const auto& path : {out.path() / "setup.exe", out.path() / "missing", std::filesystem::path(), out.path()}) {
    ::SetWindowTextW(c(kIdFolderEdit), path.wstring().c_str());
    command(kIdOpenFolder);
  }
  EXPECT_EQ(shell.opened, std::vector<std::string>{out.path().string()});
  EXPECT_EQ(shell.boxes,
            std::vector<std::string>(3, "i Folder not found: Choose a valid folder or download photos first."));
  shell.chosen_folder = u"D:\\Chosen";
  command(kIdBrowse);
  shell.chosen_folder.reset();
  command(kIdBrowse);
  EXPECT_EQ(text(c(kIdFolderEdit)), "D:\\Chosen") << "chosen, then a cancelled chooser changes nothing";

  // Tab follows the creation order past the hidden setup button and the
  // collapsed section, and the log hands it on.
  command(kIdRefresh);
  finish();
  click_row(0, 60);
  finish();
  ::SetFocus(c(kIdRefresh));
  std::string order;
  for (int press = 0; press < 22; ++press) {
    order += std::to_string(::GetDlgCtrlID(::GetFocus())) + " ";
    MSG tab{::GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    process_message(window, tab);
  }
  EXPECT_EQ(order, "100 101 131 103 104 105 106 107 108 109 129 110 111 112 113 114 115 116 117 118 130 100 ");
  EXPECT_EQ(window.scroll_pos(), 0);

  // Scrolled to the bottom of the advanced section, then collapsed.
  RECT client;
  ::GetClientRect(hwnd, &client);
  command(kIdAdvancedToggle);
  ::SendMessageW(hwnd, WM_VSCROLL, SB_BOTTOM, 0);
  ::SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), 0);
  EXPECT_EQ(window.scroll_pos(), 1020 - client.bottom - 160);
  EXPECT_EQ(at(c(kIdBayerOverride)).top, 932 - window.scroll_pos());
  EXPECT_EQ(at(c(kIdLog)).left, client.right - 430) << "the right column follows the edge";
  EXPECT_EQ(text(c(kIdAdvancedToggle)) + (::IsWindowVisible(c(kIdBayerOverride)) ? " shown" : ""),
            u8(kAdvancedShown) + " shown");
  ::SendMessageW(hwnd, WM_VSCROLL, SB_BOTTOM, 0);
  command(kIdAdvancedToggle);
  EXPECT_EQ(window.scroll_pos(), 881 - client.bottom) << "collapsing clamps";
  EXPECT_FALSE(::IsWindowVisible(c(kIdBayerOverride)));

  seen();
  rig.camera.unplug();
  rig.tree.replace(sim::device_tree_scenario(sim::DeviceTreeScenario::Empty));
  ::SendMessageW(hwnd, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
  EXPECT_EQ(seen(), "Camera disconnected | Download Selected (0) | Download All (0)");
  EXPECT_FALSE(window.operations().snapshot());
  rig.camera.replug();
  rig.tree.replace(sim::device_tree_scenario(sim::DeviceTreeScenario::CameraOnWinUsb));
  ::SendMessageW(hwnd, WM_TIMER, kStatusTimer, 0);
  EXPECT_EQ(seen(), "Camera connected \u2014 photo list not loaded | Download Selected (0) | Download All (0)");
}

// Each fault scenario through the same steps: refresh, Download All, and the
// setup button when it is shown.
struct ScenarioWindowTest : MainWindowTest, ::testing::WithParamInterface<std::pair<const char*, std::string>> {
  ScenarioWindowTest() : MainWindowTest(GetParam().first) {}
};

TEST_P(ScenarioWindowTest, RefreshThenDownloadAll) {
  test::TempDir out;
  ::SetWindowTextW(c(kIdFolderEdit), out.path().wstring().c_str());
  seen();
  command(kIdRefresh);
  finish();
  command(kIdDownloadAll);
  finish();
  if (::IsWindowVisible(c(kIdSetupSteps))) command(kIdSetupSteps);
  EXPECT_EQ(seen(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ScenarioWindowTest,
    ::testing::Values(
        std::pair(
            "no-winusb",
            "Camera detected \u2014 WinUSB not configured | Download Selected (0) | Download All (0) | setup 12 px "
            "after the detail | log +2: ERROR: No WinUSB-bound MR97310 camera found. Check Device Manager and "
            "WinUsb Device binding. | w Velmora operation failed safely: No WinUSB-bound MR97310 camera found. "
            "Check Device Manager and WinUsb Device binding. | i One-time WinUSB setup: " +
                u8(kSetupStepsText)),
        std::pair("variant-010f",
                  "Related MR97310 variant found (010F) | Download Selected (0) | Download All (0) | log +2: ERROR: "
                  "Active reads have only been verified for USB 093A:010E (not this variant) | w Velmora operation "
                  "failed safely: Active reads have only been verified for USB 093A:010E (not this variant)"),
        std::pair("interface-busy",
                  "Camera connected \u2014 photo list not loaded | Download Selected (0) | Download All (0) | log +3: "
                  "ERROR: WinUsb_Initialize (Win32 error 170) | w Velmora operation failed safely: WinUsb_Initialize "
                  "(Win32 error 170)"),
        std::pair(
            "photo-timeout",
            "Camera connected \u2014 ready | Download Selected (0) | Download All (7) | log +29: Finished: 5 saved, "
            "2 failed. | w Velmora download report: Completed with errors:\nPhoto 2: WinUsb_ReadPipe (Win32 error "
            "121)\n")));

}  // namespace
}  // namespace velmora
