#include "scripts/RegScript.h"

#include "scripts/HostCategories.h"
#include "scripts/ScriptBuilder.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

namespace scripts {

namespace {
constexpr std::string_view kVersionPlaceholder = "#SUPTDVER";
constexpr char kVersionLine[] = "\"SupportedSoftwareVersionGreaterThan\" = \"5.3.2\"";

} // namespace

std::string builtInTemplate()
{
    static constexpr std::array<const char*, 12> lines = {
        "REGEDIT4",
        "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid] ",
        "@=\"#MenuName\"",
        "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid\\Description] ",
        "@=\"#Description\"",
        "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid\\Implemented Categories\\#INVCLSID] ",
        "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid\\Required Categories] ",
        "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid\\Required Categories\\#INVCLSID] ",
        "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid\\Settings] ",
        "\"LoadOnStartUp\"=\"1\"",
        "\"Type\"=\"Standard\"",
        "#SUPTDVER",
    };
    std::string text;
    for (const char* line : lines) {
        if (!text.empty()) text += text::kCrLf;
        text += line;
    }
    return text;
}

std::string replaceAll(const std::string& text, const std::string& from, const std::string& to)
{
    if (from.empty()) return text;
    size_t count = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + from.size())) ++count;
    if (count == 0) return text;
    // A new string of the final size, built in one pass; replacing in place
    // would move the rest of the text once per occurrence.
    std::string result;
    result.reserve(text.size() - count * from.size() + count * to.size());
    size_t copied = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, copied)) {
        result.append(text, copied, at - copied);
        result += to;
        copied = at + from.size();
    }
    result.append(text, copied);
    return result;
}

std::string escapeRegString(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '\\' || c == '"') escaped += '\\';
        // String data cannot hold a line break: one would end the value line
        // and let the rest of the text read as lines of the script. Nor a
        // NUL, where the importer ends the whole script.
        escaped += c == '\r' || c == '\n' || c == '\0' ? ' ' : c;
    }
    return escaped;
}

std::string fillRegTemplate(const std::string& templateText, const ScriptFields& fields)
{
    const bool versionLine = fields.hostR6 && fields.r6Specific;
    const std::string menuName = escapeRegString(fields.menuName);
    const std::string description = escapeRegString(fields.description);
    const std::pair<std::string_view, std::string_view> fills[] = {
        {"#Clsid", fields.clsid},
        {"#MenuName", menuName},
        {"#Description", description},
        {"#INVCLSID", fields.hostR6 ? kR6Category : kOlderCategory},
        {kVersionPlaceholder, versionLine ? std::string_view(kVersionLine) : std::string_view()},
    };
    const std::string_view text = templateText;
    std::string script;
    script.reserve(text.size());
    size_t copied = 0;
    // Every placeholder begins with '#'; the text between is copied as it is.
    for (size_t at = text.find('#'); at != std::string_view::npos; at = text.find('#', at)) {
        const auto* const fill = std::find_if(std::begin(fills), std::end(fills),
                                       [&](const auto& f) { return text.substr(at, f.first.size()) == f.first; });
        if (fill == std::end(fills)) {
            ++at;
            continue;
        }
        size_t end = at + fill->first.size();
        if (fill->first == kVersionPlaceholder && !versionLine) {
            // No version line: the placeholder goes with its line break; a
            // last line without one goes alone, and the break before it
            // stays. Elsewhere it is left as it is.
            if (text.substr(end, 2) == text::kCrLf) end += 2;
            else if (end != text.size()) {
                at = end;
                continue;
            }
        }
        script.append(text, copied, at - copied);
        script.append(fill->second);
        copied = at = end;
    }
    script.append(text, copied);
    return script;
}

std::string unRegScriptOf(const std::string& regScript) { return replaceAll(regScript, "[", "[-"); }

std::string unRegFileNameOf(const std::string& regFileName)
{
    size_t slash = regFileName.find_last_of("\\/");
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return regFileName.substr(0, nameStart) + "UnReg-" + regFileName.substr(nameStart);
}

bool startsLikeRegistryScript(std::string_view firstBytes)
{
    static constexpr std::array<std::string_view, 2> headers = {kRegedit4Header, kVersion5Header};
    for (std::string_view header : headers) {
        if (firstBytes.substr(0, header.size()) == header) return true;
        // UTF-16 with its byte-order mark, either byte order.
        for (bool littleEndian : {true, false}) {
            std::string wide(littleEndian ? text::kUtf16Mark : text::kUtf16BigEndianMark);
            for (char c : header) {
                wide += littleEndian ? c : '\0';
                wide += littleEndian ? '\0' : c;
            }
            if (firstBytes.substr(0, wide.size()) == wide) return true;
        }
    }
    return false;
}

TemplateKind templateKindOf(std::string_view bytes)
{
    if (text::startsWithUtf16Mark(bytes) || bytes.substr(0, text::kUtf16BigEndianMark.size()) == text::kUtf16BigEndianMark)
        return TemplateKind::Utf16;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return TemplateKind::Utf8;
    // Past the byte-order marks, only the ANSI headers are left.
    if (!startsLikeRegistryScript(bytes)) return TemplateKind::NotAScript;
    return bytes.find('\0') == std::string_view::npos ? TemplateKind::AnsiScript : TemplateKind::Binary;
}

} // namespace scripts
