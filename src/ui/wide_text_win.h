#pragma once
// UTF-16 text as the Windows calls take it (wchar_t is UTF-16 there).

#include <string>

namespace velmora {

inline const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
// For the structures that name their text buffer without const (LVITEMW, LVCOLUMNW).
inline wchar_t* wide(std::u16string& text) { return reinterpret_cast<wchar_t*>(text.data()); }

}  // namespace velmora
