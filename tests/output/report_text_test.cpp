#include "output/report_text.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(ReportTextToWide, ConvertsWellFormedText) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"", u""},
      {"Could not finish writing output file", u"Could not finish writing output file"},
      {"caf\xC3\xA9", u"caf\u00E9"},
      {"\xE2\x80\x94", u"\u2014"},
      {"\xEF\xBF\xBF", u"\uFFFF"},
      {"\xF0\x9F\x93\xB7", u"\U0001F4F7"},  // a surrogate pair
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& [utf8, expected] : cases) EXPECT_EQ(report_text_to_wide(utf8), expected) << utf8;
}

TEST(ReportTextToWide, MalformedTextIsUnavailable) {
  const char* cases[] = {
      "\x80",                   // continuation without a lead
      "ok \xC3",                // truncated two-byte form
      "\xE2\x80",               // truncated three-byte form
      "\xC3\x28",               // lead followed by a non-continuation
      "\xC0\xAF",               // overlong '/'
      "\xE0\x80\xAF",           // overlong '/' in three bytes
      "\xF0\x80\x80\xAF",       // overlong '/' in four bytes
      "\xED\xA0\x80",           // a UTF-16 surrogate
      "\xF4\x90\x80\x80",       // beyond U+10FFFF
      "\xF8\x88\x80\x80\x80",   // five-byte form
      "\xFF",
  };
  for (const char* text : cases) EXPECT_EQ(report_text_to_wide(text), u"(unavailable)") << text;
}

}  // namespace
}  // namespace velmora
