#include "output/Output.h"

#include "classes/ServerRule.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string_view>

namespace output {

namespace {

struct Column {
    const char* heading; // text
    const char* field;   // CSV and JSON
};
constexpr Column kView{"View", "view"};
constexpr Column kProgId{"ProgID", "progId"};
constexpr Column kClsid{"CLSID", "clsid"};
constexpr Column kServer{"Server", "server"};
constexpr Column kExists{"Exists", "serverExists"};
constexpr Column kKind{"Kind", "serverKind"};

std::string viewText(const ClassRow& row) { return std::to_string(row.view); }

// The key the server value was read from; "" when there is none.
std::string kindText(const ClassRow& row)
{
    if (!classes::hasServer(row.server)) return "";
    return row.localServer ? "LocalServer32" : "InProcServer32";
}

std::string textTable(const std::vector<ClassRow>& rows, bool withView, const ShownText& shown)
{
    const auto cell = [&](const std::string& value) {
        std::string escaped = text::escapeControls(value);
        return shown ? shown(escaped) : escaped;
    };
    // The server goes last: it is the long one, and a last column needs no padding.
    std::vector<std::vector<std::string>> cells;
    cells.push_back({kView.heading, kProgId.heading, kClsid.heading, kExists.heading, kKind.heading, kServer.heading});
    for (const ClassRow& row : rows)
        cells.push_back({viewText(row), cell(row.progId), cell(row.clsid),
                         classes::hasServer(row.server) ? (row.serverExists ? "yes" : "no") : "", kindText(row),
                         cell(row.server)});
    if (!withView)
        for (auto& line : cells) line.erase(line.begin());
    return alignedColumns(cells);
}

std::string csvTable(const std::vector<ClassRow>& rows, bool withView)
{
    auto line = [&](std::vector<std::string> fields) {
        if (!withView) fields.erase(fields.begin());
        return csvLine(fields);
    };
    std::string out = line({kView.field, kProgId.field, kClsid.field, kServer.field, kExists.field, kKind.field});
    for (const ClassRow& row : rows)
        out += line({viewText(row), row.progId, row.clsid, row.server, row.serverExists ? "true" : "false",
                     kindText(row)});
    return out;
}

std::string jsonArray(const std::vector<ClassRow>& rows)
{
    // ordered_json: the fields keep the documented order.
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const ClassRow& row : rows) {
        nlohmann::ordered_json object;
        object[kView.field] = row.view;
        object[kProgId.field] = row.progId;
        object[kClsid.field] = row.clsid;
        object[kServer.field] = row.server;
        object[kExists.field] = row.serverExists;
        object[kKind.field] = kindText(row);
        array.push_back(std::move(object));
    }
    return jsonText(array) + text::kCrLf;
}

// Marks each unpaired surrogate (three bytes ED A0..BF xx) as U+FDD0 and its
// four hex digits, and each U+FDD0 as itself and "FDD0", so that the marks
// pass the JSON writer and are told apart after it.
constexpr std::string_view kMark = "\xEF\xB7\x90"; // U+FDD0, a noncharacter
void markSurrogates(nlohmann::ordered_json& value)
{
    if (value.is_structured()) {
        for (auto& item : value) markSurrogates(item);
        return;
    }
    if (!value.is_string()) return;
    const auto& s = value.get_ref<const std::string&>();
    if (s.find('\xED') == std::string::npos && s.find(kMark) == std::string::npos) return;
    std::string marked;
    for (size_t i = 0; i < s.size(); ++i) {
        const std::string_view rest = std::string_view(s).substr(i);
        std::optional<char16_t> unit;
        if (rest.size() >= 3) unit = text::unpairedSurrogate(rest.substr(0, 3));
        if (unit || rest.substr(0, 3) == kMark) {
            char digits[8];
            std::snprintf(digits, sizeof(digits), "%04X", unit ? unsigned(*unit) : 0xFDD0U);
            marked += std::string(kMark) + digits;
            i += 2;
        } else {
            marked += s[i];
        }
    }
    value = marked;
}

} // namespace

std::string jsonText(const nlohmann::ordered_json& value)
{
    nlohmann::ordered_json marked = value;
    markSurrogates(marked);
    const std::string dumped = marked.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string out;
    for (size_t i = 0; i < dumped.size(); ++i) {
        if (dumped.compare(i, kMark.size(), kMark) != 0 || i + kMark.size() + 4 > dumped.size()) {
            out += dumped[i];
            continue;
        }
        const std::string digits = dumped.substr(i + kMark.size(), 4);
        if (digits == "FDD0") {
            out += kMark;
        } else {
            out += "\\u";
            for (char c : digits) out += (c >= 'A' && c <= 'F') ? char(c - 'A' + 'a') : c;
        }
        i += kMark.size() + 3;
    }
    return out;
}

std::string alignedColumns(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<size_t> width;
    for (const auto& row : rows) {
        if (width.size() < row.size()) width.resize(row.size());
        for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], text::characterCount(row[c]));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) line += std::string(width[c] - text::characterCount(row[c]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + text::kCrLf;
    }
    return out;
}

std::string csvLine(const std::vector<std::string>& fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) line += ',';
        line += csvField(fields[i]);
    }
    return line + text::kCrLf;
}

std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string formatRows(const std::vector<ClassRow>& rows, Format format, bool withView, const ShownText& shown)
{
    switch (format) {
    case Format::Text: return textTable(rows, withView, shown);
    case Format::Csv: return csvTable(rows, withView);
    case Format::Json: return jsonArray(rows);
    }
    return {};
}

} // namespace output
