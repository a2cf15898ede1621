#include "text/Text.h"

#include <algorithm>
#include <cstdio>

namespace text {

namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

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
