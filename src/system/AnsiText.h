#pragma once
// Text comparison by the rules of the system's ANSI code page.
#include <string>
#include <vector>

namespace platform {

// Whether `part` occurs anywhere in `text`, letters compared without regard
// to case.
bool containsIgnoringCase(const std::string& text, const std::string& part);

// The indices of the texts in the order a sorted list box shows them (by the
// user's locale, letters without regard to case); texts that compare equal
// keep their given order.
std::vector<size_t> listOrder(const std::vector<std::string>& texts);

// The text, from UTF-8 to the ANSI code page (what the code page lacks
// becomes its closest character).
std::string ansiFromUtf8(const std::string& text);

// The text, from the ANSI code page to UTF-8.
std::string ansiToUtf8(const std::string& text);

} // namespace platform
