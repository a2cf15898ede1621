#pragma once
// How the helper program answers: each field a line on its standard output,
// written at once, so that the companion has every line written before a
// hang or a crash.
#include "text/Fields.h"
#include "text/Text.h"

#include <cstdio>
#include <string>

namespace helper {

inline void answer(const std::string& name, const std::string& value)
{
    const std::string line = text::fieldLine(name, value);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

// A wide name or path as UTF-8, the answer's text.
inline std::string utf8Of(const std::wstring& wide)
{
    return text::utf8FromUtf16(std::u16string(wide.begin(), wide.end()));
}

} // namespace helper
