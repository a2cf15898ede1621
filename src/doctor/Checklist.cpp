#include "doctor/Checklist.h"

#include "scripts/HostCategories.h"
#include "text/Text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace doctor {

namespace {

using text::equalIgnoringCase;

std::string quoted(const std::string& text) { return '"' + text + '"'; }

std::string viewName(int view) { return view == 32 ? "the 32-bit view" : "the 64-bit view"; }

bool contains(const std::vector<std::string>& names, const std::string& wanted)
{
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return equalIgnoringCase(n, wanted); });
}

// What a missing or mistyped text value is, or "" when it is a text.
std::string textProblem(const ValueFact& value, const std::string& name)
{
    if (!value.present) return "no " + name;
    if (!value.isText) return name + " is " + value.typeName + ", not a string";
    return "";
}

std::string joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    return text;
}

Item presenceItem(const ClassFacts& f)
{
    // A host of the asked view's bitness reads that view alone.
    if (f.viewAsked && f.view == 32) {
        if (f.in32) return {kPresence, Status::Pass, "in the 32-bit view (WOW6432Node), as a 32-bit host reads it"};
        if (f.in64) return {kPresence, Status::Fail, "only in the 64-bit view: a 32-bit host does not see it"};
    }
    if (f.in64 && f.in32) return {kPresence, Status::Pass, "in both views; a 64-bit host reads the 64-bit one"};
    if (f.in64) return {kPresence, Status::Pass, "in the 64-bit view"};
    if (f.in32)
        return {kPresence, Status::Fail, "only in the 32-bit view (WOW6432Node): a 64-bit host does not see it"};
    return {kPresence, Status::Fail, "no class key CLSID\\" + f.clsid + " in either view or hive"};
}

Item hiveItem(const ClassFacts& f)
{
    if (f.inMachine && f.inUser)
        return {kHive, Status::Warn,
                "in HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER\\Software\\Classes: the per-user copy wins, except in an "
                "elevated host"};
    if (f.inUser)
        return {kHive, Status::Warn,
                "per-user only (HKEY_CURRENT_USER\\Software\\Classes): an elevated host ignores it"};
    return {kHive, Status::Pass, "HKEY_LOCAL_MACHINE\\Software\\Classes"};
}

Item serverItem(const ServerFacts& s)
{
    using classes::ServerState;
    if (!s.keyPresent) return {kServer, Status::Fail, "no InProcServer32 key"};
    if (!s.value.present) return {kServer, Status::Fail, "InProcServer32 has no server value"};
    const classes::ServerFile& file = s.loaded;
    if (file.state == ServerState::NotText)
        return {kServer, Status::Fail, "InProcServer32 has server value is " + s.value.typeName + ", not a string"};
    if (file.state == ServerState::NotSet) return {kServer, Status::Fail, "the server value is empty"};

    std::string what = s.value.typeName + " " + quoted(file.text);
    if (s.value.expandable) what += " expands to " + quoted(file.expanded);
    if (file.state == ServerState::Folder) return {kServer, Status::Fail, what + ": " + file.file + " is a folder, not a file"};
    if (file.state == ServerState::NotFound) {
        std::string reason = what + ": " + classes::describeLocation(file);
        if (!s.value.expandable && file.text.find('%') != std::string::npos) reason += " (REG_SZ is not expanded)";
        return {kServer, Status::Fail, reason};
    }
    if (file.searched)
        return {kServer, Status::Warn,
                what + ", " + classes::describeLocation(file) +
                    "; a bare name is looked for first in the host's own folder, and PATH is the host's"};
    if (s.value.expandable)
        return {kServer, Status::Warn, what + "; a host that reads it as a plain string does not find the file"};
    if (file.quoted)
        return {kServer, Status::Warn, what + " is in quotes; a host that takes it as a path does not find the file"};
    if (s.value.typeName == "REG_MULTI_SZ")
        return {kServer, Status::Warn, what + " is a REG_MULTI_SZ; the loader takes its first string"};
    return {kServer, Status::Pass, what + " exists"};
}

Item machineItem(const ClassFacts& f)
{
    const ServerFacts& s = f.server;
    if (!s.loaded.found()) return {kMachine, Status::Fail, "not read: no server file"};
    if (!s.image) return {kMachine, Status::Fail, "not read: " + s.loaded.file + " cannot be opened"};
    const PeImageInfo& image = *s.image;
    if (image.machine == PeMachine::NotPe) return {kMachine, Status::Fail, s.loaded.file + " is not a PE image"};
    const std::string name = machineName(image);
    if (!image.isDll) return {kMachine, Status::Fail, name + " executable, not a DLL"};
    if (!fitsView(image, f.view))
        return {kMachine, Status::Fail,
                name + " DLL in " + viewName(f.view) + ": a " + (f.view == 32 ? "32" : "64") +
                    "-bit host cannot load it"};
    if (image.machine == PeMachine::Arm64) return {kMachine, Status::Warn, "ARM64 DLL: only an ARM64 host loads it"};
    return {kMachine, Status::Pass, name + " DLL, as " + viewName(f.view) + " needs"};
}

// Why the server's own tables cannot be judged, or "" when they can.
std::string notRead(const ServerFacts& s)
{
    if (!s.loaded.found()) return "not read: no server file";
    if (!s.image) return "not read: " + s.loaded.file + " cannot be opened";
    if (s.image->machine == PeMachine::NotPe) return "not read: " + s.loaded.file + " is not a PE image";
    if (!s.tables) return "not read: " + s.loaded.file + " cannot be opened";
    if (!s.tables->readable) return "not read: " + s.loaded.file + " has " + s.tables->problem;
    return "";
}

Item exportsItem(const ServerFacts& s)
{
    if (std::string why = notRead(s); !why.empty()) return {kExports, Status::Fail, why};
    const bool getClassObject = s.tables->exportNamed("DllGetClassObject") != nullptr;
    const bool canUnloadNow = s.tables->exportNamed("DllCanUnloadNow") != nullptr;
    if (!getClassObject)
        return {kExports, Status::Fail, "no DllGetClassObject export: COM cannot get the class object"};
    if (!canUnloadNow)
        return {kExports, Status::Warn, "DllGetClassObject, but no DllCanUnloadNow: COM never unloads the DLL"};
    return {kExports, Status::Pass, "DllGetClassObject and DllCanUnloadNow"};
}

std::string listed(const std::vector<DependencyFinding>& findings, bool fails)
{
    constexpr size_t kShown = 3;
    std::vector<std::string> texts;
    size_t count = 0;
    for (const DependencyFinding& finding : findings) {
        if (finding.fails != fails) continue;
        if (++count <= kShown) texts.push_back(finding.text);
    }
    std::string text = joined(texts);
    if (count > kShown) text += "; and " + std::to_string(count - kShown) + " more";
    return text;
}

Item dependenciesItem(const ClassFacts& f)
{
    const ServerFacts& s = f.server;
    if (std::string why = notRead(s); !why.empty()) return {kDependencies, Status::Fail, why};
    if (!s.image->isDll || !fitsView(*s.image, f.view) || !s.dependencies)
        return {kDependencies, Status::Fail, "not followed: the server itself does not load in " + viewName(f.view)};
    const DependencyWalk& walk = *s.dependencies;
    const auto fails = [](const DependencyFinding& finding) { return finding.fails; };
    if (std::any_of(walk.findings.begin(), walk.findings.end(), fails))
        return {kDependencies, Status::Fail, listed(walk.findings, true)};
    if (!walk.findings.empty()) return {kDependencies, Status::Warn, listed(walk.findings, false)};
    std::string reason = std::to_string(walk.modules) + (walk.modules == 1 ? " module" : " modules") +
                         ", every import found and exported";
    if (walk.apiSets > 0) reason += "; " + std::to_string(walk.apiSets) + " API-set imports left to the system";
    return {kDependencies, Status::Pass, reason};
}

Item threadingItem(const ValueFact& v)
{
    if (!v.present)
        return {kThreading, Status::Warn, "missing: COM runs the class in the main single-threaded apartment"};
    if (!v.isText) return {kThreading, Status::Warn, "ThreadingModel is " + v.typeName + ", not a string"};
    static constexpr std::array<const char*, 4> models{"Apartment", "Both", "Free", "Neutral"};
    for (const char* model : models)
        if (equalIgnoringCase(v.text, model)) return {kThreading, Status::Pass, v.text};
    return {kThreading, Status::Warn, quoted(v.text) + " is not Apartment, Both, Free or Neutral"};
}

Item dotNetItem(const DotNetFacts& d)
{
    std::vector<std::string> problems;
    for (const auto& [value, name] : {std::pair{&d.className, "Class"}, std::pair{&d.assembly, "Assembly"},
                                      std::pair{&d.codeBase, "CodeBase"}})
        if (std::string problem = textProblem(*value, name); !problem.empty()) problems.push_back(problem);
    if (d.codeBase.present && d.codeBase.isText) {
        if (!d.codeBasePath)
            problems.push_back("CodeBase " + quoted(d.codeBase.text) + " is not a file URI");
        else if (!d.codeBaseExists)
            problems.push_back("CodeBase " + quoted(d.codeBase.text) + ": " + *d.codeBasePath + " does not exist");
    }
    if (!problems.empty()) return {kDotNet, Status::Fail, joined(problems)};
    return {kDotNet, Status::Pass, "Class " + quoted(d.className.text) + ", CodeBase " + *d.codeBasePath + " exists"};
}

Item menuItem(const ClassFacts& f)
{
    std::vector<std::string> problems;
    if (!f.menuName.present || !f.menuName.isText || f.menuName.text.empty())
        problems.emplace_back("no menu name: the class key's default value is empty");
    if (!f.descriptionKey) problems.emplace_back("no Description subkey");
    if (!problems.empty()) return {kMenu, Status::Warn, joined(problems)};
    return {kMenu, Status::Pass, quoted(f.menuName.text) + ", with a Description"};
}

const char* categoryName(const std::string& category)
{
    return category == scripts::kR6Category ? "the R6 category" : "the older host's category";
}

Item categoriesItem(const ClassFacts& f, Host host)
{
    std::vector<std::string> wanted;
    if (host != Host::Older) wanted.emplace_back(scripts::kR6Category);
    if (host != Host::R6) wanted.emplace_back(scripts::kOlderCategory);
    for (const std::string& category : wanted)
        if (contains(f.implementedCategories, category) && contains(f.requiredCategories, category))
            return {kCategories, Status::Pass,
                    std::string(categoryName(category)) + " " + category + ", implemented and required"};
    // Say what is missing of the first one the class has any trace of.
    for (const std::string& category : wanted) {
        const bool implemented = contains(f.implementedCategories, category);
        if (implemented || contains(f.requiredCategories, category))
            return {kCategories, Status::Fail,
                    std::string(categoryName(category)) + " " + category + " is not under " +
                        (implemented ? "Required Categories" : "Implemented Categories")};
    }
    std::string names = wanted[0];
    if (wanted.size() > 1) names += " or " + wanted[1];
    return {kCategories, Status::Fail,
            "the host's category " + names + " is under neither Implemented nor Required Categories"};
}

Item settingsItem(const ClassFacts& f)
{
    if (!f.settingsKey) return {kSettings, Status::Fail, "no Settings key"};
    std::vector<std::string> problems;
    for (const auto& [value, name] : {std::pair{&f.loadOnStartUp, "LoadOnStartUp"}, std::pair{&f.type, "Type"}})
        if (std::string problem = textProblem(*value, name); !problem.empty()) problems.push_back(problem);
    if (!problems.empty()) return {kSettings, Status::Fail, "Settings has " + joined(problems)};
    std::string reason = "LoadOnStartUp " + quoted(f.loadOnStartUp.text) + ", Type " + quoted(f.type.text);
    if (contains(f.implementedCategories, scripts::kR6Category) && f.supportedVersion.present) {
        if (!f.supportedVersion.isText)
            return {kSettings, Status::Warn,
                    reason + "; SupportedSoftwareVersionGreaterThan is " + f.supportedVersion.typeName +
                        ", not a string"};
        reason += ", SupportedSoftwareVersionGreaterThan " + quoted(f.supportedVersion.text);
    }
    return {kSettings, Status::Pass, reason};
}

Item progIdItem(const ProgIdFacts& p, const ClassFacts& f)
{
    const std::string name = quoted(p.name);
    if (!p.keyPresent) return {kProgId, Status::Fail, name + " is not registered in " + viewName(f.view)};
    if (p.clsid.empty()) return {kProgId, Status::Fail, name + " has no CLSID"};
    if (!equalIgnoringCase(p.clsid, f.clsid))
        return {kProgId, Status::Fail, name + " names " + p.clsid + ", not this class, in " + viewName(f.view)};
    const bool namedBack =
        equalIgnoringCase(p.classProgId, p.name) || equalIgnoringCase(p.classIndependentProgId, p.name);
    if (!p.classProgId.empty() && !namedBack)
        return {kProgId, Status::Warn, "the class names the ProgID " + quoted(p.classProgId) + ", not " + name};
    return {kProgId, Status::Pass, name + " names this class" + (namedBack ? ", and the class names it back" : "")};
}

} // namespace

const char* statusName(Status status)
{
    switch (status) {
    case Status::Pass: return "pass";
    case Status::Warn: return "warn";
    case Status::Fail: return "fail";
    }
    return "fail";
}

Status Checklist::result() const
{
    Status worst = Status::Pass;
    for (const Item& item : items) worst = std::max(worst, item.status);
    return worst;
}

std::vector<Item> judge(const ClassFacts& facts, Host host)
{
    std::vector<Item> items{presenceItem(facts)};
    if (facts.in64 || facts.in32) {
        items.push_back(hiveItem(facts));
        items.push_back(serverItem(facts.server));
        items.push_back(machineItem(facts));
        // A .NET class's code is an assembly: the loader DLL's tables say nothing of it.
        if (!isDotNetLoader(facts.server.loaded.path)) {
            items.push_back(exportsItem(facts.server));
            items.push_back(dependenciesItem(facts));
        }
        items.push_back(threadingItem(facts.threadingModel));
        if (facts.dotNet) items.push_back(dotNetItem(*facts.dotNet));
        items.push_back(menuItem(facts));
        items.push_back(categoriesItem(facts, host));
        items.push_back(settingsItem(facts));
        if (facts.typeLib) {
            items.push_back(typeLibItem(*facts.typeLib, facts.clsid));
            items.push_back(interfacesItem(*facts.typeLib, facts.clsid, facts.interfaces));
        }
    }
    if (facts.progId) items.push_back(progIdItem(*facts.progId, facts));
    return items;
}

TargetKind targetKindOf(const std::string& target)
{
    if (!target.empty() && target.front() == '{') return TargetKind::Clsid;
    if (target.find_first_of("\\/:") != std::string::npos) return TargetKind::Path;
    if (text::endsWithIgnoringCase(target, ".dll") && target.size() > 4) return TargetKind::Path;
    return TargetKind::ProgId;
}

bool isDotNetLoader(const std::string& path) { return equalIgnoringCase(text::fileNameOf(path), "mscoree.dll"); }

bool fitsView(const PeImageInfo& image, int view)
{
    return view == 32 ? image.machine == PeMachine::X86
                      : image.machine == PeMachine::X64 || image.machine == PeMachine::Arm64;
}

std::string machineName(const PeImageInfo& image)
{
    switch (image.machine) {
    case PeMachine::NotPe: return "not a PE image";
    case PeMachine::X86: return "x86";
    case PeMachine::X64: return "x64";
    case PeMachine::Arm64: return "ARM64";
    case PeMachine::Other: break;
    }
    char code[32];
    std::snprintf(code, sizeof(code), "machine 0x%04X", static_cast<unsigned>(image.machineCode));
    return code;
}

} // namespace doctor
