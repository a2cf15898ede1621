#include "doctor/Stale.h"

#include "classes/ProgIdList.h"
#include "scripts/ScriptBuilder.h"
#include "scripts/ValueLines.h"
#include "text/Text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>

namespace doctor {

namespace {

using classes::Hive;
using classes::View;
using classes::bitsOf;
using classes::classKey;
using classes::otherView;
using classes::serverKey;
using scripts::ScriptBuilder;
using scripts::fitsKeyLine;
using text::equalIgnoringCase;
using text::upperAscii;

// What in a class key marks a registration other than the in-process one.
constexpr std::array<const char*, 5> kOtherServerKeys{"LocalServer32", "LocalServer", "InprocHandler32",
                                                      "InprocHandler", "TreatAs"};
constexpr std::array<const char*, 1> kOtherServerValues{"AppID"};
// What a ProgID of an in-process class holds besides its name.
constexpr std::array<const char*, 2> kProgIdKeys{"CLSID", "CurVer"};

bool isOneOf(const std::string& name, const auto& names)
{
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return equalIgnoringCase(name, n); });
}

// The subkey names of one key in each hive and view, read once: opening keys
// one by one is slow, above all in the 32-bit view.
class SubKeyIndex {
public:
    SubKeyIndex(const classes::ClassesSource& registry, std::string path)
        : registry_(registry), path_(std::move(path))
    {
    }

    const std::string& path() const { return path_; }
    const std::vector<std::string>& names(Hive hive, View view) { return entry(hive, view).names; }
    bool contains(Hive hive, View view, const std::string& name) { return entry(hive, view).upper.contains(upperAscii(name)); }

private:
    struct Entry {
        std::vector<std::string> names;
        std::set<std::string> upper;
    };
    Entry& entry(Hive hive, View view)
    {
        const auto id = std::make_pair(static_cast<int>(hive), static_cast<int>(view));
        auto found = entries_.find(id);
        if (found != entries_.end()) return found->second;
        Entry& made = entries_[id];
        made.names = registry_.subKeys(hive, view, path_);
        for (const std::string& name : made.names) made.upper.insert(upperAscii(name));
        return made;
    }
    const classes::ClassesSource& registry_;
    std::string path_;
    std::map<std::pair<int, int>, Entry> entries_;
};

using classes::KeyContent;

KeyContent contentOf(const classes::ClassesSource& registry, Hive hive, View view, const std::string& path)
{
    return registry.content(hive, view, path);
}

// The key and all below it as undo lines, parents first. False when some
// part of it cannot be restored exactly or must not be deleted: a link,
// which a deletion would follow (`why` says which).
bool appendUndo(const classes::ClassesSource& registry, Hive hive, View view, const std::string& path,
                const KeyContent& content, const std::string& below, ScriptBuilder& script, std::string& why)
{
    if (content.link) {
        why = below.empty() ? "it is a link to another key" : "holds a link: " + below;
        return false;
    }
    const std::string name = registry.fullName(hive, view, path);
    if (!fitsKeyLine(name)) {
        why = "cannot be restored exactly: its name cannot be written on a key line";
        return false;
    }
    script.key(name);
    for (const classes::NamedValue& v : content.values) {
        if (!script.value(v)) {
            why = "cannot be restored exactly: the value \"" + text::escapeControls(v.name) +
                  "\" cannot be written in a script";
            return false;
        }
    }
    for (const std::string& sub : content.subKeys) {
        const std::string path2 = text::below(path, sub);
        if (!appendUndo(registry, hive, view, path2, contentOf(registry, hive, view, path2), text::below(below, sub),
                        script, why))
            return false;
    }
    return true;
}

// The path from `sub` down its first subkeys to a key without any: how a
// verb such as "shell\open\command" is named.
std::string deepestFirst(const classes::ClassesSource& registry, Hive hive, View view, const std::string& path,
                         const std::string& sub)
{
    std::string named = sub;
    std::string at = path + "\\" + sub;
    for (int depth = 0; depth < 8; ++depth) {
        const std::vector<std::string> below = registry.subKeys(hive, view, at);
        if (below.empty()) break;
        named += "\\" + below.front();
        at += "\\" + below.front();
    }
    return named;
}

// Why a key must be kept, or "" when the cleanup may delete it.
std::string keepReason(const classes::ClassesSource& registry, Hive hive, View view, const std::string& path,
                       bool isClassKey)
{
    const KeyContent content = contentOf(registry, hive, view, path);
    for (const std::string& sub : content.subKeys) {
        if (isClassKey && isOneOf(sub, kOtherServerKeys)) return "holds " + sub;
        if (!isClassKey && !isOneOf(sub, kProgIdKeys)) return "holds " + deepestFirst(registry, hive, view, path, sub);
    }
    if (isClassKey)
        for (const classes::NamedValue& v : content.values)
            if (isOneOf(v.name, kOtherServerValues)) return "holds the value " + v.name;
    ScriptBuilder script;
    std::string why;
    if (!appendUndo(registry, hive, view, path, content, "", script, why)) return why;
    return "";
}

class StaleFinder {
public:
    explicit StaleFinder(const Machine& machine) : machine_(machine) {}

    std::vector<StaleClass> run(const std::vector<View>& views)
    {
        for (View view : views)
            for (Hive hive : {Hive::MachineClasses, Hive::UserClasses}) findClasses(hive, view);
        for (StaleClass& c : stale_) {
            c.kept = keepReason(machine_.registry, c.hive, c.view, classKey(c.clsid), true);
            if (!c.kept.empty()) keptKeys_.insert(upperAscii(c.key));
        }
        for (size_t i = 0; i < stale_.size(); ++i) byClsid_[upperAscii(stale_[i].clsid)].push_back(i);
        if (!stale_.empty())
            for (View view : views)
                for (Hive hive : {Hive::MachineClasses, Hive::UserClasses}) findProgIds(hive, view);
        return std::move(stale_);
    }

private:
    // Whether the class's server, in the view, is a full path to nothing.
    classes::ServerFile serverOf(Hive hive, View view, const std::string& clsid) const
    {
        return classes::resolveServer(machine_.registry.value(hive, view, serverKey(clsid), ""), view, machine_.files);
    }
    static bool isGone(const classes::ServerFile& server)
    {
        return server.state == classes::ServerState::NotFound && !server.searched;
    }

    void findClasses(Hive hive, View view)
    {
        for (const std::string& clsid : classes_.names(hive, view)) {
            const classes::ServerFile server = serverOf(hive, view, clsid);
            if (!isGone(server)) continue;
            const std::string key = machine_.registry.fullName(hive, view, classKey(clsid));
            if (staleKeys_.contains(upperAscii(key))) continue;
            // A key both views share is stale only if neither finds the file.
            const bool both = shared(classes_, hive, view, clsid);
            if (both && !isGone(serverOf(hive, otherView(view), clsid))) continue;
            StaleClass c;
            c.clsid = clsid;
            c.views = both ? std::vector<int>{64, 32} : std::vector<int>{bitsOf(view)};
            c.perUser = hive == Hive::UserClasses;
            c.key = key;
            c.server = server.text;
            c.file = server.file;
            c.hive = hive;
            c.view = view;
            staleKeys_.insert(upperAscii(key));
            stale_.push_back(std::move(c));
        }
    }

    void findProgIds(Hive hive, View view)
    {
        for (const std::string& name : classes::listedProgIds(topKeys_.names(hive, view))) {
            if (equalIgnoringCase(name, "Wow6432Node")) continue;
            // A ProgID both views share is listed once: its key is not read again.
            const std::string key = machine_.registry.fullName(hive, view, name);
            if (progIdKeys_.contains(upperAscii(key))) continue;
            const std::optional<classes::Value> value = machine_.registry.value(hive, view, name + "\\CLSID", "");
            const std::string clsid = value ? value->text().value_or("") : "";
            const auto ofClsid = clsid.empty() ? byClsid_.end() : byClsid_.find(upperAscii(clsid));
            if (ofClsid == byClsid_.end()) continue;
            const bool both = shared(topKeys_, hive, view, name);
            if (liveIn(view, clsid) || (both && liveIn(otherView(view), clsid))) continue;
            // With the first stale class of that CLSID in a view that sees the ProgID.
            for (size_t i : ofClsid->second) {
                StaleClass& c = stale_[i];
                if (both || std::find(c.views.begin(), c.views.end(), bitsOf(view)) != c.views.end()) {
                    StaleProgId p{name, key, "", hive, view};
                    p.kept = c.kept.empty() ? keepReason(machine_.registry, hive, view, name, false)
                                            : std::string("its class is kept");
                    c.progIds.push_back(std::move(p));
                    progIdKeys_.insert(upperAscii(key));
                    break;
                }
            }
        }
    }

    // Whether the other view opens the same key as this one.
    bool shared(SubKeyIndex& index, Hive hive, View view, const std::string& name) const
    {
        const std::string path = index.path().empty() ? name : index.path() + "\\" + name;
        return index.contains(hive, otherView(view), name) &&
               upperAscii(machine_.registry.fullName(hive, otherView(view), path)) ==
                   upperAscii(machine_.registry.fullName(hive, view, path));
    }

    // Whether the view still has a registration of the class that is not stale.
    bool liveIn(View view, const std::string& clsid)
    {
        const auto live = [&](Hive hive) {
            if (!classes_.contains(hive, view, clsid)) return false;
            const std::string key = upperAscii(machine_.registry.fullName(hive, view, classKey(clsid)));
            // A stale class key that is kept still serves in another way.
            return !staleKeys_.contains(key) || keptKeys_.contains(key);
        };
        return live(Hive::MachineClasses) || live(Hive::UserClasses);
    }

    const Machine& machine_;
    SubKeyIndex classes_{machine_.registry, "CLSID"};
    SubKeyIndex topKeys_{machine_.registry, ""};
    std::vector<StaleClass> stale_;
    std::set<std::string> staleKeys_;                    // upper-case full key names
    std::set<std::string> keptKeys_;                     // those of them the cleanup keeps
    std::map<std::string, std::vector<size_t>> byClsid_; // upper-case CLSID -> indices in stale_
    std::set<std::string> progIdKeys_;                   // upper-case full key names
};

// The type-library leftovers of each hive and view, each key once.
class StaleTypeLibFinder {
public:
    explicit StaleTypeLibFinder(const Machine& machine) : machine_(machine) {}

    std::vector<StaleEntry> run(const std::vector<View>& views)
    {
        for (View view : views) {
            // Both views share the TypeLib key: the second one finds the same
            // versions, judged by the same files, so they are not read again.
            if (view != views.front() && !classes::isRedirectedClassesKey("TypeLib")) {
                for (StaleEntry& e : found_)
                    if (e.kind == StaleEntry::Kind::TypeLibVersion) e.views.push_back(bitsOf(view));
                continue;
            }
            for (Hive hive : {Hive::MachineClasses, Hive::UserClasses}) findVersions(hive, view);
        }
        for (View view : views)
            for (Hive hive : {Hive::MachineClasses, Hive::UserClasses}) findInterfaces(hive, view);
        return std::move(found_);
    }

private:
    // What a version key holds besides its locales' platform keys, FLAGS and
    // HELPDIR; "" when nothing.
    std::string otherContent(Hive hive, View view, const std::string& path) const
    {
        for (const std::string& sub : machine_.registry.subKeys(hive, view, path)) {
            if (equalIgnoringCase(sub, "FLAGS") || equalIgnoringCase(sub, "HELPDIR")) continue;
            if (!isLocale(sub)) return "holds " + sub;
            for (const std::string& platform : machine_.registry.subKeys(hive, view, text::below(path, sub)))
                if (!isPlatform(platform)) return "holds " + text::below(sub, platform);
        }
        return "";
    }
    static bool isLocale(const std::string& name)
    {
        return !name.empty() && name.size() <= 8 && std::all_of(name.begin(), name.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        });
    }
    static bool isPlatform(const std::string& name)
    {
        return equalIgnoringCase(name, "win16") || equalIgnoringCase(name, "win32") ||
               equalIgnoringCase(name, "win64") || equalIgnoringCase(name, "mac");
    }

    // The files a version names, each by the server rule in the platform's
    // own view; false when one of them is found or is not a full path.
    bool allGone(Hive hive, View view, const std::string& path, std::string& files) const
    {
        bool any = false;
        for (const std::string& locale : machine_.registry.subKeys(hive, view, path)) {
            if (!isLocale(locale)) continue;
            const std::string localePath = text::below(path, locale);
            for (const std::string& platform : machine_.registry.subKeys(hive, view, localePath)) {
                if (!isPlatform(platform)) continue;
                const View fileView = equalIgnoringCase(platform, "win64") ? View::Bits64 : View::Bits32;
                const classes::ServerFile file = classes::resolveServer(
                    machine_.registry.value(hive, view, text::below(localePath, platform), ""), fileView,
                    machine_.files);
                if (file.state != classes::ServerState::NotFound || file.searched || resourceOfFile(file.path))
                    return false;
                files += (files.empty() ? "" : ", ") + platform;
                files += " " + (file.file.empty() ? file.path : file.file);
                any = true;
            }
        }
        return any;
    }

    // Whether the path ends in a resource's number after a file that is there.
    bool resourceOfFile(const std::string& path) const
    {
        const size_t slash = path.find_last_of('\\');
        return slash != std::string::npos && slash + 1 < path.size() &&
               std::all_of(path.begin() + std::ptrdiff_t(slash + 1), path.end(),
                           [](char c) { return c >= '0' && c <= '9'; }) &&
               machine_.files.kindOf(path.substr(0, slash)) == classes::PathKind::File;
    }

    bool add(StaleEntry entry, Hive hive, View view)
    {
        entry.key = machine_.registry.fullName(hive, view, entry.path);
        const std::string upper = upperAscii(entry.key);
        if (const auto seen = keys_.find(upper); seen != keys_.end()) {
            std::vector<int>& views = found_[seen->second].views;
            if (std::find(views.begin(), views.end(), bitsOf(view)) == views.end()) views.push_back(bitsOf(view));
            return false;
        }
        entry.views = {bitsOf(view)};
        entry.hive = hive;
        entry.view = view;
        if (entry.kept.empty()) {
            ScriptBuilder script;
            appendUndo(machine_.registry, hive, view, entry.path, contentOf(machine_.registry, hive, view, entry.path),
                       "", script, entry.kept);
        }
        keys_[upper] = found_.size();
        found_.push_back(std::move(entry));
        return true;
    }

    void findVersions(Hive hive, View view)
    {
        for (const std::string& libid : machine_.registry.subKeys(hive, view, "TypeLib")) {
            const std::string libPath = text::below("TypeLib", libid);
            for (const std::string& version : machine_.registry.subKeys(hive, view, libPath)) {
                const std::string path = text::below(libPath, version);
                std::string files;
                if (!allGone(hive, view, path, files)) continue;
                StaleEntry e;
                e.kind = StaleEntry::Kind::TypeLibVersion;
                e.name = libid;
                e.name += " " + version;
                e.path = path;
                e.detail = files;
                e.kept = otherContent(hive, view, path);
                add(std::move(e), hive, view);
            }
        }
    }

    // Whether the version of the library an interface names is registered
    // and not itself stale: the same major, the same or a higher minor.
    bool registered(View view, const std::string& libid, const std::string& version) const
    {
        const classes::MergedClasses classes(machine_.registry, view);
        const std::string libPath = text::below("TypeLib", libid);
        const std::vector<std::string> versions = classes.subKeys(libPath);
        return std::any_of(versions.begin(), versions.end(), [&](const std::string& v) {
            if (!version.empty() && !equalIgnoringCase(v, version) && !sameMajorAbove(v, version)) return false;
            const std::string path = text::below(libPath, v);
            const auto stale = keys_.find(upperAscii(machine_.registry.fullName(classes.hiveOf(path), view, path)));
            return stale == keys_.end() || !found_[stale->second].kept.empty();
        });
    }
    static bool sameMajorAbove(const std::string& have, const std::string& want)
    {
        const size_t a = have.find('.');
        const size_t b = want.find('.');
        if (a == std::string::npos || b == std::string::npos || !equalIgnoringCase(have.substr(0, a), want.substr(0, b)))
            return false;
        return std::strtoul(have.c_str() + a + 1, nullptr, 16) > std::strtoul(want.c_str() + b + 1, nullptr, 16);
    }

    void findInterfaces(Hive hive, View view)
    {
        for (const std::string& iid : machine_.registry.subKeys(hive, view, "Interface")) {
            const std::string path = "Interface\\" + iid;
            const std::optional<classes::Value> proxy =
                machine_.registry.value(hive, view, path + "\\ProxyStubClsid32", "");
            if (!proxy || !equalIgnoringCase(proxy->text().value_or(""), kTypeLibMarshaller)) continue;
            const std::optional<classes::Value> libid = machine_.registry.value(hive, view, path + "\\TypeLib", "");
            const std::string libidText = libid ? libid->text().value_or("") : "";
            if (libidText.empty()) continue;
            const std::optional<classes::Value> version =
                machine_.registry.value(hive, view, path + "\\TypeLib", "Version");
            const std::string versionText = version ? version->text().value_or("") : "";
            if (registered(view, libidText, versionText)) continue;
            StaleEntry e;
            e.kind = StaleEntry::Kind::Interface;
            const std::optional<classes::Value> name = machine_.registry.value(hive, view, path, "");
            e.name = iid + (name && name->text() && !name->text()->empty() ? " " + *name->text() : std::string());
            e.path = path;
            e.detail = "TypeLib " + libidText + (versionText.empty() ? std::string() : " " + versionText);
            for (const std::string& sub : machine_.registry.subKeys(hive, view, path))
                if (!isOneOf(sub, kInterfaceKeys)) {
                    e.kept = "holds " + sub;
                    break;
                }
            add(std::move(e), hive, view);
        }
    }

    static constexpr std::array<const char*, 5> kInterfaceKeys{"ProxyStubClsid32", "ProxyStubClsid", "TypeLib",
                                                               "NumMethods", "BaseInterface"};
    const Machine& machine_;
    std::vector<StaleEntry> found_;
    std::map<std::string, size_t> keys_; // upper-case full key names -> indices in found_
};

} // namespace

std::vector<StaleEntry> findStaleTypeLibs(const Machine& machine, bool view64, bool view32)
{
    std::vector<View> views;
    if (view64) views.push_back(View::Bits64);
    if (view32) views.push_back(View::Bits32);
    return StaleTypeLibFinder(machine).run(views);
}

std::vector<StaleClass> findStaleClasses(const Machine& machine, bool view64, bool view32)
{
    std::vector<View> views;
    if (view64) views.push_back(View::Bits64);
    if (view32) views.push_back(View::Bits32);
    return StaleFinder(machine).run(views);
}

std::string cleanupScript(const std::vector<StaleClass>& classes, const std::vector<StaleEntry>& entries)
{
    ScriptBuilder script;
    for (const StaleClass& c : classes) {
        std::vector<std::string> keys;
        if (c.kept.empty() && fitsKeyLine(c.key)) keys.push_back(c.key);
        for (const StaleProgId& p : c.progIds)
            if (p.kept.empty() && fitsKeyLine(p.key)) keys.push_back(p.key);
        script.deletedKeys(keys);
    }
    for (const StaleEntry& e : entries)
        if (e.kept.empty() && fitsKeyLine(e.key)) script.deletedKey(e.key);
    return script.file();
}

std::string undoScript(const classes::ClassesSource& registry, const std::vector<StaleClass>& classes,
                       const std::vector<StaleEntry>& entries)
{
    ScriptBuilder script(ScriptBuilder::Encoding::Version5);
    std::string why;
    for (const StaleClass& c : classes) {
        const auto add = [&](Hive hive, View view, const std::string& path) {
            appendUndo(registry, hive, view, path, contentOf(registry, hive, view, path), "", script, why);
        };
        if (c.kept.empty() && fitsKeyLine(c.key)) add(c.hive, c.view, classKey(c.clsid));
        for (const StaleProgId& p : c.progIds)
            if (p.kept.empty() && fitsKeyLine(p.key)) add(p.hive, p.view, p.name);
    }
    for (const StaleEntry& e : entries)
        if (e.kept.empty() && fitsKeyLine(e.key))
            appendUndo(registry, e.hive, e.view, e.path, contentOf(registry, e.hive, e.view, e.path), "", script, why);
    return script.file();
}

std::string undoFileNameOf(const std::string& cleanupFileName)
{
    const std::string_view folder = text::folderOf(cleanupFileName);
    return std::string(folder) + "Undo-" + std::string(text::fileNameOf(cleanupFileName));
}

} // namespace doctor
