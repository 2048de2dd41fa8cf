#pragma once
// What the window asks of the desktop around it: modal boxes and task
// dialogs, the folder chooser, the shell's "open" verb, the clipboard and the
// end-of-session block. The Win32 host makes the real calls; tests record
// them, so that no test waits for a person or opens anything.

#include <optional>
#include <string>

#include "ops/runner.h"

namespace velmora {

inline constexpr int kCopyButtonId = 1801;

struct InfoDialog {
  std::u16string title;
  std::u16string instruction;
  std::u16string content;
  std::u16string copy_text;
  bool hyperlinks = false;
};

class ShellHost {
 public:
  virtual ~ShellHost() = default;
  // MessageBoxW over the main window, one OK button.
  virtual void message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) = 0;
  // TaskDialogIndirect over the main window; false when it could not be shown.
  // Its Copy button calls copy_text, its links open_link.
  virtual bool show_info_dialog(const InfoDialog& dialog) = 0;
  // IFileOpenDialog in folder mode; nothing when cancelled or unavailable.
  virtual std::optional<std::u16string> choose_folder(const std::u16string& title) = 0;
  // ShellExecuteW with the "open" verb in a normal window.
  virtual void shell_open(const std::u16string& target) = 0;
  // OpenClipboard, EmptyClipboard, SetClipboardData(CF_UNICODETEXT); false when any step failed.
  virtual bool copy_text(const std::u16string& text) = 0;
  // ShutdownBlockReasonCreate / ShutdownBlockReasonDestroy on the main window.
  virtual bool block_shutdown(const std::u16string& reason) = 0;
  virtual void allow_shutdown() = 0;
};

// What a task dialog does when its Copy button or a link is pressed: copies
// (the dialog stays open, true) or opens only the program's own links.
bool info_dialog_button(ShellHost& host, const InfoDialog& dialog, int button_id);
void info_dialog_link(ShellHost& host, const std::u16string& target);

}  // namespace velmora
