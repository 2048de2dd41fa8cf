#pragma once

namespace velmora {

inline constexpr const char16_t* kVersion = u"0.7.4";
inline constexpr const char16_t* kReleaseDate = u"2026-12-06";

}  // namespace velmora
