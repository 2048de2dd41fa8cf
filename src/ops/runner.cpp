#include "ops/runner.h"

#include "base/text.h"

namespace velmora {

std::u16string utf8_to_wide(const char* what) {
  if (what == nullptr) return u"(unknown)";
  return utf8_to_utf16_strict(what).value_or(u"(unknown)");
}

ProgressFn posting_progress(WindowHost& host) {
  return [&host](const std::u16string& line) {
    post_payload(host, WM_OP_PROGRESS, std::make_unique<ProgressPayload>(line));
  };
}

}  // namespace velmora
