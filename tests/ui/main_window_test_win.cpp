// The real main window on the simulated camera, driven with the messages a
// user's actions produce; what it asks of the desktop is recorded.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <dbt.h>

#include "sim/scenarios.h"
#include "support/sim_fixture.h"
#include "support/temp_dir.h"
#include "ui/main_window_win.h"
#include "ui/window_text.h"

namespace velmora {
namespace {

std::string u8(const std::u16string& text) { return utf16_to_utf8(text); }
std::string u8(const wchar_t* text) { return utf16_to_utf8(reinterpret_cast<const char16_t*>(text)); }

struct RecordingShell : ShellHost {
  void message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) override {
    boxes += std::string(" | ") + "iwe"[static_cast<int>(icon)] + " " + u8(caption) + ": " + u8(text);
  }
  // Only a dialog with links opens, so that both outcomes are seen.
  bool show_info_dialog(const InfoDialog& dialog) override { return dialog.hyperlinks; }
  std::optional<std::u16string> choose_folder(const std::u16string&) override { return u"D:\\Chosen"; }
  void shell_open(const std::u16string& target) override { opened += u8(target); }
  bool copy_text(const std::u16string& text) override { return (opened += "copied " + u8(text)).empty(); }
  bool block_shutdown(const std::u16string& reason) override { return !(blocked = u8(reason)).empty(); }
  void allow_shutdown() override { blocked.clear(); }
  std::string boxes, opened, blocked;
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : rig(sim::healthy_setup(sim::builtin_camera_image())) {
    static INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    static const bool registered = ::InitCommonControlsEx(&controls) &&
                                   register_window_classes(::GetModuleHandleW(nullptr), ::CreateSolidBrush(0));
    EXPECT_TRUE(registered && window.create(::GetModuleHandleW(nullptr)));
    ::ShowWindow(window.hwnd(), SW_SHOWNORMAL);
  }
  ~MainWindowTest() override { finish(), ::DestroyWindow(window.hwnd()); }
  // Runs the message loop until no operation is busy (or a minute passed).
  void finish() {
    for (int wait = 0; wait < 30000 && (wait == 0 || window.operations().busy()); ++wait, ::Sleep(2)) {
      for (MSG message; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) process_message(window, message);
    }
    ASSERT_FALSE(window.operations().busy());
  }
  void command(int id) { ::SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  HWND c(int id) { return window.control(id); }
  std::string text(HWND control) {
    wchar_t buffer[4096] = {};
    return ::GetWindowTextW(control, buffer, 4096), u8(buffer);
  }
  // What the user sees: status, download labels, disabled camera controls, a blocked shutdown, the
  // preview, the lines logged since the last look (how many, the last) and the boxes shown.
  std::string seen() {
    std::string s = text(window.control_at(kRowStatusTitle)) + " | " + text(c(kIdDownloadSelected)) + " | " +
                    text(c(kIdDownloadAll));
    const int ids[] = {kIdRefresh, kIdDownloadSelected, kIdDownloadAll, kIdSelectAll, kIdSelectNone, kIdPhotoList};
    const auto disabled = std::count_if(ids, ids + 6, [this](int id) { return !::IsWindowEnabled(c(id)); });
    if (disabled != 0) s += " | " + std::to_string(disabled) + " disabled";
    if (!shell.blocked.empty()) s += " | shutdown blocked";
    if (window.preview_loading()) s += " | loading";
    if (window.preview_available()) s += " | preview of " + std::to_string(window.preview_pixels().size()) + " bytes";
    const std::string log = text(c(kIdLog)), added = log.substr(std::exchange(log_seen, log.size()));
    const std::string last = added.substr(added.rfind('\n', added.size() - 3) + 1);
    if (!added.empty()) s += " | log +" + std::to_string(std::count(added.begin(), added.end(), '\n')) + ": " + last;
    return s.substr(0, s.find_last_not_of("\r\n") + 1) + std::exchange(shell.boxes, "");
  }
  // A click on the row at x pixels from its left edge: 8 is the check box, 60 the number.
  void click_row(int row, int x) {
    RECT item;
    ListView_GetItemRect(c(kIdPhotoList), row, &item, LVIR_BOUNDS);
    NMITEMACTIVATE click{};
    click.hdr = {c(kIdPhotoList), kIdPhotoList, static_cast<UINT>(NM_CLICK)};
    click.iItem = row;
    click.ptAction = {item.left + x, (item.top + item.bottom) / 2};
    ::SendMessageW(window.hwnd(), WM_NOTIFY, kIdPhotoList, reinterpret_cast<LPARAM>(&click));
  }

  test::OperationRig rig;
  RecordingShell shell;
  MainWindow window{rig.env, shell, false};
  std::size_t log_seen = 0;
};

TEST_F(MainWindowTest, FromRefreshToDownloadAndUnplug) {
  for (std::size_t row = 0; row < kControls.size(); ++row) {
    const ControlDef& def = kControls[row];
    EXPECT_EQ(::IsWindowVisible(window.control_at(row)) != FALSE, !def.advanced && def.id != kIdSetupSteps) << row;
    const bool checked = ::SendMessageW(window.control_at(row), BM_GETCHECK, 0, 0) == BST_CHECKED;
    EXPECT_EQ(checked, def.kind == ControlKind::CheckBox && def.checked) << row;
  }
  // Help / Info opens only the program's own links; Copy keeps it open, even when the clipboard fails.
  const std::u16string links[] = {u"https://example.org/velmora/", u"https://example.org/velmora/contributors",
                                  u"https://example.org/velmora/support", u"https://example.org/velmora",
                                  u"HTTPS://example.org/velmora/"};
  for (const std::u16string& target : links) info_dialog_link(shell, target);
  EXPECT_TRUE(info_dialog_button(shell, {u"", u"", u"", u"me", false}, kCopyButtonId));
  EXPECT_FALSE(info_dialog_button(shell, {}, 1)) << "OK closes";
  EXPECT_EQ(std::exchange(shell.opened, ""), u8(links[0] + links[1] + links[2]) + "copied me");
  EXPECT_EQ(text(window.control_at(kRowStatusDetail)), "MR97310 family | USB 093A:010E | WinUSB");
  EXPECT_EQ(text(c(kIdFolderEdit)).substr(text(c(kIdFolderEdit)).size() - 8), "\\Velmora");
  command(kIdBrowse);
  EXPECT_EQ(text(c(kIdFolderEdit)), "D:\\Chosen");
  ::SetWindowTextW(c(kIdFolderEdit), L"C:\\windows\\notepad.exe");
  command(kIdOpenFolder);   // only a folder is handed to the shell, never a program
  command(kIdDownloadAll);  // nothing to download before a refresh
  command(kIdDeviceDetails);
  command(kIdHelpInfo);
  EXPECT_EQ(seen(),
            "Camera connected \u2014 photo list not loaded | Download Selected (0) | Download All (0) | log +2: "
            "The information dialog could not open. | i Folder not found: Choose a valid folder or download "
            "photos first.");

  command(kIdRefresh);
  ::SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);  // refused while the camera is in use, as ending the session is
  EXPECT_EQ(::SendMessageW(window.hwnd(), WM_QUERYENDSESSION, 0, 0), FALSE);
  EXPECT_EQ(shell.blocked, "Velmora is still downloading photos from the camera.");
  EXPECT_EQ(seen(),
            "Camera operation in progress... | Download Selected (0) | Download All (0) | 6 disabled | "
            "shutdown blocked | log +1: Reading the camera directory (read-only)... | i Camera operation in "
            "progress: A camera operation is still active. Closing during USB transfer could leave files "
            "incomplete.\nClose after the operation has finished.");
  finish();
  EXPECT_EQ(::SendMessageW(window.hwnd(), WM_QUERYENDSESSION, 0, 0), TRUE);
  std::string first_row;
  wchar_t cell[64];
  for (int column = 0; column < 6; ++column, first_row += u8(cell) + "|") {
    ListView_GetItemText(c(kIdPhotoList), 0, column, cell, 64);
  }
  EXPECT_EQ(first_row, "1|High (HR)|Yes (CP)|352 \u00d7 288|28,009|Preview  \u203a|");

  // Checked rows count; with none checked, or no folder, nothing starts.
  for (int row : {0, 3}) ListView_SetCheckState(c(kIdPhotoList), row, TRUE);
  EXPECT_EQ(seen(),
            "Camera connected \u2014 ready | Download Selected (2) | Download All (7) | "
            "log +8: Found 7 validated item(s). Check photos or Download All.");
  command(kIdSelectAll);
  EXPECT_EQ(text(c(kIdDownloadSelected)), "Download Selected (7)");
  command(kIdSelectNone);
  command(kIdDownloadSelected);
  ::SetWindowTextW(c(kIdFolderEdit), L"");
  command(kIdDownloadAll);
  click_row(1, 8);  // the list toggles the box itself; no preview
  EXPECT_EQ(seen(),
            "Camera connected \u2014 ready | Download Selected (0) | Download All (7) | i No photographs "
            "selected: Check at least one photo, or use Download All. | w Missing destination: Choose a "
            "download folder first.");
  click_row(1, 60);
  EXPECT_EQ(seen(),
            "Camera operation in progress... | Download Selected (0) | Download All (7) | 6 disabled | "
            "shutdown blocked | loading | log +1: Previewing camera photo 2...");
  finish();

  // While the download runs, refresh, preview, selection and Download All are refused.
  test::TempDir out;
  ::SetWindowTextW(c(kIdFolderEdit), out.path().wstring().c_str());
  for (int row : {0, 2}) ListView_SetCheckState(c(kIdPhotoList), row, TRUE);
  command(kIdDownloadSelected);
  command(kIdRefresh);
  click_row(1, 60);
  command(kIdSelectAll);
  command(kIdDownloadAll);
  finish();
  EXPECT_EQ(seen(),
            "Camera connected \u2014 ready | Download Selected (2) | Download All (7) | preview of 304128 "
            "bytes | log +10: Finished: 2 saved, 0 failed. | i Velmora download complete: Successfully saved "
            "2 photo(s).\n\n" +
                out.path().string());
  std::string names;  // without "Velmora_" and the time
  for (const auto& file : std::filesystem::directory_iterator(out.path())) {
    names += file.path().filename().string().erase(file.path().filename().string().rfind('_'), 13).substr(8) + " ";
  }
  EXPECT_EQ(names,
            "001_HR-CP.velmoraraw 001_HR-CP_balanced.png 001_HR-CP_expressive.png 001_HR-CP_restrained.png "
            "003_LR-CP.velmoraraw 003_LR-CP_balanced.png 003_LR-CP_expressive.png 003_LR-CP_restrained.png ");
  ::SetWindowTextW(c(kIdFolderEdit), L"");
  command(kIdOpenFolder);  // the folder the download reported, whatever the edit says
  EXPECT_EQ(shell.opened, out.path().string());

  rig.camera.unplug();
  rig.tree.replace(sim::device_tree_scenario(sim::DeviceTreeScenario::Empty));
  ::SendMessageW(window.hwnd(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
  EXPECT_EQ(seen(), "Camera disconnected | Download Selected (0) | Download All (0)");
  rig.tree.replace(sim::device_tree_scenario(sim::DeviceTreeScenario::CameraWithoutDriver));
  ::SendMessageW(window.hwnd(), WM_TIMER, kStatusTimer, 0);
  RECT setup, detail;
  ::GetWindowRect(c(kIdSetupSteps), &setup);
  ::GetWindowRect(window.control_at(kRowStatusDetail), &detail);
  EXPECT_EQ(setup.left - detail.right, 12) << ::IsWindowVisible(c(kIdSetupSteps));
  command(kIdSetupSteps);
  EXPECT_EQ(seen(),
            "Camera detected \u2014 WinUSB not configured | Download Selected (0) | Download All (0) | i One-time "
            "WinUSB setup: " +
                u8(kSetupStepsText));
}

}  // namespace
}  // namespace velmora
