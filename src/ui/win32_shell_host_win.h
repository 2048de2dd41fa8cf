#pragma once
// The real desktop calls behind ShellHost, owned by the main window.

#include <windows.h>

#include "ui/shell_host.h"
#include "ui/wide_text_win.h"

namespace velmora {

class Win32ShellHost final : public ShellHost {
 public:
  void set_owner(HWND owner) { owner_ = owner; }

  void message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) override;
  bool show_info_dialog(const InfoDialog& dialog) override;
  std::optional<std::u16string> choose_folder(const std::u16string& title) override;
  void shell_open(const std::u16string& target) override;
  bool copy_text(const std::u16string& text) override;
  bool block_shutdown(const std::u16string& reason) override;
  void allow_shutdown() override;

 private:
  static HRESULT CALLBACK info_dialog_callback(HWND dialog, UINT notification, WPARAM wparam, LPARAM lparam,
                                               LONG_PTR reference);
  // The open task dialog, which owns the clipboard and the shell windows it starts.
  HWND owner_for_dialog() const { return dialog_ != nullptr ? dialog_ : owner_; }

  HWND owner_ = nullptr;
  HWND dialog_ = nullptr;
  const InfoDialog* open_dialog_ = nullptr;
};

}  // namespace velmora
