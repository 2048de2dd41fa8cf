#pragma once

#include <string>
#include <string_view>

namespace velmora {

// An error text (UTF-8) as UTF-16 for a report: empty stays empty, and a text
// that is not well-formed UTF-8 (stray or missing continuation bytes, overlong
// forms, surrogates, beyond U+10FFFF) becomes "(unavailable)" as a whole.
std::u16string report_text_to_wide(std::string_view text);

}  // namespace velmora
