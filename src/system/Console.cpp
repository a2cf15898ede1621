#include "system/Console.h"

#include "system/Locale.h"
#include "text/Text.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace platform {

namespace {

bool escaped = false;

HANDLE handleOf(Stream stream) { return GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

// The ANSI form of the text, or nothing when some character does not fit.
bool toAnsi(const std::wstring& wide, std::string& ansi)
{
    if (wide.empty()) return true;
    if (text::unpairedSurrogate(text::utf8FromUtf16(std::u16string(wide.begin(), wide.end())))) return false;
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), nullptr, 0,
                                           nullptr, &usedDefault);
    if (usedDefault || length <= 0) return false;
    ansi.resize(size_t(length));
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), ansi.data(), length, nullptr,
                        &usedDefault);
    return !usedDefault;
}

// Each character in turn, as the ANSI code page holds it (`fits`), or as
// "<U+XXXX>" when it cannot. A surrogate pairs only with the one it pairs
// with; an unpaired one is a character no code page holds.
template <typename Fits>
std::string withEscapes(const std::wstring& wide, Fits fits)
{
    std::string out;
    for (size_t i = 0; i < wide.size(); ++i) {
        const bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                          wide[i + 1] <= 0xDFFF;
        const std::wstring one = wide.substr(i, pair ? 2 : 1);
        std::string ansi;
        if (const bool lone = !pair && one[0] >= 0xD800 && one[0] <= 0xDFFF; !lone && toAnsi(one, ansi)) {
            out += fits(one, ansi);
        } else {
            const unsigned long code =
                pair ? 0x10000UL + ((unsigned long)(one[0] - 0xD800) << 10) + (one[1] - 0xDC00) : one[0];
            char text[16];
            std::snprintf(text, sizeof(text), "<U+%04lX>", code);
            out += text;
            escaped = true;
        }
        if (pair) ++i;
    }
    return out;
}

std::string ansiWithEscapes(const std::wstring& wide)
{
    std::string whole;
    if (toAnsi(wide, whole)) return whole;
    return withEscapes(wide, [](const std::wstring&, const std::string& ansi) { return ansi; });
}

bool writeAll(HANDLE handle, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1U << 20));
        if (!WriteFile(handle, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

} // namespace

bool isConsole(Stream stream)
{
    DWORD mode = 0;
    return GetConsoleMode(handleOf(stream), &mode) != 0;
}

bool writeText(Stream stream, const std::string& utf8, Bytes bytes)
{
    if (utf8.empty()) return true;
    const HANDLE handle = handleOf(stream);
    if (isConsole(stream)) {
        const std::wstring wide = wideFrom(utf8, Encoding::Utf8);
        DWORD written = 0;
        return WriteConsoleW(handle, wide.data(), DWORD(wide.size()), &written, nullptr) != 0;
    }
    if (bytes == Bytes::Utf8) return writeAll(handle, utf8);
    return writeAll(handle, ansiWithEscapes(wideFrom(utf8, Encoding::Utf8)));
}

std::string asWrittenToFile(const std::string& utf8)
{
    const std::wstring wide = wideFrom(utf8, Encoding::Utf8);
    std::string whole;
    if (toAnsi(wide, whole)) return utf8;
    const bool wasEscaped = escaped; // measuring writes nothing
    std::string out = withEscapes(wide, [](const std::wstring& one, const std::string&) {
        return text::utf8FromUtf16(std::u16string(one.begin(), one.end()));
    });
    escaped = wasEscaped;
    return out;
}

bool charactersWereEscaped() { return escaped; }

} // namespace platform
