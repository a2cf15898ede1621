#include "doctor/Doctor.h"

#include "doctor/FileUri.h"
#include "doctor/PeImage.h"
#include "doctor/PeTables.h"
#include "text/Text.h"

#include <algorithm>
#include <set>

namespace doctor {

namespace {

using classes::Hive;
using classes::MergedClasses;
using classes::View;
using classes::classKey;
using classes::serverKey;
using text::equalIgnoringCase;

ValueFact factOf(const std::optional<classes::Value>& value)
{
    ValueFact fact;
    if (!value) return fact;
    fact.present = true;
    fact.typeName = classes::typeName(value->type);
    if (std::optional<std::string> text = value->text()) {
        fact.isText = true;
        fact.expandable = value->type == classes::ValueType::ExpandString;
        fact.text = std::move(*text);
    }
    return fact;
}

ServerFacts serverFacts(const Machine& machine, const MergedClasses& classes, const std::string& clsid)
{
    ServerFacts s;
    s.keyPresent = classes.keyExists(serverKey(clsid));
    const std::optional<classes::Value> value = classes.value(serverKey(clsid));
    s.value = factOf(value);
    s.loaded = classes::resolveServer(value, classes.view(), machine.files);
    if (!s.loaded.found()) return s;
    if (std::optional<std::string> bytes = machine.reader.firstBytes(s.loaded.file, kPeProbeBytes))
        s.image = readPeImage(*bytes);
    if (!s.image || s.image->machine == PeMachine::NotPe || isDotNetLoader(s.loaded.path)) return s;
    if (std::optional<ModuleFile> file = machine.reader.wholeFile(s.loaded.file)) s.tables = readPeTables(file->bytes);
    const int view = classes.view() == View::Bits32 ? 32 : 64;
    if (s.tables && s.tables->readable && s.image->isDll && fitsView(*s.image, view))
        s.dependencies = walkDependencies(s.loaded.file, *s.tables, classes.view(), machine.files, machine.reader);
    return s;
}

// A class served by the .NET loader is a .NET class only when it names its
// assembly; the runtime's own classes there name none of these.
std::optional<DotNetFacts> dotNetFacts(const Machine& machine, const MergedClasses& classes, const std::string& clsid)
{
    DotNetFacts d;
    d.className = factOf(classes.value(serverKey(clsid), "Class"));
    d.assembly = factOf(classes.value(serverKey(clsid), "Assembly"));
    d.codeBase = factOf(classes.value(serverKey(clsid), "CodeBase"));
    if (!d.className.present && !d.assembly.present && !d.codeBase.present) return std::nullopt;
    if (d.codeBase.isText) d.codeBasePath = pathFromFileUri(d.codeBase.text);
    d.codeBaseExists = d.codeBasePath && machine.files.kindOf(*d.codeBasePath) == classes::PathKind::File;
    return d;
}

ClassFacts gatherFacts(const Machine& machine, const ClassRef& ref)
{
    ClassFacts f;
    f.clsid = ref.clsid;
    const MergedClasses classes64(machine.registry, View::Bits64);
    const MergedClasses classes32(machine.registry, View::Bits32);
    const std::string key = classKey(ref.clsid);
    f.in64 = classes64.keyExists(key);
    f.in32 = classes32.keyExists(key);
    f.view = ref.view != 0 ? ref.view : f.in64 || !f.in32 ? 64 : 32;
    f.viewAsked = ref.view != 0;
    const MergedClasses& classes = f.view == 64 ? classes64 : classes32;

    if (f.in64 || f.in32) {
        f.inMachine = machine.registry.keyExists(Hive::MachineClasses, classes.view(), key);
        f.inUser = machine.registry.keyExists(Hive::UserClasses, classes.view(), key);
        f.server = serverFacts(machine, classes, ref.clsid);
        f.threadingModel = factOf(classes.value(serverKey(ref.clsid), "ThreadingModel"));
        if (isDotNetLoader(f.server.loaded.path)) f.dotNet = dotNetFacts(machine, classes, ref.clsid);
        f.menuName = factOf(classes.value(key));
        f.descriptionKey = classes.keyExists(key + "\\Description");
        f.implementedCategories = classes.subKeys(key + "\\Implemented Categories");
        f.requiredCategories = classes.subKeys(key + "\\Required Categories");
        const std::string settings = key + "\\Settings";
        f.settingsKey = classes.keyExists(settings);
        f.loadOnStartUp = factOf(classes.value(settings, "LoadOnStartUp"));
        f.type = factOf(classes.value(settings, "Type"));
        f.supportedVersion = factOf(classes.value(settings, "SupportedSoftwareVersionGreaterThan"));
        if (classes.keyExists(key + "\\TypeLib")) {
            f.typeLib = resolveTypeLib(classes, machine.files, machine.reader, classes.text(key + "\\TypeLib"),
                                       classes.text(key + "\\Version"));
            if (f.typeLib->result() == 0)
                if (const TypeLibCoclass* coclass = f.typeLib->loaded->coclass(ref.clsid))
                    f.interfaces = interfaceFacts(classes, machine.files, machine.reader, *coclass, *f.typeLib);
        }
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
    refs.push_back({clsid, progId, 0});
}

// Every class whose in-process server is the file, by each hive's own copy
// in either view: the file the loader loads, or for one it does not find,
// the path it looks for.
void addClassesOfFile(const Machine& machine, std::vector<ClassRef>& refs, const std::string& target)
{
    const std::string file = machine.reader.absolutePath(
        classes::serverPathOf(target, classes::ValueType::String, machine.files));
    for (View view : {View::Bits64, View::Bits32}) {
        for (Hive hive : {Hive::UserClasses, Hive::MachineClasses}) {
            for (const std::string& clsid : machine.registry.subKeys(hive, view, "CLSID")) {
                const std::optional<classes::Value> value = machine.registry.value(hive, view, serverKey(clsid), "");
                const classes::ServerFile server = classes::resolveServer(value, view, machine.files);
                if (server.path.empty()) continue;
                if (text::samePathSpelling(server.path, file) ||
                    (!server.file.empty() && text::samePathSpelling(server.file, file)))
                    addClass(refs, clsid, "");
            }
        }
    }
}

// The key's full name and those of every key below it.
void addTree(const Machine& machine, Hive hive, View view, const std::string& path, std::vector<std::string>& names,
             std::set<std::string>& seen)
{
    const std::string name = machine.registry.fullName(hive, view, path);
    if (!seen.insert(text::upperAscii(name)).second) return;
    names.push_back(name);
    if (machine.registry.isLink(hive, view, path)) return; // never followed
    for (const std::string& sub : machine.registry.subKeys(hive, view, path))
        addTree(machine, hive, view, text::below(path, sub), names, seen);
}

} // namespace

std::string clsidOfProgId(const MergedClasses& classes, const std::string& progId)
{
    std::string clsid = classes.text(progId + "\\CLSID");
    if (clsid.empty()) {
        const std::string current = classes.text(progId + "\\CurVer");
        if (!current.empty() && !equalIgnoringCase(current, progId)) clsid = classes.text(current + "\\CLSID");
    }
    return clsid;
}

std::vector<ClassRef> classesOf(const Machine& machine, const std::string& target)
{
    std::vector<ClassRef> refs;
    const MergedClasses classes64(machine.registry, View::Bits64);
    const MergedClasses classes32(machine.registry, View::Bits32);
    switch (targetKindOf(target)) {
    case TargetKind::Clsid:
        if (classes64.keyExists(classKey(target)) || classes32.keyExists(classKey(target))) addClass(refs, target, "");
        break;
    case TargetKind::ProgId:
        for (const MergedClasses* classes : {&classes64, &classes32})
            if (std::string clsid = clsidOfProgId(*classes, target); !clsid.empty()) addClass(refs, clsid, target);
        break;
    case TargetKind::Path: addClassesOfFile(machine, refs, target); break;
    }
    return refs;
}

Checklist checkClass(const Machine& machine, const ClassRef& ref, const std::string& target, Host host)
{
    Checklist list;
    list.target = target;
    list.facts = gatherFacts(machine, ref);
    list.items = judge(list.facts, host);
    return list;
}

std::vector<Checklist> checkTarget(const Machine& machine, const std::string& target, Host host, int view)
{
    std::vector<Checklist> lists;
    for (ClassRef ref : classesOf(machine, target)) {
        ref.view = view;
        lists.push_back(checkClass(machine, ref, target, host));
    }
    return lists;
}

std::vector<std::string> serverFilesOf(const Machine& machine, const ClassRef& ref, std::vector<std::string>* missing)
{
    std::vector<std::string> files;
    const auto addOnce = [](std::vector<std::string>& list, const std::string& file) {
        if (std::none_of(list.begin(), list.end(), [&](const std::string& f) { return text::samePathSpelling(f, file); }))
            list.push_back(file);
    };
    for (View view : {View::Bits64, View::Bits32}) {
        const MergedClasses classes(machine.registry, view);
        if (!classes.keyExists(classKey(ref.clsid))) continue;
        const classes::ServerFile server =
            classes::resolveServer(classes.value(serverKey(ref.clsid)), view, machine.files);
        if (server.found())
            addOnce(files, server.file);
        else if (missing && !server.path.empty())
            addOnce(*missing, server.file.empty() ? server.path : server.file);
    }
    return files;
}

std::vector<std::string> progIdsOf(const Machine& machine, const ClassRef& ref)
{
    std::vector<std::string> names;
    auto add = [&](const std::string& name) {
        if (!name.empty() &&
            std::none_of(names.begin(), names.end(), [&](const std::string& n) { return equalIgnoringCase(n, name); }))
            names.push_back(name);
    };
    add(ref.progId);
    for (View view : {View::Bits64, View::Bits32}) {
        const MergedClasses classes(machine.registry, view);
        add(classes.text(classKey(ref.clsid) + "\\ProgID"));
        add(classes.text(classKey(ref.clsid) + "\\VersionIndependentProgID"));
    }
    return names;
}

std::vector<std::string> keysLeft(const Machine& machine, const std::string& clsid,
                                  const std::vector<std::string>& progIds)
{
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (View view : {View::Bits64, View::Bits32}) {
        const MergedClasses classes(machine.registry, view);
        for (Hive hive : {Hive::MachineClasses, Hive::UserClasses}) {
            if (machine.registry.keyExists(hive, view, classKey(clsid)))
                addTree(machine, hive, view, classKey(clsid), names, seen);
            for (const std::string& progId : progIds)
                if (machine.registry.keyExists(hive, view, progId) &&
                    equalIgnoringCase(clsidOfProgId(classes, progId), clsid))
                    addTree(machine, hive, view, progId, names, seen);
        }
    }
    return names;
}

} // namespace doctor
