#include "system/Locale.h"

#include "text/Text.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

UINT codePageOf(Encoding encoding) { return encoding == Encoding::Utf8 ? CP_UTF8 : CP_ACP; }

std::string fromWide(const wchar_t* units, int count, UINT codePage)
{
    if (count <= 0) return {};
    const int length = WideCharToMultiByte(codePage, 0, units, count, nullptr, 0, nullptr, nullptr);
    std::string result(size_t(length), '\0');
    WideCharToMultiByte(codePage, 0, units, count, result.data(), length, nullptr, nullptr);
    return result;
}

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
    if (text.empty()) return {};
    if (encoding == Encoding::Utf8) {
        // The one rule, which keeps an unpaired surrogate of a name as it is.
        const std::u16string wide = text::utf16FromUtf8(text);
        return {wide.begin(), wide.end()};
    }
    const UINT codePage = codePageOf(encoding);
    const int length = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring result(size_t(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), result.data(), length);
    return result;
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

std::string ansiFromUtf8(const std::string& text)
{
    const std::wstring wide = wideFrom(text, Encoding::Utf8);
    return fromWide(wide.data(), int(wide.size()), CP_ACP);
}

std::string ansiFromUtf16(const std::u16string& text)
{
    return fromWide(reinterpret_cast<const wchar_t*>(text.data()), int(text.size()), CP_ACP);
}

std::string ansiToUtf8(const std::string& text)
{
    const std::wstring wide = wideFrom(text, Encoding::Ansi);
    return fromWide(wide.data(), int(wide.size()), CP_UTF8);
}

} // namespace platform
