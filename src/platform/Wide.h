#pragma once
// UTF-8 and the wide strings the system's calls take (UTF-16 in a wchar_t),
// through the one conversion of text/Utf.h. Header only, so that the helper
// program, which links none of the adapters, takes it too.
#include "text/Utf.h"

#include <string>
#include <string_view>

namespace platform {

// UTF-8 to the wide form; a byte that is not UTF-8 becomes U+FFFD, an
// unpaired surrogate's three bytes that one unit.
inline std::wstring wideOf(std::string_view utf8)
{
    const std::u16string units = text::utf16FromUtf8(utf8);
    return {units.begin(), units.end()};
}

// The wide form back to UTF-8, an unpaired surrogate kept (or replaced).
inline std::string utf8Of(std::wstring_view wide, text::LoneSurrogate lone = text::LoneSurrogate::Keep)
{
    return text::utf8FromUtf16(std::u16string(wide.begin(), wide.end()), lone);
}

} // namespace platform
