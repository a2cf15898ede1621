#pragma once
// Text in the ANSI code page (the system's active code page, in which the
// windows hold their text) to and from the wide form and UTF-8: the
// program's one conversion of it. UTF-8 and UTF-16 go through text/Utf.h.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

std::wstring wideFromAnsi(std::string_view ansi);

// Every unit converted (NULs included); what the code page lacks becomes its
// closest character.
std::string ansiFromWide(std::wstring_view wide);

// The ANSI form only when every character is in the code page as it is: no
// closest character, no default character, no unpaired surrogate; nothing
// otherwise.
std::optional<std::string> exactAnsiFromWide(std::wstring_view wide);

// The text, from UTF-8 to the ANSI code page (what the code page lacks
// becomes its closest character).
std::string ansiFromUtf8(std::string_view text);

// UTF-16 to the ANSI code page, every unit converted (NULs included).
std::string ansiFromUtf16(std::u16string_view text);

// The text, from the ANSI code page to UTF-8.
std::string ansiToUtf8(std::string_view text);

} // namespace platform
