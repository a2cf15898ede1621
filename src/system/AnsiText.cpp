#include "system/AnsiText.h"

#include <windows.h>

#include <algorithm>

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

namespace {
std::wstring wide(const std::string& text)
{
    if (text.empty()) return {};
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring result(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), result.data(), length);
    return result;
}

// The list box's own comparison (LB_ADDSTRING on a sorted list).
int compareWide(const std::wstring& a, const std::wstring& b)
{
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) - CSTR_EQUAL;
}
} // namespace

std::vector<size_t> listOrder(const std::vector<std::string>& texts)
{
    // Each text is converted once, not at every comparison.
    std::vector<std::wstring> keys;
    keys.reserve(texts.size());
    for (const std::string& text : texts) keys.push_back(wide(text));
    std::vector<size_t> order(texts.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return compareWide(keys[x], keys[y]) < 0; });
    return order;
}

std::string ansiFromUtf8(const std::string& text)
{
    if (text.empty()) return {};
    int wideLength = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring utf16(size_t(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), utf16.data(), wideLength);
    int length = WideCharToMultiByte(CP_ACP, 0, utf16.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string result(size_t(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, utf16.data(), wideLength, result.data(), length, nullptr, nullptr);
    return result;
}

std::string ansiToUtf8(const std::string& text)
{
    std::wstring utf16 = wide(text);
    if (utf16.empty()) return {};
    int length = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), int(utf16.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), int(utf16.size()), result.data(), length, nullptr, nullptr);
    return result;
}

} // namespace platform
