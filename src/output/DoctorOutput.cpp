#include "output/DoctorOutput.h"

#include "output/Output.h"

#include "text/Text.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace output {

namespace {

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

// "delete", or "kept: holds LocalServer32"; a kept ProgID is named with its reason.
std::string cleanupText(const doctor::StaleClass& c)
{
    std::string text = c.kept.empty() ? std::string("delete") : "kept: " + c.kept;
    for (const doctor::StaleProgId& p : c.progIds)
        if (!p.kept.empty()) text += "; " + p.name + " kept: " + p.kept;
    return text::escapeControls(text);
}

// "type library" for a library's version, "interface" for an Interface key.
std::string kindText(const doctor::StaleEntry& e)
{
    return e.kind == doctor::StaleEntry::Kind::Interface ? "interface" : "type library";
}

} // namespace

std::string checklistJson(const std::vector<doctor::Checklist>& lists)
{
    Json array = Json::array();
    for (const doctor::Checklist& list : lists) {
        const doctor::ClassFacts& f = list.facts;
        const doctor::ServerFacts& s = f.server;
        Json object;
        object["target"] = list.target;
        object["clsid"] = f.clsid;
        object["progId"] = f.progId ? f.progId->name : "";
        object["view"] = f.view;
        object["result"] = doctor::statusName(list.result());
        object["server"] = {
            {"type", s.value.present ? s.value.typeName : ""},
            {"value", s.value.text},
            {"expanded", s.loaded.expanded},
            {"quoted", s.loaded.quoted},
            {"file", s.loaded.file.empty() ? s.loaded.path : s.loaded.file},
            {"exists", s.loaded.found()},
            {"machine", s.image ? doctor::machineName(*s.image) : ""},
        };
        Json checks = Json::object();
        for (const doctor::Item& item : list.items)
            checks[item.key] = {{"status", doctor::statusName(item.status)}, {"reason", item.reason}};
        object["checks"] = std::move(checks);
        array.push_back(std::move(object));
    }
    return jsonText(array) + text::kCrLf;
}

std::string staleText(const std::vector<doctor::StaleClass>& classes, const std::vector<doctor::StaleEntry>& entries)
{
    std::string out;
    if (classes.empty()) {
        out = std::string("No stale classes.") + text::kCrLf;
    } else {
        // The server goes last: it is the long one.
        std::vector<std::vector<std::string>> cells{{"View", "Hive", "CLSID", "ProgIDs", "Cleanup", "Server"}};
        for (const doctor::StaleClass& c : classes)
            cells.push_back({viewsText(c.views), c.perUser ? "user" : "machine", text::escapeControls(c.clsid),
                             text::escapeControls(progIdNames(c)), cleanupText(c), text::escapeControls(c.server)});
        out = alignedColumns(cells);
    }
    if (entries.empty()) return out;
    std::vector<std::vector<std::string>> cells{{"View", "Hive", "Kind", "Key", "Cleanup", "Why"}};
    for (const doctor::StaleEntry& e : entries)
        cells.push_back({viewsText(e.views), e.hive == classes::Hive::UserClasses ? "user" : "machine",
                         kindText(e), text::escapeControls(e.key),
                         text::escapeControls(e.kept.empty() ? std::string("delete") : "kept: " + e.kept),
                         text::escapeControls(e.detail)});
    return out + text::kCrLf + alignedColumns(cells);
}

std::string staleJson(const std::vector<doctor::StaleClass>& classes, const std::vector<doctor::StaleEntry>& entries)
{
    Json array = Json::array();
    for (const doctor::StaleClass& c : classes) {
        Json progIds = Json::array();
        for (const doctor::StaleProgId& p : c.progIds)
            progIds.push_back({{"name", p.name}, {"key", p.key}, {"cleanup", p.kept.empty() ? "delete" : "kept: " + p.kept}});
        Json object;
        object["clsid"] = c.clsid;
        object["views"] = c.views;
        object["hive"] = c.perUser ? "user" : "machine";
        object["key"] = c.key;
        object["server"] = c.server;
        object["file"] = c.file;
        object["progIds"] = std::move(progIds);
        object["cleanup"] = c.kept.empty() ? "delete" : "kept: " + c.kept;
        array.push_back(std::move(object));
    }
    for (const doctor::StaleEntry& e : entries) {
        Json object;
        object["kind"] = e.kind == doctor::StaleEntry::Kind::Interface ? "interface" : "typeLib";
        object["name"] = e.name;
        object["views"] = e.views;
        object["hive"] = e.hive == classes::Hive::UserClasses ? "user" : "machine";
        object["key"] = e.key;
        object["detail"] = e.detail;
        object["cleanup"] = e.kept.empty() ? "delete" : "kept: " + e.kept;
        array.push_back(std::move(object));
    }
    return jsonText(array) + text::kCrLf;
}

namespace {

const char* hiveText(classes::Hive hive) { return hive == classes::Hive::UserClasses ? "user" : "machine"; }

// The worst item's key and reason; nothing for a class that passes.
std::pair<std::string, std::string> whyOf(const doctor::Checklist& list)
{
    const doctor::Item* worst = doctor::worstItem(list);
    if (!worst || worst->status == doctor::Status::Pass) return {};
    return {worst->key, worst->reason};
}

} // namespace

std::string addInsOutput(const std::vector<doctor::AddInRow>& rows, Format format)
{
    if (format == Format::Json) {
        Json array = Json::array();
        for (const doctor::AddInRow& row : rows) {
            const auto [item, reason] = whyOf(row.checklist);
            Json object;
            object["view"] = row.view;
            object["hive"] = hiveText(row.hive);
            object["clsid"] = row.clsid;
            object["menuName"] = row.menuName;
            object["progId"] = row.progId;
            object["server"] = row.server;
            object["loadOnStartUp"] = row.loadOnStartUp;
            object["result"] = doctor::statusName(row.checklist.result());
            object["worstItem"] = item.empty() ? Json() : Json{{"item", item}, {"reason", reason}};
            array.push_back(std::move(object));
        }
        return jsonText(array) + text::kCrLf;
    }
    if (format == Format::Csv) {
        std::string out =
            csvLine({"view", "hive", "clsid", "menuName", "progId", "server", "loadOnStartUp", "result", "worstItem", "reason"});
        for (const doctor::AddInRow& row : rows) {
            const auto [item, reason] = whyOf(row.checklist);
            out += csvLine({std::to_string(row.view), hiveText(row.hive), row.clsid, row.menuName, row.progId, row.server,
                            row.loadOnStartUp, doctor::statusName(row.checklist.result()), item, reason});
        }
        return out;
    }
    if (rows.empty()) return std::string("No add-ins are registered in the host's category.") + text::kCrLf;
    // The reason goes last: it is the long one.
    std::vector<std::vector<std::string>> cells{
        {"View", "Hive", "Result", "Menu name", "ProgID", "LoadOnStartUp", "Server", "Worst item"}};
    for (const doctor::AddInRow& row : rows) {
        const auto [item, reason] = whyOf(row.checklist);
        cells.push_back({std::to_string(row.view), hiveText(row.hive),
                         text::upperAscii(doctor::statusName(row.checklist.result())),
                         text::escapeControls(row.menuName), text::escapeControls(row.progId), row.loadOnStartUp,
                         text::escapeControls(row.server),
                         item.empty() ? "" : item + ": " + text::escapeControls(reason)});
    }
    return alignedColumns(cells);
}

} // namespace output
