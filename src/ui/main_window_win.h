#pragma once
// The main window: every control, its layout and scrolling, the photo list
// and preview canvas, the status lines and dialogs, and the window
// procedure. One instance, touched only on the main thread; worker threads
// reach it only through post().

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "link/discovery.h"
#include "ops/operation_env.h"
#include "ui/control_table.h"
#include "ui/controller.h"
#include "ui/layout.h"
#include "ui/shell_host.h"
#include "ui/wide_text_win.h"

namespace velmora {

inline constexpr const wchar_t* kMainWindowClass = L"VelmoraAppWindow";
inline constexpr const wchar_t* kCanvasClass = L"VelmoraPreviewCanvas";
inline constexpr const wchar_t* kMainWindowTitle = L"Velmora 0.7.4";
inline constexpr int kMainWindowWidth = 1180;
inline constexpr int kMainWindowHeight = 775;
inline constexpr UINT_PTR kStatusTimer = 1;
inline constexpr UINT kStatusTimerMs = 5000;
inline constexpr const char16_t* kShutdownBlockReason = u"Velmora is still downloading photos from the camera.";

// Registers VelmoraPreviewCanvas and VelmoraAppWindow; false when either fails.
bool register_window_classes(HINSTANCE instance, HBRUSH background);

class MainWindow;

// One message of the loop: Tab, Shift+Tab and Space work between the
// controls, and a control that takes the focus is scrolled into view.
void process_message(MainWindow& window, MSG& message);
// Until the quit message; returns its code.
int run_message_loop(MainWindow& window);

class MainWindow final : public OperationUi {
 public:
  MainWindow(const CameraEnvironment& env, ShellHost& shell, bool gdiplus_running);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window (default position, 1180 x 775); null on failure.
  HWND create(HINSTANCE instance);
  HWND hwnd() const { return hwnd_; }
  // The control with this command id, or of this table row; null when absent.
  HWND control(int id) const;
  HWND control_at(std::size_t row) const { return controls_[row]; }
  OperationController& operations() { return operations_; }
  int scroll_pos() const { return scroll_pos_; }
  int content_height() const { return velmora::content_height(advanced_shown_); }
  bool preview_available() const { return preview_available_; }
  bool preview_loading() const { return preview_loading_; }
  int preview_width() const { return preview_width_; }
  int preview_height() const { return preview_height_; }
  const std::vector<std::uint8_t>& preview_pixels() const { return preview_pixels_; }

  // Scrolls the control holding the keyboard focus into view when the focus moved.
  void follow_focus();

  static LRESULT CALLBACK main_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK canvas_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  // WindowHost.
  bool window_alive() override;
  bool post(std::uint32_t message, void* payload) override;
  bool start_thread(std::function<void()> body) override;
  void message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) override;
  // OperationUi.
  void enable_camera_controls(bool busy) override;
  void set_status_line(const std::u16string& text) override;
  void append_log(const std::u16string& line) override;
  void fill_photo_list() override;
  void take_preview_image(RgbImage image) override;
  void clear_preview() override;
  void set_preview_loading(bool loading) override;
  void repaint_preview() override;
  void update_camera_status() override;
  int bayer_override_selection() override;
  std::vector<bool> photo_rows_checked() override;
  DownloadOptions read_download_options() override;

 private:
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  // Creation and layout.
  void create_fonts();
  HWND create_control(const wchar_t* class_name, const wchar_t* text, DWORD style, const DesignRect& r, int id,
                      DWORD ex_style);
  void create_main_controls();
  void create_row(std::size_t row);
  void layout_controls();
  bool setup_button_shown() const;
  void scroll_to(int wanted);
  void apply_advanced_visibility();
  void scroll_focus_into_view(HWND focused);
  // Owner-drawn buttons and the list's check boxes.
  void draw_action_button(const DRAWITEMSTRUCT& item);
  HIMAGELIST create_check_images();
  // Photo list and canvas.
  void insert_photo_columns();
  void update_download_labels();
  void set_all_checks(bool checked);
  bool row_checked(int row) const;
  LRESULT on_photo_list_notify(NMHDR* header);
  void paint_preview(HDC dc, HWND canvas);
  // Commands and dialogs.
  void on_command(int id);
  void on_close();
  void choose_folder();
  void open_folder();
  void show_device_details();
  void show_setup_steps();
  void show_help_info();
  void show_info_dialog(const InfoDialog& dialog);
  void on_destroy();
  std::u16string window_text(HWND control) const;

  const CameraEnvironment& env_;
  ShellHost& shell_;
  OperationController operations_;
  HWND hwnd_ = nullptr;
  bool gdiplus_running_ = false;

  struct ControlLayout {
    HWND handle;
    const ControlDef* def;
  };
  std::array<HWND, kControls.size()> controls_{};
  std::vector<ControlLayout> layout_;
  std::vector<HWND> advanced_controls_;
  HFONT font_normal_ = nullptr;
  HFONT font_bold_ = nullptr;
  HFONT font_title_ = nullptr;
  HIMAGELIST check_images_ = nullptr;
  bool rich_edit_ = false;
  bool advanced_shown_ = false;
  int scroll_pos_ = 0;
  bool suppress_item_changes_ = false;
  HWND last_focus_ = nullptr;

  CameraPresence presence_;

  bool preview_available_ = false;
  bool preview_loading_ = false;
  int preview_width_ = 0;
  int preview_height_ = 0;
  std::vector<std::uint8_t> preview_pixels_;
};

}  // namespace velmora
