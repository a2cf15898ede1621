#pragma once
// Text comparison by the rules of the system's ANSI code page.
#include <string>

namespace platform {

// Whether `part` occurs anywhere in `text`, letters compared without regard
// to case.
bool containsIgnoringCase(const std::string& text, const std::string& part);

} // namespace platform
