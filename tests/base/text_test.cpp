#include "base/text.h"

#include <gtest/gtest.h>

#include "output/report_text.h"

namespace velmora {
namespace {

// Well-formed text converts both ways; malformed text is refused by the strict
// decoder, and the lenient one puts one U+FFFD for each byte it cannot use.
TEST(Utf8, ConvertsWellFormedAndRefusesMalformedText) {
  const struct {
    std::string utf8;
    std::u16string wide;
    bool valid;
  } cases[] = {
      {"", u"", true},
      {std::string("a\0caf\xC3\xA9 \xE2\x80\x94 \xEF\xBF\xBF", 15), std::u16string(u"a\0caf\u00E9 \u2014 \uFFFF", 10),
       true},
      {"\xF0\x9F\x93\xB7\xF4\x8F\xBF\xBF", u"\U0001F4F7\U0010FFFF", true},  // surrogate pairs
      {"\x80", u"\uFFFD", false},
      {"\xFF", u"\uFFFD", false},        // continuation without a lead
      {"ok \xC3", u"ok \uFFFD", false},  // truncated
      {"\xE2\x80", u"\uFFFD\uFFFD", false},
      {"\xC3\x28", u"\uFFFD(", false},       // lead without continuation
      {"\xC0\xAF", u"\uFFFD\uFFFD", false},  // overlong '/'
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD", false},
      {"\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},                      // a UTF-16 surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},            // beyond U+10FFFF
      {"\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", false},  // five-byte form
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(hex_bytes({reinterpret_cast<const std::uint8_t*>(c.utf8.data()), c.utf8.size()}));
    EXPECT_EQ(utf8_to_utf16(c.utf8), c.wide);
    EXPECT_EQ(utf8_to_utf16_strict(c.utf8), c.valid ? std::optional(c.wide) : std::nullopt);
    EXPECT_EQ(report_text_to_wide(c.utf8), c.valid ? c.wide : u"(unavailable)");
    EXPECT_EQ(c.valid ? utf16_to_utf8(c.wide) : c.utf8, c.utf8);
  }
}

}  // namespace
}  // namespace velmora
