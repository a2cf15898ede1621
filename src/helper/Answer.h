#pragma once
// How the helper program answers: each field a line on its standard output,
// written at once, so that the companion has every line written before a
// hang or a crash.
#include "text/Fields.h"

#include <cstdio>
#include <string>

namespace helper {

inline void answer(const std::string& name, const std::string& value)
{
    const std::string line = text::fieldLine(name, value);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

} // namespace helper
