// The real main window, created in this process on the simulated camera and
// driven with the messages a user's actions produce. Boxes, dialogs, the
// folder chooser, the shell and the clipboard go to a recording host.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <dbt.h>
#include <objbase.h>

#include <chrono>
#include <fstream>

#include "base/text.h"
#include "sim/scenarios.h"
#include "support/sim_fixture.h"
#include "support/temp_dir.h"
#include "ui/main_window_win.h"
#include "ui/preview_image.h"
#include "ui/window_text.h"

namespace velmora {
namespace {

std::string u8(const std::u16string& text) { return utf16_to_utf8(text); }

std::string text_of(HWND control) {
  wchar_t buffer[4096] = {};
  ::GetWindowTextW(control, buffer, 4096);
  return u8(reinterpret_cast<const char16_t*>(buffer));
}

struct Box {
  std::string text, caption;
};

class RecordingShell final : public ShellHost {
 public:
  void message_box(const std::u16string& text, const std::u16string& caption, MessageIcon) override {
    boxes.push_back({u8(text), u8(caption)});
  }
  bool show_info_dialog(const InfoDialog& dialog) override {
    dialogs.push_back(dialog);
    return dialogs_open;
  }
  std::optional<std::u16string> choose_folder(const std::u16string&) override { return chosen_folder; }
  void shell_open(const std::u16string& target) override { opened.push_back(u8(target)); }
  bool copy_text(const std::u16string&) override { return true; }
  bool block_shutdown(const std::u16string& reason) override {
    block_reason = u8(reason);
    return false;  // as Wine answers
  }
  void allow_shutdown() override { block_reason.clear(); }

  std::vector<Box> boxes;
  std::vector<InfoDialog> dialogs;
  std::vector<std::string> opened;
  std::optional<std::u16string> chosen_folder;
  std::string block_reason;
  bool dialogs_open = true;
};

struct ProcessSetup {
  ProcessSetup() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    registered = register_window_classes(::GetModuleHandleW(nullptr), ::CreateSolidBrush(RGB(223, 229, 236)));
  }
  bool registered = false;
};

class MainWindowTest : public ::testing::Test {
 protected:
  explicit MainWindowTest(sim::SimulatedSetup setup = sim::healthy_setup(sim::builtin_camera_image()))
      : rig(std::move(setup)) {
    static ProcessSetup process;
    EXPECT_TRUE(process.registered);
    hwnd = window.create(::GetModuleHandleW(nullptr));
    EXPECT_NE(hwnd, nullptr);
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    pump_until([] { return true; });
  }
  ~MainWindowTest() override {
    pump_until([this] { return !window.operations().busy(); });
    if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  // Runs the message loop until the condition holds (or a minute passed).
  template <class Condition>
  bool pump_until(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    do {
      MSG message;
      while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) process_message(window, message);
      }
      if (done()) return true;
      ::Sleep(2);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
  }

  void command(int id) { ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  void finish() { ASSERT_TRUE(pump_until([this] { return !window.operations().busy(); })); }
  void refreshed() {
    command(kIdRefresh);
    finish();
  }
  HWND list() { return window.control(kIdPhotoList); }
  HWND status_title() { return window.control_at(kRowStatusTitle); }
  void check_row(int row, bool on) { ListView_SetCheckState(list(), row, on); }
  std::string log_text() { return text_of(window.control(kIdLog)); }
  std::string cell(int row, int column) {
    wchar_t buffer[128] = {};
    ListView_GetItemText(list(), row, column, buffer, 128);
    return u8(reinterpret_cast<const char16_t*>(buffer));
  }
  // The control's rectangle in the main window's client coordinates.
  RECT client_rect_of(HWND control) {
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  void set_client_size(int width, int height) {
    RECT r{0, 0, width, height};
    ::AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW | WS_VSCROLL, FALSE, 0);
    ::SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOMOVE);
    RECT client;
    ::GetClientRect(hwnd, &client);
    // The scroll bar comes and goes with the range; adjust once for it.
    const int dx = width - client.right, dy = height - client.bottom;
    if (dx != 0 || dy != 0) {
      ::SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy, SWP_NOZORDER | SWP_NOMOVE);
    }
  }
  void click_row(int row, bool on_check_box) {
    RECT label;
    ListView_GetSubItemRect(list(), row, 0, LVIR_BOUNDS, &label);
    NMITEMACTIVATE click{};
    click.hdr = {list(), static_cast<UINT_PTR>(kIdPhotoList), static_cast<UINT>(NM_CLICK)};
    click.iItem = row;
    click.ptAction = {label.left + 60, (label.top + label.bottom) / 2};
    for (int x = label.left; on_check_box && x < label.left + 40; ++x) {
      LVHITTESTINFO hit{};
      hit.pt = {x, click.ptAction.y};
      ListView_SubItemHitTest(list(), &hit);
      if (hit.flags & LVHT_ONITEMSTATEICON) {
        click.ptAction.x = x;
        break;
      }
    }
    ::SendMessageW(hwnd, WM_NOTIFY, kIdPhotoList, reinterpret_cast<LPARAM>(&click));
  }

  test::OperationRig rig;
  RecordingShell shell;
  MainWindow window{rig.env, shell, false};
  HWND hwnd = nullptr;
};

TEST_F(MainWindowTest, StartState) {
  EXPECT_EQ(text_of(hwnd), "Velmora 0.7.4");
  RECT outer;
  ::GetWindowRect(hwnd, &outer);
  EXPECT_EQ(outer.right - outer.left, 1180);
  EXPECT_EQ(outer.bottom - outer.top, 775);
  EXPECT_EQ(text_of(status_title()), "Camera connected \u2014 photo list not loaded");
  EXPECT_EQ(text_of(window.control_at(kRowStatusDetail)), "MR97310 family | USB 093A:010E | WinUSB");
  EXPECT_FALSE(::IsWindowVisible(window.control(kIdSetupSteps)));
  EXPECT_EQ(text_of(window.control(kIdDownloadSelected)), "Download Selected (0)");
  EXPECT_EQ(text_of(window.control(kIdDownloadAll)), "Download All (0)");
  EXPECT_EQ(text_of(window.control(kIdAdvancedToggle)), u8(kAdvancedHidden));
  EXPECT_EQ(log_text(), "Ready. Connect the camera and refresh the list.\r\n");
  EXPECT_EQ(window.content_height(), 881);
  const std::string folder = text_of(window.control(kIdFolderEdit));
  EXPECT_EQ(folder.substr(folder.size() - 8), "\\Velmora");
  for (std::size_t row = 0; row < kControls.size(); ++row) {
    ASSERT_NE(window.control_at(row), nullptr) << row;
    EXPECT_EQ(::IsWindowVisible(window.control_at(row)) != FALSE, !kControls[row].advanced && kControls[row].id != kIdSetupSteps)
        << row;
    if (kControls[row].kind == ControlKind::CheckBox) {
      EXPECT_EQ(::SendMessageW(window.control_at(row), BM_GETCHECK, 0, 0), kControls[row].checked ? BST_CHECKED : BST_UNCHECKED);
    }
  }
}

TEST_F(MainWindowTest, RefreshIsBusyThenFillsTheList) {
  command(kIdRefresh);
  EXPECT_EQ(text_of(status_title()), "Camera operation in progress...");
  for (int id : {kIdRefresh, kIdDownloadSelected, kIdDownloadAll, kIdSelectAll, kIdSelectNone, kIdPhotoList}) {
    EXPECT_FALSE(::IsWindowEnabled(window.control(id))) << id;
  }
  EXPECT_TRUE(::IsWindowEnabled(window.control(kIdDeviceDetails)));
  // Closing and ending the session are refused while the camera is in use.
  ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(::IsWindow(hwnd));
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].caption, "Camera operation in progress");
  EXPECT_EQ(shell.boxes[0].text,
            "A camera operation is still active. Closing during USB transfer could leave files incomplete.\n"
            "Close after the operation has finished.");
  EXPECT_EQ(::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, 0), FALSE);
  EXPECT_EQ(shell.block_reason, "Velmora is still downloading photos from the camera.");

  finish();
  EXPECT_EQ(shell.block_reason, "") << "the block reason goes with the operation";
  EXPECT_EQ(::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_EQ(text_of(status_title()), "Camera connected \u2014 ready");
  ASSERT_EQ(ListView_GetItemCount(list()), 7);
  const std::vector<std::string> first = {"1", "High (HR)", "Yes (CP)", "352 \u00d7 288", "28,009", "Preview  \u203a"};
  for (int column = 0; column < 6; ++column) EXPECT_EQ(cell(0, column), first[column]);
  EXPECT_EQ(text_of(window.control(kIdDownloadSelected)), "Download Selected (0)");
  EXPECT_EQ(text_of(window.control(kIdDownloadAll)), "Download All (7)");
  EXPECT_NE(log_text().find("Found 7 validated item(s). Check photos or Download All.\r\n"), std::string::npos);
  EXPECT_TRUE(::IsWindowEnabled(window.control(kIdRefresh)));
}

TEST_F(MainWindowTest, CheckedRowsCountAndTurnBold) {
  refreshed();
  check_row(0, true);
  check_row(3, true);
  EXPECT_EQ(text_of(window.control(kIdDownloadSelected)), "Download Selected (2)");
  command(kIdSelectAll);
  EXPECT_EQ(text_of(window.control(kIdDownloadSelected)), "Download Selected (7)");
  command(kIdSelectNone);
  check_row(3, true);
  EXPECT_EQ(text_of(window.control(kIdDownloadSelected)), "Download Selected (1)");

  HDC dc = ::CreateCompatibleDC(nullptr);
  for (int row : {2, 3}) {
    for (DWORD stage : {static_cast<DWORD>(CDDS_ITEMPREPAINT), static_cast<DWORD>(CDDS_ITEMPREPAINT | CDDS_SUBITEM)}) {
      NMLVCUSTOMDRAW draw{};
      draw.nmcd.hdr = {list(), static_cast<UINT_PTR>(kIdPhotoList), static_cast<UINT>(NM_CUSTOMDRAW)};
      draw.nmcd.dwDrawStage = stage;
      draw.nmcd.hdc = dc;
      draw.nmcd.dwItemSpec = row;
      const LRESULT result = ::SendMessageW(hwnd, WM_NOTIFY, kIdPhotoList, reinterpret_cast<LPARAM>(&draw));
      EXPECT_TRUE(result & CDRF_NEWFONT);
      LOGFONTW font{};
      ::GetObjectW(::GetCurrentObject(dc, OBJ_FONT), sizeof font, &font);
      EXPECT_EQ(font.lfWeight, row == 3 ? FW_BOLD : FW_NORMAL) << "row " << row << " stage " << stage;
    }
  }
  ::DeleteDC(dc);
}

TEST_F(MainWindowTest, ClickOnTheNumberPreviewsAndOnTheCheckBoxDoesNot) {
  refreshed();
  const std::string before = log_text();
  click_row(1, true);
  EXPECT_FALSE(window.operations().busy()) << "a check box click starts no preview";
  EXPECT_EQ(log_text(), before);

  click_row(1, false);
  EXPECT_TRUE(window.operations().busy());
  EXPECT_TRUE(window.preview_loading());
  finish();
  ASSERT_TRUE(window.preview_available());
  EXPECT_EQ(window.preview_width(), 352);
  EXPECT_EQ(window.preview_height(), 288);
  EXPECT_EQ(window.preview_pixels().size(), 288u * 1056u);
  EXPECT_NE(log_text().find("Previewing camera photo 2...\r\n"), std::string::npos);

  // Drawn scaled to fit inside a 10-pixel margin and centred: white around it.
  HWND canvas = window.control_at(kRowCanvas);
  RECT client;
  ::GetClientRect(canvas, &client);
  const auto place = preview_placement(client.right, client.bottom, 352, 288);
  ASSERT_TRUE(place);
  EXPECT_EQ(place->height, client.bottom - 20);
  ::UpdateWindow(canvas);
  HDC dc = ::GetDC(canvas);
  const int mid_y = place->y + place->height / 2;
  EXPECT_EQ(::GetPixel(dc, place->x - 2, mid_y), RGB(255, 255, 255));
  EXPECT_EQ(::GetPixel(dc, place->x + place->width + 1, mid_y), RGB(255, 255, 255));
  EXPECT_NE(::GetPixel(dc, place->x + 1, mid_y), RGB(255, 255, 255));
  EXPECT_NE(::GetPixel(dc, place->x + place->width - 2, mid_y), RGB(255, 255, 255));
  ::ReleaseDC(canvas, dc);
}

TEST_F(MainWindowTest, DownloadSelectedWritesTheFilesAndReports) {
  refreshed();
  test::TempDir out;
  ::SetWindowTextW(window.control(kIdFolderEdit), out.path().wstring().c_str());
  check_row(0, true);
  check_row(2, true);
  command(kIdDownloadSelected);
  ASSERT_TRUE(window.operations().busy());
  const std::string log_while_busy = log_text();
  command(kIdRefresh);
  command(kIdSelectAll);
  EXPECT_EQ(text_of(window.control(kIdDownloadSelected)), "Download Selected (2)") << "refused while busy";
  finish();
  EXPECT_EQ(log_text().find("Reading the camera directory", log_while_busy.size()), std::string::npos);

  std::vector<std::string> names;
  for (const auto& file : std::filesystem::directory_iterator(out.path())) names.push_back(file.path().filename().string());
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), 8u);
  EXPECT_EQ(names[0].substr(0, 18), "Velmora_001_HR-CP_");
  EXPECT_EQ(names[4].substr(0, 18), "Velmora_003_LR-CP_");
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].caption, "Velmora download complete");
  EXPECT_EQ(shell.boxes[0].text, "Successfully saved 2 photo(s).\n\n" + out.path().string());
  EXPECT_NE(log_text().find("Finished: 2 saved, 0 failed.\r\n"), std::string::npos);

  // Open Folder now opens what the download reported, whatever the edit says.
  ::SetWindowTextW(window.control(kIdFolderEdit), L"");
  command(kIdOpenFolder);
  EXPECT_EQ(shell.opened, std::vector<std::string>{out.path().string()});
}

TEST_F(MainWindowTest, OpenFolderOpensOnlyFolders) {
  test::TempDir out;
  const auto program = out.path() / "setup.exe";
  std::ofstream(program) << "MZ";
  for (const std::filesystem::path& path : {program, out.path() / "missing", std::filesystem::path()}) {
    ::SetWindowTextW(window.control(kIdFolderEdit), path.wstring().c_str());
    command(kIdOpenFolder);
  }
  EXPECT_TRUE(shell.opened.empty()) << "a program or document is never handed to the shell";
  ASSERT_EQ(shell.boxes.size(), 3u);
  for (const Box& box : shell.boxes) {
    EXPECT_EQ(box.caption, "Folder not found");
    EXPECT_EQ(box.text, "Choose a valid folder or download photos first.");
  }
  ::SetWindowTextW(window.control(kIdFolderEdit), out.path().wstring().c_str());
  command(kIdOpenFolder);
  EXPECT_EQ(shell.opened, std::vector<std::string>{out.path().string()});

  shell.chosen_folder = u"D:\\Chosen";
  command(kIdBrowse);
  EXPECT_EQ(text_of(window.control(kIdFolderEdit)), "D:\\Chosen");
  shell.chosen_folder.reset();
  command(kIdBrowse);
  EXPECT_EQ(text_of(window.control(kIdFolderEdit)), "D:\\Chosen") << "a cancelled chooser changes nothing";
}

TEST_F(MainWindowTest, AdvancedToggleRaisesTheContentAndClampsTheScroll) {
  set_client_size(1164, 600);
  ::SendMessageW(hwnd, WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(window.scroll_pos(), 281);
  command(kIdAdvancedToggle);
  EXPECT_EQ(window.content_height(), 1020);
  EXPECT_EQ(window.scroll_pos(), 281) << "expanding keeps the position";
  EXPECT_EQ(text_of(window.control(kIdAdvancedToggle)), u8(kAdvancedShown));
  EXPECT_TRUE(::IsWindowVisible(window.control(kIdBayerOverride)));
  ::SendMessageW(hwnd, WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(window.scroll_pos(), 420);
  EXPECT_EQ(client_rect_of(window.control(kIdBayerOverride)).top, 932 - 420);
  command(kIdAdvancedToggle);
  EXPECT_EQ(window.scroll_pos(), 281) << "collapsing clamps";
  EXPECT_FALSE(::IsWindowVisible(window.control(kIdBayerOverride)));
  ::SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), 0);
  EXPECT_EQ(window.scroll_pos(), 121);
  set_client_size(1164, 900);
  EXPECT_EQ(window.scroll_pos(), 0) << "no range once the content fits";
}

TEST_F(MainWindowTest, NarrowAndWideLayoutsAtTheEdgeWidths) {
  struct Case {
    int width, right_x, list_width, browse_x;
  };
  for (const Case& c : {Case{1058, 628, 584, 790}, Case{1059, 629, 585, 791}, Case{1300, 870, 826, 1032}}) {
    set_client_size(c.width, 900);
    RECT client;
    ::GetClientRect(hwnd, &client);
    ASSERT_EQ(client.right, c.width);
    for (int row : {static_cast<int>(kRowCanvas), 29}) {
      const RECT r = client_rect_of(window.control_at(row));
      EXPECT_EQ(r.left, c.right_x) << c.width;
      EXPECT_EQ(r.right - r.left, 408) << c.width;
    }
    EXPECT_EQ(client_rect_of(list()).right - 22, c.list_width) << c.width;
    EXPECT_EQ(client_rect_of(window.control(kIdBrowse)).left, c.browse_x) << c.width;
  }
}

TEST_F(MainWindowTest, UnpluggingEmptiesTheListAndTheLabels) {
  refreshed();
  click_row(0, false);
  finish();
  rig.camera.unplug();
  rig.tree.replace(sim::device_tree_scenario(sim::DeviceTreeScenario::Empty));
  ::SendMessageW(hwnd, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
  EXPECT_EQ(text_of(status_title()), "Camera disconnected");
  EXPECT_EQ(ListView_GetItemCount(list()), 0);
  EXPECT_EQ(text_of(window.control(kIdDownloadAll)), "Download All (0)");
  EXPECT_FALSE(window.preview_available());
  EXPECT_FALSE(window.operations().snapshot());

  rig.camera.replug();
  rig.tree.replace(sim::device_tree_scenario(sim::DeviceTreeScenario::CameraOnWinUsb));
  ::SendMessageW(hwnd, WM_TIMER, kStatusTimer, 0);
  EXPECT_EQ(text_of(status_title()), "Camera connected \u2014 photo list not loaded");
}

TEST_F(MainWindowTest, DeviceDetailsBeforeAndAfterARefresh) {
  command(kIdDeviceDetails);
  refreshed();
  command(kIdDeviceDetails);
  ASSERT_EQ(shell.dialogs.size(), 2u);
  EXPECT_EQ(u8(shell.dialogs[1].title), "Velmora Device Details");
  EXPECT_EQ(shell.dialogs[1].copy_text, shell.dialogs[1].content);
  EXPECT_NE(u8(shell.dialogs[0].content).find("have not been loaded yet.\n"), std::string::npos);
  EXPECT_NE(u8(shell.dialogs[0].content).find("\nKnown WinUSB interface: "), std::string::npos);
  EXPECT_NE(u8(shell.dialogs[1].content).find("Verified stored photo entries: 7\n"), std::string::npos);

  command(kIdHelpInfo);
  ASSERT_EQ(shell.dialogs.size(), 3u);
  EXPECT_EQ(u8(shell.dialogs[2].title), "Velmora \u2014 Help / Info");
  EXPECT_TRUE(shell.dialogs[2].hyperlinks);
  shell.dialogs_open = false;
  command(kIdHelpInfo);
  EXPECT_NE(log_text().find("The information dialog could not open.\r\n"), std::string::npos);
}

TEST_F(MainWindowTest, TabMovesThroughTheControlsInCreationOrder) {
  refreshed();
  ::SetFocus(window.control(kIdRefresh));
  std::vector<int> order;
  for (int press = 0; press < 22; ++press) {
    order.push_back(::GetDlgCtrlID(::GetFocus()));
    MSG tab{};
    tab.hwnd = ::GetFocus();
    tab.message = WM_KEYDOWN;
    tab.wParam = VK_TAB;
    process_message(window, tab);
  }
  // The setup button is hidden and the advanced section collapsed; the log hands Tab on.
  EXPECT_EQ(order, (std::vector<int>{100, 101, 131, 103, 104, 105, 106, 107, 108, 109, 129, 110, 111, 112, 113, 114,
                                     115, 116, 117, 118, 130, 100}));
  EXPECT_EQ(window.scroll_pos(), 0);
}

class NoWinUsbWindowTest : public MainWindowTest {
 protected:
  NoWinUsbWindowTest() : MainWindowTest(*sim::scenario_setup("no-winusb", sim::builtin_camera_image())) {}
};

TEST_F(NoWinUsbWindowTest, ShowsTheSetupButtonAndItsSteps) {
  EXPECT_EQ(text_of(status_title()), "Camera detected \u2014 WinUSB not configured");
  ASSERT_TRUE(::IsWindowVisible(window.control(kIdSetupSteps)));
  EXPECT_LT(client_rect_of(window.control_at(kRowStatusDetail)).right, client_rect_of(window.control(kIdSetupSteps)).left);
  command(kIdSetupSteps);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].caption, "One-time WinUSB setup");
  EXPECT_EQ(shell.boxes[0].text, u8(kSetupStepsText));
}

}  // namespace
}  // namespace velmora
