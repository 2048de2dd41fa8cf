#pragma once
// Text conversions: UTF-8 inside the program, UTF-16 towards the user and Windows.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// Invalid sequences become U+FFFD; never throws on bad input.
std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);
// Nothing when the text is not valid UTF-8.
std::optional<std::u16string> utf8_to_utf16_strict(std::string_view text);

// The low `digits` hex digits of value: hex_number(0x10e, 4, true) is "010E".
std::string hex_number(std::uint64_t value, std::size_t digits, bool upper_case = false);
// "19 51 0a": lower-case two-digit pairs separated by single spaces.
std::string hex_bytes(std::span<const std::uint8_t> bytes);

}  // namespace velmora
