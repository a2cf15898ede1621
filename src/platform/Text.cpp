#include "platform/Text.h"

#include <windows.h>

namespace platform {

namespace {
std::string upper(std::string s)
{
    if (!s.empty()) CharUpperBuffA(s.data(), DWORD(s.size()));
    return s;
}
} // namespace

bool containsIgnoringCase(const std::string& text, const std::string& part)
{
    return upper(text).find(upper(part)) != std::string::npos;
}

} // namespace platform
