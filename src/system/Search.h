#pragma once
// The DLL search's test of one row.
#include <string>

namespace browser {

// Whether a row's lookup text matches what was typed: the typed text occurs
// anywhere in it, letters compared without regard to case by the rules of
// the ANSI code page, and the lookup text is not empty.
bool lookupTextMatches(const std::string& lookupText, const std::string& typed);

} // namespace browser
