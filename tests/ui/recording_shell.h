#pragma once
// A desktop that records what the window asks of it, so that no test waits
// for a person or opens anything. A box reads "<i|w|e> caption: text".

#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "ui/shell_host.h"

namespace velmora::test {

inline std::string box_line(const std::u16string& text, const std::u16string& caption, MessageIcon icon) {
  return std::string(1, "iwe"[static_cast<int>(icon)]) + " " + utf16_to_utf8(caption) + ": " + utf16_to_utf8(text);
}

struct RecordingShell : ShellHost {
  void message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) override {
    boxes.push_back(box_line(text, caption, icon));
  }
  bool show_info_dialog(const InfoDialog& dialog) override {
    dialogs.push_back(dialog);
    return dialogs_open;
  }
  std::optional<std::u16string> choose_folder(const std::u16string&) override { return chosen_folder; }
  void shell_open(const std::u16string& target) override { opened.push_back(utf16_to_utf8(target)); }
  bool copy_text(const std::u16string& text) override {
    copied.push_back(utf16_to_utf8(text));
    return false;  // a clipboard that fails must change nothing
  }
  bool block_shutdown(const std::u16string& reason) override {
    block_reason = utf16_to_utf8(reason);
    return false;  // as Wine answers
  }
  void allow_shutdown() override { block_reason.clear(); }

  std::vector<std::string> boxes, opened, copied;
  std::vector<InfoDialog> dialogs;
  std::optional<std::u16string> chosen_folder;
  std::string block_reason;
  bool dialogs_open = true;
};

}  // namespace velmora::test
