#include "scripts/ValueLines.h"

#include "scripts/RegScript.h"

#include "text/Text.h"
#include "text/Utf.h"

#include <algorithm>
#include <cstdio>

namespace scripts {

namespace {

std::string hexByte(unsigned char byte)
{
    char text[4];
    std::snprintf(text, sizeof(text), "%02x", static_cast<unsigned>(byte));
    return text;
}

bool hasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

// A REG_SZ that a quoted line gives back byte for byte.
bool textRoundTrips(const classes::Value& value)
{
    const std::string text = value.leadingText();
    return text::utf16BytesFromUtf8(text) == std::string(value.data.begin(), value.data.end()) && !hasLineBreak(text);
}

} // namespace

std::optional<std::string> valueLine(const classes::NamedValue& v)
{
    if (hasLineBreak(v.name) || v.name.find('\0') != std::string::npos) return std::nullopt;
    std::string line = valueNameField(v.name) + "=";
    const std::string bytes(v.value.data.begin(), v.value.data.end());
    if (v.value.type == classes::ValueType::String && textRoundTrips(v.value))
        return line + '"' + escapeRegString(v.value.leadingText()) + '"';
    if (v.value.type == classes::ValueType::Dword && bytes.size() == 4) {
        const std::uint32_t number = *v.value.dword();
        char text[16];
        std::snprintf(text, sizeof(text), "dword:%08x", static_cast<unsigned>(number));
        return line + text;
    }
    // The type's number in hex, as the importer reads it: REG_QWORD is hex(b).
    char type[24];
    std::snprintf(type, sizeof(type), "hex(%lx):", static_cast<unsigned long>(v.value.type));
    line += v.value.type == classes::ValueType::Binary ? std::string("hex:") : std::string(type);
    // Wrapped as exports wrap them: a comma and "\" end each full line.
    size_t width = line.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        line += hexByte(static_cast<unsigned char>(bytes[i]));
        width += 2;
        if (i + 1 < bytes.size()) {
            line += ',';
            ++width;
            if (width >= 76) {
                line += "\\";
                line += text::kCrLf;
                line += "  ";
                width = 2;
            }
        }
    }
    return line;
}

std::string valueNameField(const std::string& name) { return name.empty() ? std::string("@") : '"' + escapeRegString(name) + '"'; }

bool fitsRegedit4(const classes::NamedValue& v)
{
    if (!isAscii(v.name)) return false;
    if (v.value.type == classes::ValueType::String) return textRoundTrips(v.value) && isAscii(v.value.leadingText());
    return !classes::holdsStrings(v.value.type);
}

bool fitsKeyLine(const std::string& key)
{
    return !key.empty() && key.find_first_of(std::string("\r\n]\0", 4)) == std::string::npos && key.back() != ' ' &&
           key.back() != '\t';
}

bool isAscii(std::string_view text)
{
    return std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace scripts
