#include "text/Utf.h"

#include <algorithm>

namespace text {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

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

void appendUtf16(std::u16string& out, char32_t cp)
{
    if (cp >= 0x10000) {
        out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
        out += static_cast<char16_t>(cp);
    }
}

// The code point at s[i], advancing i; nothing for a bad sequence (which
// then advances one byte). A surrogate in three bytes is an unpaired one
// kept (see utf8FromUtf16).
std::optional<char32_t> nextCodePoint(std::string_view s, size_t& i)
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
        return std::nullopt;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return std::nullopt;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF) {
        ++i;
        return std::nullopt;
    }
    i += length;
    return cp;
}

} // namespace

std::u16string utf16FromUtf8(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) appendUtf16(out, nextCodePoint(s, i).value_or(kReplacement));
    return out;
}

std::optional<std::u16string> exactUtf16FromUtf8(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const std::optional<char32_t> cp = nextCodePoint(s, i);
        if (!cp || isSurrogate(*cp)) return std::nullopt;
        appendUtf16(out, *cp);
    }
    return out;
}

bool isSurrogate(char32_t codePoint) { return codePoint >= 0xD800 && codePoint <= 0xDFFF; }

Utf16Character utf16CharacterAt(std::u16string_view s, size_t at)
{
    const char32_t unit = s[at];
    if (isHighSurrogate(unit) && at + 1 < s.size() && isLowSurrogate(s[at + 1]))
        return {0x10000 + ((unit - 0xD800) << 10) + (s[at + 1] - 0xDC00), 2};
    return {unit, 1};
}

std::string utf8FromUtf16(std::u16string_view s, LoneSurrogate lone)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const Utf16Character c = utf16CharacterAt(s, i);
        appendUtf8(out, lone == LoneSurrogate::Replace && isSurrogate(c.codePoint) ? kReplacement : c.codePoint);
        i += c.units;
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

std::optional<char16_t> unpairedSurrogate(std::u16string_view utf16)
{
    for (size_t i = 0; i < utf16.size();) {
        const Utf16Character c = utf16CharacterAt(utf16, i);
        if (isSurrogate(c.codePoint)) return static_cast<char16_t>(c.codePoint);
        i += c.units;
    }
    return std::nullopt;
}

size_t characterCount(std::string_view utf8)
{
    return size_t(std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool startsWithUtf16Mark(std::string_view bytes) { return bytes.substr(0, kUtf16Mark.size()) == kUtf16Mark; }

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

} // namespace text
