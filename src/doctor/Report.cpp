#include "doctor/Report.h"

#include "text/Text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace doctor {

namespace {

constexpr std::array<std::pair<const char*, const char*>, 15> kLabels{{
    {kPresence, "Presence by view"},
    {kHive, "Hive"},
    {kServer, "Server value"},
    {kMachine, "Machine type"},
    {kExports, "Exports"},
    {kDependencies, "Dependencies"},
    {kLoad, "Load trial"},
    {kThreading, "ThreadingModel"},
    {kDotNet, ".NET class"},
    {kMenu, "Menu name"},
    {kCategories, "Category keys"},
    {kSettings, "Settings"},
    {kTypeLib, "Type library"},
    {kInterfaces, "Interfaces"},
    {kProgId, "ProgID"},
}};

std::string count(size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string heading(const Checklist& list)
{
    const ClassFacts& f = list.facts;
    std::string text = f.clsid;
    if (f.progId) text += " (" + f.progId->name + ")";
    if (f.in64 || f.in32) text += ", read in the " + std::to_string(f.view) + "-bit view";
    return text;
}

} // namespace

const char* itemLabel(const std::string& key)
{
    for (const auto& [name, label] : kLabels)
        if (key == name) return label;
    return "";
}

std::string checklistText(const std::vector<Checklist>& lists)
{
    size_t width = 0;
    for (const auto& entry : kLabels) width = std::max(width, std::strlen(entry.second));

    std::string out;
    for (const Checklist& list : lists) {
        if (!out.empty()) out += text::kCrLf;
        // Values shown in a line keep it one line: control characters escaped.
        out += text::escapeControls(heading(list)) + text::kCrLf;
        size_t warned = 0;
        size_t failed = 0;
        for (const Item& item : list.items) {
            const std::string label = itemLabel(item.key);
            out += "  " + text::upperAscii(statusName(item.status)) + "  " + label +
                   std::string(width - label.size() + 2, ' ') +
                   text::escapeControls(item.reason) + text::kCrLf;
            warned += item.status == Status::Warn;
            failed += item.status == Status::Fail;
        }
        out += "  Result: " + text::upperAscii(statusName(list.result()));
        if (failed || warned)
            out += " (" + count(failed, "failed", "failed") + ", " + count(warned, "warning", "warnings") + ")";
        out += text::kCrLf;
    }
    return out;
}

std::string notFoundText(const std::string& target)
{
    return "No class found for \"" + text::escapeControls(target) + "\" in either registry view or hive." + text::kCrLf;
}

} // namespace doctor
