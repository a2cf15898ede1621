#include "scripts/CapturedRegistration.h"

#include "scripts/ScriptBuilder.h"
#include "scripts/ValueLines.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <utility>

namespace scripts {

namespace {

using text::equalIgnoringCase;
using text::upperAscii;

// The path below `parent`; `parent` itself for an empty path, never with a
// trailing "\", which the importer would drop: "[-HKEY_CURRENT_USER\Software\Classes\]"
// deletes every per-user class.
std::string joined(std::string_view parent, const std::string& path)
{
    return path.empty() ? std::string(parent) : text::below(parent, path);
}

RegRoot rootOf(CapturedRoot root)
{
    switch (root) {
    case CapturedRoot::ClassesRoot: return RegRoot::ClassesRoot;
    case CapturedRoot::LocalMachine: return RegRoot::LocalMachine;
    case CapturedRoot::CurrentUser: return RegRoot::CurrentUser;
    case CapturedRoot::Users: return RegRoot::Users;
    case CapturedRoot::OtherViewClasses: return RegRoot::ClassesRoot;
    }
    return RegRoot::ClassesRoot;
}

std::string replacedSpellings(const std::string& text, const std::vector<std::string>& spellings,
                              const std::string& server)
{
    std::string out;
    const std::string upper = upperAscii(text);
    for (size_t i = 0; i < text.size();) {
        const auto found = std::find_if(spellings.begin(), spellings.end(), [&](const std::string& s) {
            return upper.compare(i, s.size(), s) == 0;
        });
        if (found != spellings.end()) {
            out += server;
            i += found->size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

// The key to delete for a planned key that did not exist: its topmost
// parent that did not exist either, such as the Wow6432Node that a 32-bit
// per-user registration creates below the user's classes. Never the hive's
// classes key, "Software", or a root.
ScriptKey topmostNewKey(const ScriptKey& key, const ExistingKeys& existing)
{
    ScriptKey top = key;
    for (size_t cut = top.path.rfind('\\'); cut != std::string::npos; cut = top.path.rfind('\\')) {
        const std::string parent = top.path.substr(0, cut);
        if (equalIgnoringCase(parent, "Software") || equalIgnoringCase(parent, "Software\\Classes") ||
            existing.keyExists(top.root, parent))
            break;
        top.path = parent;
    }
    return top;
}

} // namespace

std::optional<std::string> pathBelow(const std::string& path, std::string_view prefix)
{
    if (path.size() < prefix.size() || !equalIgnoringCase(std::string_view(path).substr(0, prefix.size()), prefix))
        return std::nullopt;
    if (path.size() == prefix.size()) return std::string();
    if (path[prefix.size()] != '\\') return std::nullopt;
    return path.substr(prefix.size() + 1);
}

std::string ScriptKey::fullName() const { return joined(rootName(root), path); }

ScriptKey classesKeyOf(const std::string& classesPath, const CaptureTarget& target)
{
    const std::string path =
        target.bits == 32 && classes::isRedirectedClassesKey(classesPath) ? joined("Wow6432Node", classesPath) : classesPath;
    if (target.perUser) return {RegRoot::CurrentUser, joined("Software\\Classes", path)};
    return {RegRoot::ClassesRoot, path};
}

std::optional<ScriptKey> targetKeyOf(CapturedRoot root, const std::string& path, const CaptureTarget& target)
{
    switch (root) {
    case CapturedRoot::ClassesRoot: return classesKeyOf(path, target);
    case CapturedRoot::LocalMachine:
    case CapturedRoot::CurrentUser:
        if (const std::optional<std::string> classes = pathBelow(path, "Software\\Classes"))
            return classesKeyOf(*classes, target);
        if (root == CapturedRoot::CurrentUser) return ScriptKey{RegRoot::CurrentUser, path}; // shared by both views
        if (target.perUser) return std::nullopt;
        if (const std::optional<std::string> software = pathBelow(path, "Software"); software && target.bits == 32)
            return ScriptKey{RegRoot::LocalMachine, joined("Software\\Wow6432Node", *software)};
        return ScriptKey{RegRoot::LocalMachine, path};
    case CapturedRoot::Users:
        if (target.perUser) return std::nullopt;
        return ScriptKey{RegRoot::Users, path};
    case CapturedRoot::OtherViewClasses:
        return classesKeyOf(path, CaptureTarget{target.bits == 32 ? 64 : 32, target.perUser});
    }
    return std::nullopt;
}

classes::Value withServerReplaced(const classes::Value& value, const std::vector<std::string>& spellings,
                                   const std::string& server)
{
    if (!classes::holdsStrings(value.type) || server.empty()) return value;
    const std::string bytes(value.data.begin(), value.data.end());
    const std::u16string units = text::utf16Units(bytes);
    const std::string utf8 = text::utf8FromUtf16(units);
    // Strings that UTF-8 cannot hold exactly, or that are not valid UTF-16, stay as they are.
    if (text::utf16Bytes(text::utf16FromUtf8(utf8)) != bytes || text::unpairedSurrogate(utf8)) return value;

    std::vector<std::string> upper;
    for (const std::string& s : spellings)
        if (!s.empty()) upper.push_back(upperAscii(s));
    std::sort(upper.begin(), upper.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    const std::string replaced = replacedSpellings(utf8, upper, server);
    if (replaced == utf8) return value;
    const std::string out = text::utf16Bytes(text::utf16FromUtf8(replaced));
    return {value.type, std::vector<std::uint8_t>(out.begin(), out.end())};
}

bool registersOwnClass(const std::vector<CapturedKey>& captured, const std::vector<std::string>& spellings)
{
    const auto isDll = [&](const std::string& server) {
        const std::string_view name = text::fileNameOf(server);
        return std::any_of(spellings.begin(), spellings.end(), [&](const std::string& s) {
            return equalIgnoringCase(s, server) || equalIgnoringCase(text::fileNameOf(s), name);
        });
    };
    for (const CapturedKey& c : captured) {
        const std::optional<ScriptKey> key = targetKeyOf(c.root, c.path, {});
        const std::string path = key ? upperAscii(key->path) : std::string();
        if (path.rfind("CLSID\\", 0) != 0 || path.size() < 15 || path.compare(path.size() - 15, 15, "\\INPROCSERVER32") != 0)
            continue;
        for (const classes::NamedValue& v : c.values) {
            if (!v.name.empty() || !classes::holdsStrings(v.value.type)) continue;
            const std::string bytes(v.value.data.begin(), v.value.data.end());
            if (isDll(text::utf8FromUtf16Bytes(bytes))) return true;
        }
    }
    return false;
}

std::vector<CapturedKey> withoutSeed(const std::vector<CapturedKey>& captured, const std::vector<CapturedKey>& seed)
{
    std::map<std::pair<CapturedRoot, std::string>, const CapturedKey*> seeded;
    for (const CapturedKey& k : seed) seeded[{k.root, upperAscii(k.path)}] = &k;
    std::vector<CapturedKey> kept;
    for (const CapturedKey& c : captured) {
        const auto found = seeded.find({c.root, upperAscii(c.path)});
        if (found == seeded.end()) {
            kept.push_back(c);
            continue;
        }
        CapturedKey changed{c.root, c.path, {}, true}; // a key that was there is never a key line of its own
        for (const classes::NamedValue& v : c.values) {
            const auto& before = found->second->values;
            const bool same = std::any_of(before.begin(), before.end(), [&](const classes::NamedValue& b) {
                return equalIgnoringCase(b.name, v.name) && b.value.type == v.value.type && b.value.data == v.value.data;
            });
            if (!same) changed.values.push_back(v);
        }
        if (!changed.values.empty()) kept.push_back(std::move(changed));
    }
    return kept;
}

std::vector<std::string> valuesOutsideClasses(const CapturePlan& plan)
{
    std::vector<std::string> named;
    for (const PlannedKey& k : plan.keys) {
        const bool classes = k.key.root == RegRoot::ClassesRoot ||
                             (k.key.root == RegRoot::CurrentUser && pathBelow(k.key.path, "Software\\Classes"));
        if (classes) continue;
        for (const classes::NamedValue& v : k.values)
            named.push_back(k.key.fullName() + " " + (v.name.empty() ? std::string("(default)") : '"' + v.name + '"'));
    }
    return named;
}

CapturePlan planCapture(const std::vector<CapturedKey>& captured, const CaptureTarget& target,
                        const std::vector<std::string>& spellings, const std::string& server)
{
    CapturePlan plan;
    for (const CapturedKey& c : captured) {
        const bool written = !c.values.empty() || !c.hasSubKeys;
        const std::optional<ScriptKey> key = targetKeyOf(c.root, c.path, target);
        if (!key) {
            if (written) plan.leftOut.push_back(joined(rootName(rootOf(c.root)), c.path));
            continue;
        }
        const std::string name = key->fullName();
        if (!fitsKeyLine(name)) {
            plan.problems.push_back("The key \"" + text::escapeControls(name) + "\" cannot be named on a key line.");
            continue;
        }
        PlannedKey planned{*key, {}, written};
        for (const classes::NamedValue& v : c.values) {
            classes::NamedValue put{v.name, withServerReplaced(v.value, spellings, server)};
            if (!valueLine(put)) {
                plan.problems.push_back("The value \"" + text::escapeControls(v.name) + "\" of \"" + name +
                                        "\" cannot be written in a script: its name holds a line break or a NUL.");
                continue;
            }
            planned.values.push_back(std::move(put));
        }
        plan.keys.push_back(std::move(planned));
    }
    return plan;
}

std::string registerScriptOf(const CapturePlan& plan, const std::string& moreLines)
{
    ScriptBuilder script;
    for (const PlannedKey& k : plan.keys) {
        if (!k.written) continue;
        script.key(k.key.fullName());
        for (const classes::NamedValue& v : k.values) script.value(v); // planCapture kept only values a line carries
    }
    script.lines(moreLines);
    return script.file();
}

std::string unRegisterScriptOf(const CapturePlan& plan, const ExistingKeys& existing, const std::string& moreLines)
{
    ScriptBuilder script;
    std::vector<std::string> deleted; // upper-case full names, each with a trailing "\"
    std::set<std::string> seen;
    for (const PlannedKey& k : plan.keys) {
        const std::string name = k.key.fullName();
        const std::string upper = upperAscii(name) + "\\";
        if (!seen.insert(upper).second) continue;
        if (std::any_of(deleted.begin(), deleted.end(),
                        [&](const std::string& d) { return upper.compare(0, d.size(), d) == 0; }))
            continue;
        if (!existing.keyExists(k.key.root, k.key.path)) {
            const std::string top = topmostNewKey(k.key, existing).fullName();
            const std::string topUpper = upperAscii(top) + "\\";
            if (std::none_of(deleted.begin(), deleted.end(),
                             [&](const std::string& d) { return topUpper.compare(0, d.size(), d) == 0; })) {
                script.deletedKey(top);
                deleted.push_back(topUpper);
            }
            continue;
        }
        std::vector<std::string> added;
        for (const classes::NamedValue& v : k.values)
            if (!existing.valueExists(k.key.root, k.key.path, v.name)) added.push_back(v.name);
        if (added.empty()) continue;
        script.key(name);
        for (const std::string& value : added) script.deletedValue(value);
    }
    script.lines(moreLines);
    return script.file();
}

std::string bodyForTarget(const std::string& script, const CaptureTarget& target)
{
    static constexpr std::string_view kRoot = "HKEY_CLASSES_ROOT";
    std::string out;
    const size_t firstEnd = script.find('\n');
    size_t at = firstEnd == std::string::npos ? script.size() : firstEnd + 1;
    while (at < script.size()) {
        const size_t end = std::min(script.find('\n', at), script.size());
        std::string line = script.substr(at, end - at);
        const std::string_view ending = end < script.size() ? "\n" : "";
        at = end + 1;
        const bool deletion = line.rfind("[-", 0) == 0;
        const size_t start = deletion ? 2 : 1;
        const size_t close = line.rfind(']');
        if (!line.empty() && line[0] == '[' && close != std::string::npos && close > start) {
            if (const std::optional<std::string> path = pathBelow(line.substr(start, close - start), kRoot))
                line.replace(start, close - start, classesKeyOf(*path, target).fullName());
        }
        out += line;
        out += ending;
    }
    return out;
}

std::string scriptForTarget(const std::string& script, const CaptureTarget& target)
{
    const size_t firstEnd = script.find('\n');
    if (firstEnd == std::string::npos) return script;
    return script.substr(0, firstEnd + 1) + bodyForTarget(script, target);
}

} // namespace scripts
