#pragma once
// Text by the rules of the system: comparison by the user's locale, of text
// in UTF-8 or in the ANSI code page. The windows hold text in the ANSI code
// page (platform/Ansi.h converts it); the command line and the rules hold UTF-8.
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

// UTF-8 or ANSI text as UTF-16.
std::wstring wideFrom(const std::string& text, Encoding encoding);

} // namespace platform
