#pragma once
// UTF-8 and UTF-16: the program's one conversion between them. The rules and
// the command line hold UTF-8; the system's wide calls, the registry's wide
// strings and Version 5.00 scripts hold UTF-16. platform/Wide.h adapts these to
// the wide strings the calls take, platform/Ansi.h converts the ANSI code page.
//
// An unpaired surrogate, which a Windows name may hold, is kept as WTF-8 keeps
// it: the three bytes of its code point (ED A0 80 for U+D800), read back as
// that one unit, so that every name the system gives round-trips exactly.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// UTF-8 as UTF-16. A byte that is not UTF-8 becomes U+FFFD.
std::u16string utf16FromUtf8(std::string_view s);
// UTF-8 as UTF-16 only when it is valid UTF-8 throughout: nothing for a byte
// that is not, and for an unpaired surrogate's three bytes, so that no file
// name is ever turned into another one.
std::optional<std::u16string> exactUtf16FromUtf8(std::string_view s);

// What becomes of an unpaired surrogate in UTF-8.
enum class LoneSurrogate {
    Keep,    // its three bytes, as WTF-8 keeps it
    Replace, // U+FFFD, as the system's own conversion writes it
};
std::string utf8FromUtf16(std::u16string_view s, LoneSurrogate lone = LoneSurrogate::Keep);

// The character (code point) at s[at]: a surrogate pair's, taking two units,
// or the one unit's, an unpaired surrogate included.
struct Utf16Character {
    char32_t codePoint;
    size_t units;
};
Utf16Character utf16CharacterAt(std::u16string_view s, size_t at);
bool isSurrogate(char32_t codePoint);

// The first unpaired surrogate the text holds, or nothing: such a text is
// no valid UTF-16 (or UTF-8) in a file, a script or JSON.
std::optional<char16_t> unpairedSurrogate(std::string_view utf8);
std::optional<char16_t> unpairedSurrogate(std::u16string_view utf16);
// How many characters (code points) the UTF-8 text holds: its width in a
// column of text.
size_t characterCount(std::string_view utf8);

// The UTF-16 byte-order marks: little-endian FF FE, with which a Version 5.00
// script begins, and big-endian FE FF.
inline constexpr std::string_view kUtf16Mark("\xFF\xFE", 2);
inline constexpr std::string_view kUtf16BigEndianMark("\xFE\xFF", 2);
// Whether the bytes begin with the little-endian byte-order mark.
bool startsWithUtf16Mark(std::string_view bytes);
// A UTF-16 LE byte sequence as its code units, every one (NULs included);
// an odd last byte is ignored.
std::u16string utf16Units(std::string_view bytes);
// A UTF-16 LE byte sequence (as the registry stores a wide string) as UTF-8,
// up to its first NUL character; an odd last byte is ignored.
std::string utf8FromUtf16Bytes(std::string_view bytes);
// UTF-16 code units as little-endian bytes, no NUL added.
std::string utf16Bytes(std::u16string_view units);
// UTF-8 as UTF-16 LE bytes, with a terminating NUL character.
std::string utf16BytesFromUtf8(std::string_view s);

} // namespace text
