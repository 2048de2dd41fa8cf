#include "ui/shell_host.h"

#include "ui/window_text.h"

namespace velmora {

bool info_dialog_button(ShellHost& host, const InfoDialog& dialog, int button_id) {
  if (button_id != kCopyButtonId) return false;
  host.copy_text(dialog.copy_text);  // a failed clipboard is silent
  return true;
}

void info_dialog_link(ShellHost& host, const std::u16string& target) {
  if (is_help_link(target)) host.shell_open(target);
}

}  // namespace velmora
