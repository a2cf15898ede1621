#include "platform/Locale.h"

#include "platform/Ansi.h"
#include "platform/Wide.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

std::wstring upperWide(std::wstring s)
{
    if (!s.empty()) CharUpperBuffW(s.data(), DWORD(s.size()));
    return s;
}

std::string upperAnsi(std::string s)
{
    if (!s.empty()) CharUpperBuffA(s.data(), DWORD(s.size()));
    return s;
}

// The list box's own comparison (LB_ADDSTRING on a sorted list).
int compareWide(const std::wstring& a, const std::wstring& b)
{
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) - CSTR_EQUAL;
}

} // namespace

std::wstring wideFrom(const std::string& text, Encoding encoding)
{
    return encoding == Encoding::Utf8 ? wideOf(text) : wideFromAnsi(text);
}

bool containsIgnoringCase(const std::string& text, const std::string& part, Encoding encoding)
{
    if (encoding == Encoding::Ansi) return upperAnsi(text).find(upperAnsi(part)) != std::string::npos;
    return upperWide(wideFrom(text, encoding)).find(upperWide(wideFrom(part, encoding))) != std::wstring::npos;
}

bool lookupTextMatches(const std::string& lookupText, const std::string& typed, Encoding encoding)
{
    return !lookupText.empty() && containsIgnoringCase(lookupText, typed, encoding);
}

std::vector<size_t> listOrder(const std::vector<std::string>& texts, Encoding encoding)
{
    // Each text is converted once, not at every comparison.
    std::vector<std::wstring> keys;
    keys.reserve(texts.size());
    for (const std::string& text : texts) keys.push_back(wideFrom(text, encoding));
    return listOrder(keys);
}

std::vector<size_t> listOrder(const std::vector<std::wstring>& texts)
{
    std::vector<size_t> order(texts.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t x, size_t y) { return compareWide(texts[x], texts[y]) < 0; });
    return order;
}

} // namespace platform
