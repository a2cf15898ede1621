#include "text/Text.h"

#include <algorithm>
#include <cstdio>

namespace text {

namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The code point at s[i], advancing i; kReplacement for a bad sequence
// (which then advances one byte).
char32_t nextCodePoint(std::string_view s, size_t& i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    size_t length = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) { length = 2; cp = lead & 0x1F; least = 0x80; }
    else if ((lead & 0xF0) == 0xE0) { length = 3; cp = lead & 0x0F; least = 0x800; }
    else if ((lead & 0xF8) == 0xF0) { length = 4; cp = lead & 0x07; least = 0x10000; }
    if (length == 0 || i + length > s.size()) {
        ++i;
        return kReplacement;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    // A surrogate in three bytes is an unpaired one kept (see utf8FromUtf16).
    if (cp < least || cp > 0x10FFFF) {
        ++i;
        return kReplacement;
    }
    i += length;
    return cp;
}

} // namespace

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string upperAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = upperAscii(c);
    return out;
}

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

bool endsWithIgnoringCase(std::string_view s, std::string_view end)
{
    return s.size() >= end.size() && equalIgnoringCase(s.substr(s.size() - end.size()), end);
}

bool isBracedGuid(std::string_view s)
{
    static constexpr std::string_view shape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (s.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == 'x' ? hexDigitValue(s[i]) < 0 : s[i] != shape[i]) return false;
    return true;
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string_view untilNul(std::string_view s) { return s.substr(0, s.find('\0')); }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimLeadingBlanks(std::string_view s)
{
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::string_view trimBlanks(std::string_view s)
{
    s = trimLeadingBlanks(s);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view fileNameOf(std::string_view path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view folderOf(std::string_view path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

std::string below(std::string_view parent, std::string_view name)
{
    std::string path;
    path.reserve(parent.size() + 1 + name.size());
    path.append(parent);
    if (!parent.empty()) path += '\\';
    path.append(name);
    return path;
}

bool samePathSpelling(std::string_view a, std::string_view b)
{
    const auto fold = [](std::string_view path) {
        std::string out;
        out.reserve(path.size());
        for (char c : path) {
            const char folded = isSeparator(c) ? '\\' : lowerAscii(c);
            // A doubled separator counts once, but not the two of a UNC name's start.
            if (folded == '\\' && out.size() > 1 && out.back() == '\\') continue;
            out += folded;
        }
        return out;
    };
    return fold(a) == fold(b);
}

std::u16string utf16FromUtf8(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const char32_t cp = nextCodePoint(s, i);
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string utf8FromUtf16(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        appendUtf8(out, cp); // an unpaired surrogate in three bytes, as WTF-8 keeps it
    }
    return out;
}

std::optional<char16_t> unpairedSurrogate(std::string_view utf8)
{
    for (size_t i = 0; i + 2 < utf8.size(); ++i)
        if (static_cast<unsigned char>(utf8[i]) == 0xED && (static_cast<unsigned char>(utf8[i + 1]) & 0xE0) == 0xA0 &&
            (static_cast<unsigned char>(utf8[i + 2]) & 0xC0) == 0x80)
            return static_cast<char16_t>(0xD000 | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F));
    return std::nullopt;
}

size_t characterCount(std::string_view utf8)
{
    return size_t(std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::u16string utf16Units(std::string_view bytes)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return units;
}

std::string utf8FromUtf16Bytes(std::string_view bytes)
{
    const std::u16string units = utf16Units(bytes);
    return utf8FromUtf16(std::u16string_view(units).substr(0, units.find(u'\0')));
}

std::string utf16Bytes(std::u16string_view units)
{
    std::string bytes;
    bytes.reserve(2 * units.size() + 2);
    for (char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string utf16BytesFromUtf8(std::string_view s) { return utf16Bytes(utf16FromUtf8(s)) + std::string(2, '\0'); }

std::string escapeControls(std::string_view s)
{
    const auto isControl = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
    if (std::none_of(s.begin(), s.end(), isControl)) return std::string(s);
    std::string out;
    for (char c : s) {
        if (!isControl(c)) {
            out += c;
        } else if (c == '\r') {
            out += "<CR>";
        } else if (c == '\n') {
            out += "<LF>";
        } else if (c == '\t') {
            out += "<TAB>";
        } else {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "<0x%02X>", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += hex;
        }
    }
    return out;
}

} // namespace text
