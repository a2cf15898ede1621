#include "doctor/Verify.h"

#include "classes/Registry.h"

#include "text/Text.h"
#include "text/Utf.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <tuple>
#include <utility>

namespace doctor {

namespace {

using scripts::RegEntry;
using scripts::RegEntryKind;
using scripts::RegRoot;

constexpr uint32_t kRegDword = classes::typeCode(classes::ValueType::Dword);

std::string typeText(uint32_t type) { return classes::typeName(static_cast<classes::ValueType>(type)); }

bool isText(uint32_t type) { return classes::holdsStrings(static_cast<classes::ValueType>(type)); }

// How stored data reads in a message: text in quotes, a dword as the script
// writes it, other data as its hex bytes.
std::string dataText(uint32_t type, const std::string& data)
{
    if (isText(type)) return '"' + text::utf8FromUtf16Bytes(data) + '"';
    char part[16];
    if (type == kRegDword && data.size() == 4) {
        uint32_t value = 0;
        for (size_t i = 4; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(data[i]);
        std::snprintf(part, sizeof(part), "dword:%08x", static_cast<unsigned>(value));
        return part;
    }
    std::string out = "hex";
    if (type != 3) {
        std::snprintf(part, sizeof(part), "(%x)", static_cast<unsigned>(type)); // as a script writes it
        out += part;
    }
    out += ':';
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(part, sizeof(part), "%s%02x", i == 0 ? "" : ",", static_cast<unsigned>(static_cast<unsigned char>(data[i])));
        out += part;
    }
    return out;
}

std::string valueText(const std::string& keyPath, const std::string& name)
{
    return (name.empty() ? std::string("the default value") : '"' + name + '"') + " of " + keyPath;
}

std::string atLine(size_t line) { return "line " + std::to_string(line) + ": "; }

// Keys and values compared as the registry compares names: ASCII letters
// without regard to case.
using KeyId = std::pair<RegRoot, std::string>;
KeyId keyIdOf(const RegEntry& entry) { return {entry.root, text::upperAscii(entry.subKey)}; }

bool isAtOrBelow(const KeyId& key, const KeyId& top)
{
    if (key.first != top.first) return false;
    if (top.second.empty()) return true;
    return key.second == top.second ||
           (key.second.size() > top.second.size() && key.second.compare(0, top.second.size(), top.second) == 0 &&
            key.second[top.second.size()] == '\\');
}

// What the script leaves behind once every line has been merged: each key and
// value with the line that decided it.
struct FinalState {
    std::map<KeyId, const RegEntry*> keys;                                  // a key line: written or deleted
    std::map<std::tuple<RegRoot, std::string, std::string>, const RegEntry*> values; // a value line: written or deleted

    void merge(const RegEntry& entry)
    {
        const KeyId key = keyIdOf(entry);
        if (entry.kind != RegEntryKind::Key) {
            if (entry.keyDeleted) return; // the importer ignores it
            values[{key.first, key.second, text::upperAscii(entry.valueName)}] = &entry;
            return;
        }
        if (entry.keyDeleted) {
            std::erase_if(keys, [&](const auto& k) { return isAtOrBelow(k.first, key); });
            std::erase_if(values, [&](const auto& v) {
                return isAtOrBelow({std::get<0>(v.first), std::get<1>(v.first)}, key);
            });
        } else {
            // Writing a key brings back a deleted key above it.
            std::erase_if(keys, [&](const auto& k) { return k.second->keyDeleted && isAtOrBelow(key, k.first); });
        }
        keys[key] = &entry;
    }
};

class Verifier {
public:
    Verifier(const RegistryProbe& probe, scripts::Importer importer) : probe_(probe), importer_(importer) {}

    std::vector<Finding> run(const scripts::RegScriptContent& content)
    {
        if (!content.imported) {
            Finding finding{1, FindingKind::NotImported, "", std::nullopt, "the script imported", "nothing imported", ""};
            finding.message = atLine(1) + content.errors.at(0).message;
            return {finding};
        }
        FinalState state;
        for (const RegEntry& entry : content.entries) state.merge(entry);
        for (const auto& [id, entry] : state.keys) checkKey(*entry);
        for (const auto& [id, entry] : state.values) checkValue(*entry);
        for (const scripts::RegReadError& error : content.errors) skipped(error);
        unknownEscapes(content);
        std::stable_sort(findings_.begin(), findings_.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
        return std::move(findings_);
    }

private:
    void add(const RegEntry& entry, FindingKind kind, std::string expected, std::string found, const std::string& message)
    {
        std::optional<std::string> name;
        if (entry.kind != RegEntryKind::Key) name = entry.valueName;
        findings_.push_back({entry.line, kind, entry.keyPath, name, std::move(expected), std::move(found),
                             atLine(entry.line) + message});
    }

    void checkKey(const RegEntry& entry)
    {
        const bool exists = probe_.keyExists(entry.root, entry.subKey);
        if (entry.keyDeleted && exists)
            add(entry, FindingKind::Present, "absent", "present", "key " + entry.keyPath + " is deleted by the script but present");
        else if (!entry.keyDeleted && !exists)
            add(entry, FindingKind::Missing, "present", "absent", "key " + entry.keyPath + " is missing");
    }

    void checkValue(const RegEntry& entry)
    {
        const std::string what = valueText(entry.keyPath, entry.valueName);
        const std::optional<StoredValue> stored = probe_.value(entry.root, entry.subKey, entry.valueName);
        const std::string found = stored ? typeText(stored->type) + " " + dataText(stored->type, stored->data) : "absent";
        if (entry.kind == RegEntryKind::DeleteValue) {
            if (stored) add(entry, FindingKind::Present, "absent", found, what + " is deleted by the script but present");
            return;
        }
        const std::string expected = typeText(entry.type) + " " + dataText(entry.type, entry.stored);
        if (!stored) return add(entry, FindingKind::Missing, expected, found, what + " is missing");
        if (stored->type != entry.type)
            return add(entry, FindingKind::Different, expected, found,
                       what + " is " + typeText(stored->type) + ", the script writes " + typeText(entry.type));
        if (stored->data != entry.stored)
            add(entry, FindingKind::Different, expected, found,
                what + " is " + dataText(stored->type, stored->data) + ", the script writes " +
                    dataText(entry.type, entry.stored));
    }

    // A line the importer passes over. For a value line with a key in force,
    // whether the value is there anyway says whether anything is lost.
    void skipped(const scripts::RegReadError& error)
    {
        const std::string problem = "the line is not understood (" + error.message + ")";
        Finding finding{error.line, FindingKind::Skipped, error.keyPath, error.valueName, "", "", ""};
        if (error.valueName && !error.keyPath.empty()) {
            const std::string what = valueText(error.keyPath, *error.valueName);
            const std::optional<StoredValue> stored = probe_.value(error.root, error.subKey, *error.valueName);
            finding.found = stored ? typeText(stored->type) + " " + dataText(stored->type, stored->data) : "absent";
            finding.message = atLine(error.line) + (stored ? problem + "; " + what + " is present, but not from this line"
                                                           : what + " is missing; " + problem);
        } else {
            finding.message = atLine(error.line) + problem;
        }
        findings_.push_back(std::move(finding));
    }

    // A value line the importer understood whose name or text holds an
    // escape it does not know: what it stored is not what the line spells
    // (single backslashes in a path are the common case), even when the
    // registry holds exactly that.
    void unknownEscapes(const scripts::RegScriptContent& content)
    {
        std::map<size_t, std::vector<std::string>> byLine;
        for (const scripts::RegUnknownEscape& escape : content.unknownEscapes) byLine[escape.line].push_back(escape.escape);
        for (const RegEntry& entry : content.entries) {
            const auto escapes = byLine.find(entry.line);
            if (entry.kind == RegEntryKind::Key || entry.keyDeleted || escapes == byLine.end()) continue;
            escapeFinding(entry, escapes->second);
        }
    }

    // "\P", "\M" and "\A": the escapes of a line, named.
    static std::string escapesNamed(const std::vector<std::string>& escapes)
    {
        std::string named;
        for (size_t i = 0; i < escapes.size(); ++i) {
            named += i == 0 ? "" : i + 1 == escapes.size() ? " and " : ", ";
            named += '"';
            named += escapes[i];
            named += '"';
        }
        return named;
    }

    void escapeFinding(const RegEntry& entry, const std::vector<std::string>& escapes)
    {
        const bool several = escapes.size() > 1;
        const std::string importer = importer_ == scripts::Importer::Reg ? "reg import" : "regedit";
        const std::string expected =
            entry.kind == RegEntryKind::DeleteValue ? "absent" : typeText(entry.type) + " " + dataText(entry.type, entry.stored);
        const std::optional<StoredValue> stored = probe_.value(entry.root, entry.subKey, entry.valueName);
        std::string message = "the escape" + std::string(several ? "s " : " ") + escapesNamed(escapes) +
                              (several ? " are" : " is") + " not known to " + importer +
                              " (only \\\\, \\\", \\n and \\r are): it warns and drops the \"\\\"";
        if (entry.kind == RegEntryKind::DeleteValue)
            message += ", and deletes " + valueText(entry.keyPath, entry.valueName);
        else
            message += ", and stores " + valueText(entry.keyPath, entry.valueName) + " as " +
                       dataText(entry.type, entry.stored);
        add(entry, FindingKind::Escape, expected,
            stored ? typeText(stored->type) + " " + dataText(stored->type, stored->data) : "absent", message);
    }

    const RegistryProbe& probe_;
    scripts::Importer importer_;
    std::vector<Finding> findings_;
};

} // namespace

std::vector<Finding> verifyScript(std::string_view script, const RegistryProbe& probe, const VerifyOptions& options)
{
    const scripts::RegScriptContent content = scripts::readRegScript(script, {options.ansiToUtf8, options.importer});
    return Verifier(probe, options.importer).run(content);
}

std::string_view kindName(FindingKind kind)
{
    switch (kind) {
    case FindingKind::Missing: return "missing";
    case FindingKind::Different: return "different";
    case FindingKind::Present: return "present";
    case FindingKind::Skipped: return "skipped";
    case FindingKind::NotImported: return "not-imported";
    case FindingKind::Escape: return "escape";
    }
    return "";
}

} // namespace doctor
