#include "doctor/Verify.h"

#include "scripts/RegFileReader.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace doctor {

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;

bool startsWithIgnoringCase(std::string_view text, std::string_view start)
{
    if (text.size() < start.size()) return false;
    for (size_t i = 0; i < start.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(text[i]) != lower(start[i])) return false;
    }
    return true;
}

std::string typeText(uint32_t type)
{
    static constexpr std::array<const char*, 12> names{"REG_NONE",      "REG_SZ",    "REG_EXPAND_SZ", "REG_BINARY",
                                                       "REG_DWORD",     "REG_DWORD_BIG_ENDIAN", "REG_LINK",
                                                       "REG_MULTI_SZ",  "type 8",    "type 9",        "type 10",
                                                       "REG_QWORD"};
    return type < names.size() ? names[type] : "type " + std::to_string(type);
}

std::string valueText(const std::string& keyPath, const std::string& name)
{
    return (name.empty() ? std::string("the default value") : '"' + name + '"') + " of " + keyPath;
}

std::string atLine(size_t line) { return "line " + std::to_string(line) + ": "; }

std::string untilNul(const std::string& data) { return data.substr(0, data.find('\0')); }

// How the script's data reads in a message.
std::string scriptData(const scripts::RegEntry& entry)
{
    if (entry.kind == scripts::RegEntryKind::String) return '"' + entry.data + '"';
    if (entry.kind == scripts::RegEntryKind::Dword) {
        uint32_t value = 0;
        for (size_t i = 4; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(entry.data[i]);
        char text[24];
        std::snprintf(text, sizeof(text), "dword:%08x", static_cast<unsigned>(value));
        return text;
    }
    return std::to_string(entry.data.size()) + " bytes";
}

uint32_t scriptType(const scripts::RegEntry& entry)
{
    if (entry.kind == scripts::RegEntryKind::String) return kRegSz;
    if (entry.kind == scripts::RegEntryKind::Dword) return kRegDword;
    return entry.hexType;
}

bool sameData(const scripts::RegEntry& entry, const StoredValue& stored)
{
    // A string is stored with its NUL; the script's text has none.
    if (entry.kind == scripts::RegEntryKind::String) return untilNul(stored.data) == entry.data;
    return stored.data == entry.data;
}

class Verifier {
public:
    Verifier(std::string_view text, const RegistryProbe& probe) : text_(text), probe_(probe) {}

    std::vector<Finding> run()
    {
        const scripts::RegScriptContent content = scripts::readRegScript(text_);
        for (const scripts::RegEntry& entry : content.entries) {
            check(entry);
            if (entry.kind == scripts::RegEntryKind::Key) keys_.push_back(&entry);
        }
        splitLines();
        for (const scripts::RegReadError& error : content.errors)
            if (lineText(error.line).substr(0, 1) == "[") badKeyLines_.push_back(error.line);
        for (const scripts::RegReadError& error : content.errors) malformed(error);
        std::stable_sort(findings_.begin(), findings_.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
        return std::move(findings_);
    }

private:
    void add(size_t line, FindingKind kind, const std::string& message)
    {
        findings_.push_back({line, kind, atLine(line) + message});
    }

    void check(const scripts::RegEntry& entry)
    {
        const std::optional<ClassesKey> key = classesKeyOf(entry.keyPath);
        if (entry.kind == scripts::RegEntryKind::Key) {
            if (!key)
                add(entry.line, FindingKind::NotRead,
                    entry.keyPath + " is outside the classes keys; it and its values were not read back");
            else if (entry.keyDeleted && probe_.keyExists(*key))
                add(entry.line, FindingKind::Present, "key " + entry.keyPath + " is deleted by the script but present");
            else if (!entry.keyDeleted && !probe_.keyExists(*key))
                add(entry.line, FindingKind::Missing, "key " + entry.keyPath + " is missing");
            return;
        }
        if (!key || entry.keyDeleted) return;

        const std::string what = valueText(entry.keyPath, entry.valueName);
        const std::optional<StoredValue> stored = probe_.value(*key, entry.valueName);
        if (entry.kind == scripts::RegEntryKind::DeleteValue) {
            if (stored) add(entry.line, FindingKind::Present, what + " is deleted by the script but present");
            return;
        }
        if (!stored) return add(entry.line, FindingKind::Missing, what + " is missing");
        if (stored->type != scriptType(entry))
            return add(entry.line, FindingKind::Different,
                       what + " is " + typeText(stored->type) + ", the script writes " + typeText(scriptType(entry)));
        if (!sameData(entry, *stored)) {
            const std::string is = entry.kind == scripts::RegEntryKind::String ? '"' + untilNul(stored->data) + '"'
                                                                               : "other data";
            add(entry.line, FindingKind::Different, what + " is " + is + ", the script writes " + scriptData(entry));
        }
    }

    void splitLines()
    {
        std::string_view rest = text_;
        while (!rest.empty()) {
            const size_t end = rest.find('\n');
            lines_.push_back(rest.substr(0, end));
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        }
    }

    // The line's text (1-based), its blanks at either end removed.
    std::string_view lineText(size_t number) const
    {
        std::string_view line = number >= 1 && number <= lines_.size() ? lines_[number - 1] : std::string_view();
        const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
        while (!line.empty() && blank(line.back())) line.remove_suffix(1);
        while (!line.empty() && blank(line.front())) line.remove_prefix(1);
        return line;
    }

    // The key line in force at a line: the last one above it, unless a key
    // line the reader refused comes between (regedit then has no key).
    const scripts::RegEntry* keyAt(size_t line) const
    {
        const auto after = std::upper_bound(keys_.begin(), keys_.end(), line,
                                            [](size_t at, const scripts::RegEntry* key) { return at <= key->line; });
        if (after == keys_.begin()) return nullptr;
        const scripts::RegEntry* key = *(after - 1);
        const auto bad = std::upper_bound(badKeyLines_.begin(), badKeyLines_.end(), key->line);
        return bad != badKeyLines_.end() && *bad < line ? nullptr : key;
    }

    // The value name a malformed value line starts with, when it can be told.
    static std::optional<std::string> valueNameOf(std::string_view line)
    {
        if (!line.empty() && line.front() == '@') return std::string();
        if (line.empty() || line.front() != '"') return std::nullopt;
        std::string name;
        for (size_t i = 1; i < line.size(); ++i) {
            if (line[i] == '"') return name;
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            name += line[i];
        }
        return std::nullopt;
    }

    void malformed(const scripts::RegReadError& error)
    {
        const std::string problem = "the line is not understood (" + error.message + ")";
        const std::optional<std::string> name = valueNameOf(lineText(error.line));
        const scripts::RegEntry* key = name ? keyAt(error.line) : nullptr;
        const std::optional<ClassesKey> classesKey = key ? classesKeyOf(key->keyPath) : std::nullopt;
        if (!classesKey || key->keyDeleted) return add(error.line, FindingKind::Malformed, problem);

        const std::string what = valueText(key->keyPath, *name);
        if (!probe_.value(*classesKey, *name))
            add(error.line, FindingKind::Malformed, what + " is missing; " + problem);
        else
            add(error.line, FindingKind::Malformed, problem + "; " + what + " is present, but not from this line");
    }

    std::string_view text_;
    const RegistryProbe& probe_;
    std::vector<Finding> findings_;
    std::vector<std::string_view> lines_;
    std::vector<const scripts::RegEntry*> keys_; // in line order
    std::vector<size_t> badKeyLines_;           // key lines the reader refused, in order
};

} // namespace

std::optional<ClassesKey> classesKeyOf(const std::string& keyPath)
{
    static constexpr std::array<std::pair<std::string_view, ClassesHive>, 3> roots{{
        {"HKEY_CLASSES_ROOT", ClassesHive::Merged},
        {"HKEY_LOCAL_MACHINE\\Software\\Classes", ClassesHive::Machine},
        {"HKEY_CURRENT_USER\\Software\\Classes", ClassesHive::User},
    }};
    for (const auto& [root, hive] : roots) {
        if (!startsWithIgnoringCase(keyPath, root)) continue;
        if (keyPath.size() == root.size()) return ClassesKey{hive, ""};
        if (keyPath[root.size()] == '\\') return ClassesKey{hive, keyPath.substr(root.size() + 1)};
    }
    return std::nullopt;
}

std::vector<Finding> verifyScript(std::string_view scriptText, const RegistryProbe& probe)
{
    return Verifier(scriptText, probe).run();
}

bool isFailure(const Finding& finding) { return finding.kind != FindingKind::NotRead; }

} // namespace doctor
