#pragma once
// Text by the rules of the system: comparison by the user's locale and the
// conversions between UTF-8 and the ANSI code page. The windows hold text in
// the ANSI code page; the command line and the rules hold UTF-8.
#include <string>
#include <vector>

namespace platform {

enum class Encoding { Ansi, Utf8 };

// Whether `part` occurs anywhere in `text`, letters compared without regard
// to case.
bool containsIgnoringCase(const std::string& text, const std::string& part, Encoding encoding = Encoding::Ansi);

// The DLL search's test of one row: the typed text occurs anywhere in the
// row's lookup text, letters without regard to case, and the lookup text is
// not empty.
bool lookupTextMatches(const std::string& lookupText, const std::string& typed, Encoding encoding = Encoding::Ansi);

// The indices of the texts in the order a sorted list box shows them (by the
// user's locale, letters without regard to case); texts that compare equal
// keep their given order.
std::vector<size_t> listOrder(const std::vector<std::string>& texts, Encoding encoding = Encoding::Ansi);
// The same order for texts in UTF-16 already.
std::vector<size_t> listOrder(const std::vector<std::wstring>& texts);

// The text, from UTF-8 to the ANSI code page (what the code page lacks
// becomes its closest character).
std::string ansiFromUtf8(const std::string& text);

// UTF-16 to the ANSI code page, every unit converted (NULs included).
std::string ansiFromUtf16(const std::u16string& text);

// The text, from the ANSI code page to UTF-8.
std::string ansiToUtf8(const std::string& text);

// UTF-8 or ANSI text as UTF-16.
std::wstring wideFrom(const std::string& text, Encoding encoding);

} // namespace platform
