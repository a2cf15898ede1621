#include "writer/RegScript.h"

namespace writer {

namespace {
constexpr char kLineEnd[] = "\r\n";
constexpr char kVersionPlaceholder[] = "#SUPTDVER";
constexpr char kR6Category[] = "{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}";
constexpr char kOlderCategory[] = "{E357129A-DB40-11D2-B783-0060B0F159EF}";
constexpr char kVersionLine[] = "\"SupportedSoftwareVersionGreaterThan\" = \"5.3.2\"";

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}
} // namespace

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    if (from.empty()) return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string fillRegTemplate(const std::string& templateText, const ScriptFields& fields)
{
    std::string text = replaceAll(templateText, "#Clsid", fields.clsid);
    text = replaceAll(std::move(text), "#MenuName", fields.menuName);
    text = replaceAll(std::move(text), "#Description", fields.description);
    text = replaceAll(std::move(text), "#INVCLSID", fields.hostR6 ? kR6Category : kOlderCategory);
    if (fields.hostR6 && fields.r6Specific) return replaceAll(std::move(text), kVersionPlaceholder, kVersionLine);

    // No version line: the placeholder goes with its line break; a last line
    // without one goes alone, and the break before it stays.
    text = replaceAll(std::move(text), std::string(kVersionPlaceholder) + kLineEnd, "");
    if (endsWith(text, kVersionPlaceholder)) text.resize(text.size() - std::char_traits<char>::length(kVersionPlaceholder));
    return text;
}

std::string unRegScriptOf(const std::string& regScript) { return replaceAll(regScript, "[", "[-"); }

std::string unRegFileNameOf(const std::string& regFileName)
{
    size_t slash = regFileName.rfind('\\');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return regFileName.substr(0, nameStart) + "UnReg-" + regFileName.substr(nameStart);
}

} // namespace writer
