#include "platform/Console.h"

#include "platform/Ansi.h"
#include "platform/Wide.h"
#include "text/Utf.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace platform {

namespace {

bool escaped = false;

HANDLE handleOf(Stream stream) { return GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

// Each character in turn, as the ANSI code page holds it (`fits`), or as
// "<U+XXXX>" when it cannot. A surrogate pairs only with the one it pairs
// with; an unpaired one is a character no code page holds.
template <typename Fits>
std::string withEscapes(const std::wstring& wide, Fits fits)
{
    const std::u16string units(wide.begin(), wide.end());
    std::string out;
    for (size_t i = 0; i < units.size();) {
        const text::Utf16Character c = text::utf16CharacterAt(units, i);
        const std::wstring one = wide.substr(i, c.units);
        const std::optional<std::string> ansi =
            text::isSurrogate(c.codePoint) ? std::nullopt : exactAnsiFromWide(one);
        if (ansi) {
            out += fits(one, *ansi);
        } else {
            char code[16];
            std::snprintf(code, sizeof(code), "<U+%04lX>", static_cast<unsigned long>(c.codePoint));
            out += code;
            escaped = true;
        }
        i += c.units;
    }
    return out;
}

std::string ansiWithEscapes(const std::wstring& wide)
{
    if (std::optional<std::string> whole = exactAnsiFromWide(wide)) return *whole;
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
        const std::wstring wide = wideOf(utf8);
        DWORD written = 0;
        return WriteConsoleW(handle, wide.data(), DWORD(wide.size()), &written, nullptr) != 0;
    }
    if (bytes == Bytes::Utf8) return writeAll(handle, utf8);
    return writeAll(handle, ansiWithEscapes(wideOf(utf8)));
}

std::string asWrittenToFile(const std::string& utf8)
{
    const std::wstring wide = wideOf(utf8);
    if (exactAnsiFromWide(wide)) return utf8;
    const bool wasEscaped = escaped; // measuring writes nothing
    std::string out = withEscapes(wide, [](const std::wstring& one, const std::string&) { return utf8Of(one); });
    escaped = wasEscaped;
    return out;
}

bool charactersWereEscaped() { return escaped; }

} // namespace platform
