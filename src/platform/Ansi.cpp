#include "platform/Ansi.h"

#include "platform/Wide.h"
#include "text/Utf.h"

#include <windows.h>

namespace platform {

std::wstring wideFromAnsi(std::string_view ansi)
{
    if (ansi.empty()) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
    std::wstring result(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), result.data(), length);
    return result;
}

std::string ansiFromWide(std::wstring_view wide)
{
    if (wide.empty()) return {};
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size_t(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), result.data(), length, nullptr, nullptr);
    return result;
}

std::optional<std::string> exactAnsiFromWide(std::wstring_view wide)
{
    if (wide.empty()) return std::string();
    if (text::unpairedSurrogate(std::u16string(wide.begin(), wide.end()))) return std::nullopt;
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), nullptr, 0,
                                           nullptr, &usedDefault);
    if (usedDefault || length <= 0) return std::nullopt;
    std::string ansi(size_t(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), ansi.data(), length, nullptr,
                        &usedDefault);
    if (usedDefault) return std::nullopt;
    return ansi;
}

std::string ansiFromUtf8(std::string_view text) { return ansiFromWide(wideOf(text)); }

std::string ansiFromUtf16(std::u16string_view text) { return ansiFromWide(std::wstring(text.begin(), text.end())); }

std::string ansiToUtf8(std::string_view text) { return utf8Of(wideFromAnsi(text)); }

} // namespace platform
