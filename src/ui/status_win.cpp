// The camera status lines and the information dialogs.
#include "ui/main_window_win.h"
#include "ui/window_text.h"

namespace velmora {

void MainWindow::update_camera_status() {
  if (operations_.busy()) return;
  presence_ = scan_camera_presence(env_.devices);
  const std::vector<CameraInterfaceInfo> interfaces = find_camera_interfaces(env_.devices);
  const CameraLinkState state = classify_camera_link(presence_, interfaces);
  if (state == CameraLinkState::Disconnected) {
    operations_.drop_snapshot();
    fill_photo_list();
    clear_preview();
  }
  const StatusTexts texts = camera_status_texts(state, snapshot_is_current(operations_.snapshot().get(), interfaces));
  set_status_line(texts.title);
  if (HWND detail = control_at(kRowStatusDetail); detail != nullptr && !texts.detail.empty()) {
    ::SetWindowTextW(detail, wide(texts.detail));
  }
  if (setup_button_shown() != texts.setup_button) {
    ::ShowWindow(control(kIdSetupSteps), texts.setup_button ? SW_SHOW : SW_HIDE);
    layout_controls();
  }
}

void MainWindow::show_info_dialog(const InfoDialog& dialog) {
  if (!shell_.show_info_dialog(dialog)) append_log(u"The information dialog could not open.");
}

void MainWindow::show_device_details() {
  const std::vector<CameraInterfaceInfo> interfaces =
      operations_.snapshot() ? std::vector<CameraInterfaceInfo>{} : find_camera_interfaces(env_.devices);
  const std::u16string text = device_details_text(presence_, operations_.snapshot().get(), interfaces);
  show_info_dialog({u"Velmora Device Details", u"Camera / USB information", text, text, false});
}

void MainWindow::show_setup_steps() {
  shell_.message_box(kSetupStepsText, u"One-time WinUSB setup", MessageIcon::Information);
}

void MainWindow::show_help_info() {
  show_info_dialog({u"Velmora \u2014 Help / Info", u"Velmora", help_info_content(), help_info_copy_text(), true});
}

}  // namespace velmora
