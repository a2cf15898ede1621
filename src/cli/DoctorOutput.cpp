#include "cli/DoctorOutput.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>

namespace cli {

namespace {

constexpr char kLineEnd[] = "\r\n";
using Json = nlohmann::ordered_json; // the fields keep the documented order

std::string viewsText(const std::vector<int>& views)
{
    return views.size() > 1 ? "both" : views.empty() ? "" : std::to_string(views.front());
}

std::string progIdNames(const doctor::StaleClass& c)
{
    std::string names;
    for (const doctor::StaleProgId& p : c.progIds) names += (names.empty() ? "" : ", ") + p.name;
    return names;
}

} // namespace

std::string checklistJson(const std::vector<doctor::Checklist>& lists, const Utf8Converter& toUtf8)
{
    Json array = Json::array();
    for (const doctor::Checklist& list : lists) {
        const doctor::ClassFacts& f = list.facts;
        const doctor::ServerFacts& s = f.server;
        Json object;
        object["target"] = toUtf8(list.target);
        object["clsid"] = toUtf8(f.clsid);
        object["progId"] = toUtf8(f.progId ? f.progId->name : "");
        object["view"] = f.view;
        object["result"] = doctor::statusName(list.result());
        object["server"] = {
            {"type", s.value.present ? s.value.typeName : ""},
            {"value", toUtf8(s.value.text)},
            {"expanded", toUtf8(s.expanded)},
            {"quoted", s.quoted},
            {"file", toUtf8(s.file)},
            {"exists", s.exists},
            {"machine", s.image ? doctor::machineName(*s.image) : ""},
        };
        Json checks = Json::object();
        for (const doctor::Item& item : list.items)
            checks[item.key] = {{"status", doctor::statusName(item.status)}, {"reason", toUtf8(item.reason)}};
        object["checks"] = std::move(checks);
        array.push_back(std::move(object));
    }
    return array.dump(2, ' ', false) + kLineEnd;
}

std::string staleText(const std::vector<doctor::StaleClass>& classes)
{
    if (classes.empty()) return std::string("No stale classes.") + kLineEnd;
    // The server goes last: it is the long one.
    std::vector<std::array<std::string, 5>> cells{{"View", "Hive", "CLSID", "ProgIDs", "Server"}};
    for (const doctor::StaleClass& c : classes)
        cells.push_back({viewsText(c.views), c.perUser ? "user" : "machine", c.clsid, progIdNames(c), c.server});
    std::array<size_t, 5> width{};
    for (const auto& line : cells)
        for (size_t i = 0; i < line.size(); ++i) width[i] = std::max(width[i], line[i].size());
    std::string out;
    for (const auto& line : cells) {
        std::string text;
        for (size_t i = 0; i < line.size(); ++i)
            text += i + 1 < line.size() ? line[i] + std::string(width[i] - line[i].size() + 2, ' ') : line[i];
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out += text + kLineEnd;
    }
    return out;
}

std::string staleJson(const std::vector<doctor::StaleClass>& classes, const Utf8Converter& toUtf8)
{
    Json array = Json::array();
    for (const doctor::StaleClass& c : classes) {
        Json progIds = Json::array();
        for (const doctor::StaleProgId& p : c.progIds)
            progIds.push_back({{"name", toUtf8(p.name)}, {"key", toUtf8(p.key)}});
        Json object;
        object["clsid"] = toUtf8(c.clsid);
        object["views"] = c.views;
        object["hive"] = c.perUser ? "user" : "machine";
        object["key"] = toUtf8(c.key);
        object["server"] = toUtf8(c.server);
        object["file"] = toUtf8(c.file);
        object["progIds"] = std::move(progIds);
        array.push_back(std::move(object));
    }
    return array.dump(2, ' ', false) + kLineEnd;
}

} // namespace cli
