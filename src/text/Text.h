#pragma once
// The small text rules every part of the program shares, each written once.
// Text is UTF-8 (or, in the windows, the ANSI code page); only ASCII letters
// are folded, so no two different non-ASCII names are ever taken as one.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// The line end of every script, report and console line the program writes.
inline constexpr char kCrLf[] = "\r\n";

// ASCII letters to upper case; every other byte as it is.
char upperAscii(char c);
std::string upperAscii(std::string_view s);

// Equal, ASCII letters compared without regard to case: how CLSIDs, ProgIDs,
// category names and file names are matched.
bool equalIgnoringCase(std::string_view a, std::string_view b);
bool endsWithIgnoringCase(std::string_view s, std::string_view end);

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" with hex digits in either case.
bool isBracedGuid(std::string_view s);

// The value of a hex digit, or -1.
int hexDigitValue(char c);

// The text up to its first NUL.
std::string_view untilNul(std::string_view s);

// Blanks (spaces and tabs) removed from either end, or from the start only.
bool isBlank(char c);
std::string_view trimBlanks(std::string_view s);
std::string_view trimLeadingBlanks(std::string_view s);

// The parts of a path: "\" and "/" both separate folders.
std::string_view fileNameOf(std::string_view path);   // after the last separator
std::string_view folderOf(std::string_view path);     // up to and with the last separator; "" without one
// A key or folder below another: "a" and "b" give "a\b"; an empty `parent` gives `name`.
std::string below(std::string_view parent, std::string_view name);

// Whether two paths name the same file by their spelling: ASCII letters
// without regard to case, "/" as "\", a doubled separator as one.
bool samePathSpelling(std::string_view a, std::string_view b);

// UTF-16 (as the wide Windows calls take it) and UTF-8. An unpaired
// surrogate, which a Windows name may hold, is kept as WTF-8 keeps it: the
// three bytes of its code point (ED A0 80 for U+D800), read back as that one
// unit, so that every name the system gives round-trips exactly. A byte that
// is not UTF-8 becomes U+FFFD.
std::u16string utf16FromUtf8(std::string_view s);
std::string utf8FromUtf16(std::u16string_view s);
// The first unpaired surrogate the text holds, or nothing: such a text is
// no valid UTF-16 (or UTF-8) in a file, a script or JSON.
std::optional<char16_t> unpairedSurrogate(std::string_view utf8);
// How many characters (code points) the UTF-8 text holds: its width in a
// column of text.
size_t characterCount(std::string_view utf8);

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

// Control characters made visible for a one-line text column: CR as "<CR>",
// LF as "<LF>", tab as "<TAB>", any other below 0x20 or 0x7F as "<0xHH>".
// Text without control characters comes back as it is.
std::string escapeControls(std::string_view s);

} // namespace text
