#include "system/Doctor.h"

#include "classes/ProgIdList.h"
#include "doctor/FileUri.h"
#include "doctor/PeImage.h"
#include "doctor/Report.h"
#include "classes/Arguments.h"
#include "system/Files.h"
#include "system/ServerFiles.h"
#include "system/RegistryReader.h"
#include "system/VerifyProbe.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

namespace doctor {

namespace {

using registry::Hive;
using registry::RegistryReader;
using registry::View;

constexpr char kWow64Node[] = "Wow6432Node\\";

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string classKey(const std::string& clsid) { return "CLSID\\" + clsid; }
std::string serverKey(const std::string& clsid) { return classKey(clsid) + "\\InProcServer32"; }

// The classes of one view as programs see them: a key of the per-user hive
// wins over the machine's, key by key. Read here, since Wine's
// HKEY_CLASSES_ROOT leaves the per-user hive out.
class MergedClasses {
public:
    explicit MergedClasses(View view) : user_(Hive::UserClasses, view), machine_(Hive::MachineClasses, view) {}

    bool keyExists(const std::string& path) const { return user_.keyExists(path) || machine_.keyExists(path); }
    std::optional<registry::Value> value(const std::string& path, const std::string& name = "") const
    {
        return readerOf(path).value(path, name);
    }
    std::string text(const std::string& path, const std::string& name = "") const
    {
        return readerOf(path).text(path, name);
    }
    std::vector<std::string> subKeys(const std::string& path) const
    {
        std::vector<std::string> names = user_.subKeys(path);
        std::set<std::string> seen;
        for (const std::string& name : names) seen.insert(upper(name));
        for (std::string& name : machine_.subKeys(path))
            if (seen.insert(upper(name)).second) names.push_back(std::move(name));
        return names;
    }

private:
    const RegistryReader& readerOf(const std::string& path) const
    {
        return user_.keyExists(path) ? user_ : machine_;
    }
    RegistryReader user_;
    RegistryReader machine_;
};

ValueFact factOf(const std::optional<registry::Value>& value)
{
    ValueFact fact;
    if (!value) return fact;
    fact.present = true;
    fact.typeName = registry::typeName(value->type);
    if (std::optional<std::string> text = value->text()) {
        fact.isText = true;
        fact.expandable = value->type == registry::ValueType::ExpandString;
        fact.text = std::move(*text);
    }
    return fact;
}

// The path a server value names: expanded when it may be, then unquoted.
std::string serverPathOf(const ValueFact& value, bool expandAlways)
{
    const std::string text =
        value.expandable || expandAlways ? registry::expandEnvironment(value.text) : value.text;
    return classes::pathOfServerValue(text);
}

ServerFacts serverFacts(const MergedClasses& classes, const std::string& clsid, bool bits32)
{
    ServerFacts s;
    s.keyPresent = classes.keyExists(serverKey(clsid));
    s.value = factOf(classes.value(serverKey(clsid)));
    if (!s.value.isText || s.value.text.empty()) return s;
    s.expanded = s.value.expandable ? registry::expandEnvironment(s.value.text) : s.value.text;
    s.quoted = s.value.text.front() == '"';
    s.path = classes::pathOfServerValue(s.expanded);
    const platform::LoadedFile loaded = platform::loadedServerFile(s.path, bits32);
    s.file = loaded.path;
    s.inSystemFolder = loaded.fromSystemFolder;
    const platform::FileFacts file = platform::inspectFile(s.file, kPeProbeBytes);
    s.exists = file.exists && !file.isDirectory;
    if (s.exists && file.firstBytes) s.image = readPeImage(*file.firstBytes);
    return s;
}

DotNetFacts dotNetFacts(const MergedClasses& classes, const std::string& clsid)
{
    DotNetFacts d;
    d.className = factOf(classes.value(serverKey(clsid), "Class"));
    d.assembly = factOf(classes.value(serverKey(clsid), "Assembly"));
    d.codeBase = factOf(classes.value(serverKey(clsid), "CodeBase"));
    if (d.codeBase.isText) d.codeBasePath = pathFromFileUri(d.codeBase.text);
    d.codeBaseExists = d.codeBasePath && platform::fileExists(*d.codeBasePath);
    return d;
}

// The CLSID a ProgID names in a view, through CurVer when it names none.
std::string clsidOfProgId(const MergedClasses& classes, const std::string& progId)
{
    std::string clsid = classes.text(progId + "\\CLSID");
    if (clsid.empty()) {
        const std::string current = classes.text(progId + "\\CurVer");
        if (!current.empty() && !equalIgnoringCase(current, progId)) clsid = classes.text(current + "\\CLSID");
    }
    return clsid;
}

ClassFacts gatherFacts(const ClassRef& ref)
{
    ClassFacts f;
    f.clsid = ref.clsid;
    const MergedClasses classes64(View::Bits64);
    const MergedClasses classes32(View::Bits32);
    f.in64 = classes64.keyExists(classKey(ref.clsid));
    f.in32 = classes32.keyExists(classKey(ref.clsid));
    f.view = f.in64 || !f.in32 ? 64 : 32;
    const View view = f.view == 64 ? View::Bits64 : View::Bits32;
    const MergedClasses& classes = f.view == 64 ? classes64 : classes32;
    const std::string key = classKey(ref.clsid);

    if (f.in64 || f.in32) {
        f.inMachine = RegistryReader(Hive::MachineClasses, view).keyExists(key);
        f.inUser = RegistryReader(Hive::UserClasses, view).keyExists(key);
        f.server = serverFacts(classes, ref.clsid, f.view == 32);
        f.threadingModel = factOf(classes.value(serverKey(ref.clsid), "ThreadingModel"));
        if (isDotNetLoader(f.server.path)) f.dotNet = dotNetFacts(classes, ref.clsid);
        f.menuName = factOf(classes.value(key));
        f.descriptionKey = classes.keyExists(key + "\\Description");
        f.implementedCategories = classes.subKeys(key + "\\Implemented Categories");
        f.requiredCategories = classes.subKeys(key + "\\Required Categories");
        const std::string settings = key + "\\Settings";
        f.settingsKey = classes.keyExists(settings);
        f.loadOnStartUp = factOf(classes.value(settings, "LoadOnStartUp"));
        f.type = factOf(classes.value(settings, "Type"));
        f.supportedVersion = factOf(classes.value(settings, "SupportedSoftwareVersionGreaterThan"));
    }
    if (!ref.progId.empty()) {
        ProgIdFacts p;
        p.name = ref.progId;
        p.keyPresent = classes.keyExists(ref.progId);
        p.clsid = clsidOfProgId(classes, ref.progId);
        p.classProgId = classes.text(key + "\\ProgID");
        p.classIndependentProgId = classes.text(key + "\\VersionIndependentProgID");
        f.progId = std::move(p);
    }
    return f;
}

void addClass(std::vector<ClassRef>& refs, const std::string& clsid, const std::string& progId)
{
    for (const ClassRef& ref : refs)
        if (equalIgnoringCase(ref.clsid, clsid)) return;
    refs.push_back({clsid, progId});
}

// Every class whose in-process server is the file, by each hive's own copy
// in either view.
void addClassesOfFile(std::vector<ClassRef>& refs, const std::string& target)
{
    const std::string file = platform::absolutePath(classes::pathOfServerValue(target));
    for (View view : {View::Bits64, View::Bits32}) {
        for (Hive hive : {Hive::UserClasses, Hive::MachineClasses}) {
            const RegistryReader reader(hive, view);
            for (const std::string& clsid : reader.subKeys("CLSID")) {
                const ValueFact value = factOf(reader.value(serverKey(clsid)));
                if (!value.isText || value.text.empty()) continue;
                const std::string path = serverPathOf(value, true);
                if (samePath(path, file) || samePath(platform::loadedServerFile(path, view == View::Bits32).path, file))
                    addClass(refs, clsid, "");
            }
        }
    }
}

// The key's full name as the 64-bit view shows it: a key of the 32-bit view
// that the registry redirects is named by its Wow6432Node path.
std::string realKeyName(Hive hive, View view, const std::string& path)
{
    const RegistryReader reader64(hive, View::Bits64);
    if (view == View::Bits32) {
        std::string redirected = kWow64Node;
        redirected += path;
        if (reader64.keyExists(redirected)) return reader64.fullName(redirected);
    }
    return reader64.fullName(path);
}

// The key's full name and those of every key below it.
void addTree(const RegistryReader& reader, Hive hive, const std::string& path, std::vector<std::string>& names,
             std::set<std::string>& seen)
{
    const std::string name = realKeyName(hive, reader.view(), path);
    if (!seen.insert(upper(name)).second) return;
    names.push_back(name);
    for (const std::string& sub : reader.subKeys(path)) {
        std::string below = path;
        below += '\\';
        below += sub;
        addTree(reader, hive, below, names, seen);
    }
}

// The subkey names of one key in each hive and view, read once: opening keys
// one by one is slow, above all in the 32-bit view.
class SubKeyIndex {
public:
    explicit SubKeyIndex(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    const std::vector<std::string>& names(Hive hive, View view) { return entry(hive, view).names; }
    bool contains(Hive hive, View view, const std::string& name)
    {
        return entry(hive, view).upper.contains(upper(name));
    }

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
        made.names = RegistryReader(hive, view).subKeys(path_);
        for (const std::string& name : made.names) made.upper.insert(doctor::upper(name));
        return made;
    }
    std::string path_;
    std::map<std::pair<int, int>, Entry> entries_;
};


int bitsOf(View view) { return view == View::Bits64 ? 64 : 32; }
View otherView(View view) { return view == View::Bits64 ? View::Bits32 : View::Bits64; }

// Whether a server path names a file known to be gone, as the view's loader
// looks for it. Only a full path with a drive can be known to be gone.
bool isGone(const std::string& path, View view)
{
    if (path.size() < 3 || path.compare(1, 2, ":\\") != 0) return false;
    return !platform::fileExists(platform::loadedServerFile(path, view == View::Bits32).path);
}

class StaleFinder {
public:
    std::vector<StaleClass> run(const std::vector<View>& views)
    {
        for (View view : views)
            for (Hive hive : {Hive::MachineClasses, Hive::UserClasses}) findClasses(hive, view);
        for (size_t i = 0; i < stale_.size(); ++i) byClsid_[upper(stale_[i].clsid)].push_back(i);
        if (!stale_.empty())
            for (View view : views)
                for (Hive hive : {Hive::MachineClasses, Hive::UserClasses}) findProgIds(hive, view);
        return std::move(stale_);
    }

private:
    void findClasses(Hive hive, View view)
    {
        const RegistryReader reader(hive, view);
        for (const std::string& clsid : classes_.names(hive, view)) {
            const ValueFact value = factOf(reader.value(serverKey(clsid)));
            if (!value.isText || value.text.empty()) continue;
            const std::string path = serverPathOf(value, true);
            if (!isGone(path, view)) continue;
            const std::string key = realKeyName(hive, view, classKey(clsid));
            if (staleKeys_.contains(upper(key))) continue;
            // A key both views share is stale only if neither finds the file.
            const bool both = shared(classes_, hive, view, clsid);
            if (both && !isGone(path, otherView(view))) continue;
            StaleClass c;
            c.clsid = clsid;
            c.views = both ? std::vector<int>{64, 32} : std::vector<int>{bitsOf(view)};
            c.perUser = hive == Hive::UserClasses;
            c.key = key;
            c.server = value.text;
            c.file = platform::loadedServerFile(path, view == View::Bits32).path;
            staleKeys_.insert(upper(key));
            stale_.push_back(std::move(c));
        }
    }

    void findProgIds(Hive hive, View view)
    {
        const RegistryReader reader(hive, view);
        for (const std::string& name : classes::listedProgIds(topKeys_.names(hive, view))) {
            if (equalIgnoringCase(name, "Wow6432Node")) continue;
            const std::string clsid = reader.text(name + "\\CLSID");
            const auto ofClsid = clsid.empty() ? byClsid_.end() : byClsid_.find(upper(clsid));
            if (ofClsid == byClsid_.end()) continue;
            const std::string key = realKeyName(hive, view, name);
            if (progIdKeys_.contains(upper(key))) continue;
            const bool both = shared(topKeys_, hive, view, name);
            if (liveIn(view, clsid) || (both && liveIn(otherView(view), clsid))) continue;
            // With the first stale class of that CLSID in a view that sees the ProgID.
            for (size_t i : ofClsid->second) {
                StaleClass& c = stale_[i];
                if (both || std::find(c.views.begin(), c.views.end(), bitsOf(view)) != c.views.end()) {
                    c.progIds.push_back({name, key});
                    progIdKeys_.insert(upper(key));
                    break;
                }
            }
        }
    }

    // Whether the other view opens the same key as this one.
    static bool shared(SubKeyIndex& index, Hive hive, View view, const std::string& name)
    {
        const std::string path = index.path().empty() ? name : index.path() + "\\" + name;
        return index.contains(hive, otherView(view), name) &&
               upper(realKeyName(hive, otherView(view), path)) == upper(realKeyName(hive, view, path));
    }

    // Whether the view still has a registration of the class that is not stale.
    bool liveIn(View view, const std::string& clsid)
    {
        const auto live = [&](Hive hive) {
            return classes_.contains(hive, view, clsid) &&
                   !staleKeys_.contains(upper(realKeyName(hive, view, classKey(clsid))));
        };
        return live(Hive::MachineClasses) || live(Hive::UserClasses);
    }

    SubKeyIndex classes_{"CLSID"};
    SubKeyIndex topKeys_{""};
    std::vector<StaleClass> stale_;
    std::set<std::string> staleKeys_;                          // upper-case full key names
    std::map<std::string, std::vector<size_t>> byClsid_;       // upper-case CLSID -> indices in stale_
    std::set<std::string> progIdKeys_;                         // upper-case full key names
};

} // namespace

std::vector<ClassRef> classesOf(const std::string& target)
{
    std::vector<ClassRef> refs;
    const MergedClasses classes64(View::Bits64);
    const MergedClasses classes32(View::Bits32);
    switch (targetKindOf(target)) {
    case TargetKind::Clsid:
        if (classes64.keyExists(classKey(target)) || classes32.keyExists(classKey(target))) addClass(refs, target, "");
        break;
    case TargetKind::ProgId:
        for (const MergedClasses* classes : {&classes64, &classes32})
            if (std::string clsid = clsidOfProgId(*classes, target); !clsid.empty()) addClass(refs, clsid, target);
        break;
    case TargetKind::Path: addClassesOfFile(refs, target); break;
    }
    return refs;
}

Checklist checkClass(const ClassRef& ref, const std::string& target, Host host)
{
    Checklist list;
    list.target = target;
    list.facts = gatherFacts(ref);
    list.items = judge(list.facts, host);
    return list;
}

std::vector<Checklist> checkTarget(const std::string& target, Host host)
{
    std::vector<Checklist> lists;
    for (const ClassRef& ref : classesOf(target)) lists.push_back(checkClass(ref, target, host));
    return lists;
}

std::string checkReport(const std::string& target, Host host)
{
    const std::vector<Checklist> lists = checkTarget(target, host);
    return lists.empty() ? notFoundText(target) : checklistText(lists);
}

std::vector<Finding> verifyMerge(const std::string& scriptText)
{
    return verifyScript(scriptText, platform::verifyProbe(), {platform::ansiScriptDecoder(), scripts::Importer::Reg});
}

std::vector<std::string> serverFilesOf(const ClassRef& ref)
{
    std::vector<std::string> files;
    for (View view : {View::Bits64, View::Bits32}) {
        const MergedClasses classes(view);
        if (!classes.keyExists(classKey(ref.clsid))) continue;
        const ServerFacts server = serverFacts(classes, ref.clsid, view == View::Bits32);
        if (server.file.empty()) continue;
        if (std::none_of(files.begin(), files.end(), [&](const std::string& f) { return samePath(f, server.file); }))
            files.push_back(server.file);
    }
    return files;
}

std::vector<std::string> progIdsOf(const ClassRef& ref)
{
    std::vector<std::string> names;
    auto add = [&](const std::string& name) {
        if (!name.empty() && std::none_of(names.begin(), names.end(), [&](const std::string& n) {
                return equalIgnoringCase(n, name);
            }))
            names.push_back(name);
    };
    add(ref.progId);
    for (View view : {View::Bits64, View::Bits32}) {
        const MergedClasses classes(view);
        add(classes.text(classKey(ref.clsid) + "\\ProgID"));
        add(classes.text(classKey(ref.clsid) + "\\VersionIndependentProgID"));
    }
    return names;
}

std::vector<std::string> keysLeft(const std::string& clsid, const std::vector<std::string>& progIds)
{
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (View view : {View::Bits64, View::Bits32}) {
        for (Hive hive : {Hive::MachineClasses, Hive::UserClasses}) {
            const RegistryReader reader(hive, view);
            if (reader.keyExists(classKey(clsid))) addTree(reader, hive, classKey(clsid), names, seen);
            for (const std::string& progId : progIds)
                if (reader.keyExists(progId) && equalIgnoringCase(clsidOfProgId(MergedClasses(view), progId), clsid))
                    addTree(reader, hive, progId, names, seen);
        }
    }
    return names;
}

std::vector<StaleClass> findStaleClasses(bool view64, bool view32)
{
    std::vector<View> views;
    if (view64) views.push_back(View::Bits64);
    if (view32) views.push_back(View::Bits32);
    return StaleFinder().run(views);
}

} // namespace doctor
