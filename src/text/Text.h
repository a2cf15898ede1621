#pragma once
// The small text rules every part of the program shares, each written once.
// Text is UTF-8 (or, in the windows, the ANSI code page; text/Utf.h converts
// UTF-16); only ASCII letters are folded, so no two different non-ASCII names
// are ever taken as one.
#include <cstdint>
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

// Control characters made visible for a one-line text column: CR as "<CR>",
// LF as "<LF>", tab as "<TAB>", any other below 0x20 or 0x7F as "<0xHH>".
// Text without control characters comes back as it is.
std::string escapeControls(std::string_view s);

} // namespace text
