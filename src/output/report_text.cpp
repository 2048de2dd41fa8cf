#include "output/report_text.h"

#include "base/text.h"

namespace velmora {

std::u16string report_text_to_wide(std::string_view text) {
  if (text.empty()) return {};
  auto wide = utf8_to_utf16_strict(text);
  return wide ? std::move(*wide) : u"(unavailable)";
}

}  // namespace velmora
