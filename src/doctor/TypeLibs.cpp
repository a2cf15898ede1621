#include "doctor/TypeLibs.h"

#include "doctor/Checklist.h"
#include "text/Fields.h"
#include "text/Text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace doctor {

namespace {

using text::equalIgnoringCase;

struct Version {
    unsigned major = 0;
    unsigned minor = 0;
};

// "major.minor" in hex, as LoadRegTypeLib reads a version key.
std::optional<Version> parseVersion(const std::string& name)
{
    const size_t dot = name.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 >= name.size() || dot > 4 || name.size() - dot - 1 > 4)
        return std::nullopt;
    Version version;
    unsigned* parts[] = {&version.major, &version.minor};
    const std::string halves[] = {name.substr(0, dot), name.substr(dot + 1)};
    for (size_t i = 0; i < 2; ++i) {
        for (char c : halves[i]) {
            const char lower = char(c | 0x20);
            unsigned digit = 0;
            if (c >= '0' && c <= '9')
                digit = unsigned(c - '0');
            else if (lower >= 'a' && lower <= 'f')
                digit = unsigned(lower - 'a' + 10);
            else
                return std::nullopt;
            *parts[i] = *parts[i] * 16 + digit;
        }
    }
    return version;
}

std::string versionText(unsigned major, unsigned minor)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%x.%x", major, minor);
    return text;
}

std::string listed(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// The version key LoadRegTypeLib takes: for one asked for, the same major
// and minor, else the highest minor above it; else the highest of all.
std::string chooseVersion(const std::vector<std::string>& keys, const std::string& asked)
{
    const std::optional<Version> want = asked.empty() ? std::nullopt : parseVersion(asked);
    if (!asked.empty() && !want) return {};
    std::string best;
    std::optional<Version> bestVersion;
    for (const std::string& key : keys) {
        const std::optional<Version> v = parseVersion(key);
        if (!v) continue;
        if (want) {
            if (v->major != want->major || v->minor < want->minor) continue;
            if (v->minor == want->minor) return key;
        }
        if (!bestVersion || std::pair(v->major, v->minor) > std::pair(bestVersion->major, bestVersion->minor)) {
            best = key;
            bestVersion = v;
        }
    }
    return best;
}

bool isResourceIndex(std::string_view tail)
{
    return !tail.empty() && std::all_of(tail.begin(), tail.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string quoted(const std::string& text) { return '"' + text + '"'; }

std::string sysKindName(int sysKind)
{
    switch (sysKind) {
    case 0: return "SYS_WIN16";
    case 1: return "SYS_WIN32";
    case 2: return "SYS_MAC";
    case 3: return "SYS_WIN64";
    default: return "SYSKIND " + std::to_string(sysKind);
    }
}

std::string interfaceName(const TypeLibInterface& i) { return (i.name.empty() ? std::string() : i.name + " ") + i.iid; }

} // namespace

std::string hresultName(unsigned long code)
{
    static constexpr std::array<std::pair<unsigned long, const char*>, 7> kNames{{
        {kLibNotRegistered, "TYPE_E_LIBNOTREGISTERED"},
        {kCantLoadLibrary, "TYPE_E_CANTLOADLIBRARY"},
        {kElementNotFound, "TYPE_E_ELEMENTNOTFOUND"},
        {kIidNotRegistered, "REGDB_E_IIDNOTREG"},
        {kNoInterface, "E_NOINTERFACE"},
        {0x80070002UL, "ERROR_FILE_NOT_FOUND"},
        {0x800288C6UL, "TYPE_E_INVDATAREAD"},
    }};
    for (const auto& [value, name] : kNames)
        if (value == code) return std::string(name) + " (" + text::codeText(code) + ")";
    return text::codeText(code);
}

const TypeLibCoclass* TypeLibFile::coclass(const std::string& clsid) const
{
    for (const TypeLibCoclass& c : coclasses)
        if (equalIgnoringCase(c.clsid, clsid)) return &c;
    return nullptr;
}

bool TypeLibFile::describes(const std::string& iid) const
{
    return std::any_of(interfaces.begin(), interfaces.end(), [&](const std::string& i) { return equalIgnoringCase(i, iid); });
}

TypeLibFacts resolveTypeLib(const classes::MergedClasses& classes, const classes::ServerFileSystem& files,
                            const TypeLibReader& reader, const std::string& libid, const std::string& version)
{
    TypeLibFacts t;
    t.libid = libid;
    t.askedVersion = version;
    t.view = classes::bitsOf(classes.view());
    const std::string key = "TypeLib\\" + libid;
    t.libKey = !libid.empty() && classes.keyExists(key);
    if (!t.libKey) return t;
    t.versions = classes.subKeys(key);
    t.version = chooseVersion(t.versions, version);
    if (t.version.empty()) return t;
    const std::string versionKey = key + "\\" + t.version;
    for (const std::string& locale : classes.subKeys(versionKey))
        if (!equalIgnoringCase(locale, "FLAGS") && !equalIgnoringCase(locale, "HELPDIR")) t.locales.push_back(locale);
    const std::string localeKey = versionKey + "\\0";
    t.platforms = classes.subKeys(localeKey);
    std::vector<const char*> wanted{"win32"};
    if (t.view == 64) wanted.insert(wanted.begin(), "win64");
    std::optional<classes::Value> value;
    for (const char* platform : wanted) {
        value = classes.value(localeKey + "\\" + platform);
        if (value) {
            t.platform = platform;
            break;
        }
    }
    if (t.platform.empty()) return t;
    t.file = classes::resolveServer(value, classes.view(), files);
    // A path may end in the resource's number: "C:\x\a.dll\2".
    if (!t.file.found() && !t.file.path.empty()) {
        const size_t slash = t.file.path.find_last_of("\\/");
        if (slash != std::string::npos && isResourceIndex(std::string_view(t.file.path).substr(slash + 1))) {
            const classes::ServerFile withoutIndex = classes::resolveServer(
                classes::Value::ofText(t.file.path.substr(0, slash)), classes.view(), files);
            if (withoutIndex.found()) {
                t.file.state = withoutIndex.state;
                t.file.file = withoutIndex.file + t.file.path.substr(slash);
            }
        }
    }
    // The system's own answer, for a file the rule does not find too.
    const std::string path = !t.file.file.empty() ? t.file.file : t.file.path;
    if (!path.empty()) t.loaded = reader.readTypeLib(path);
    return t;
}

unsigned long TypeLibFacts::result() const
{
    if (!libKey || version.empty() || platform.empty()) return kLibNotRegistered;
    if (!loaded) return kCantLoadLibrary;
    if (!loaded->loaded()) return loaded->result;
    if (const std::optional<Version> want = parseVersion(askedVersion))
        if (loaded->major != want->major || loaded->minor < want->minor) return kLibNotRegistered;
    return 0;
}

std::string TypeLibFacts::problem() const
{
    const std::string lib = "TypeLib\\" + libid;
    if (libid.empty()) return "the TypeLib key names no LIBID";
    if (!libKey) return lib + " is not registered";
    if (version.empty()) {
        if (!askedVersion.empty())
            return lib + " has no version " + askedVersion + " or a higher minor one" +
                   (versions.empty() ? std::string() : " (registered: " + listed(versions) + ")");
        return lib + " has no version key";
    }
    const std::string at = lib + "\\" + version;
    if (platform.empty()) return at + missingPlatform();
    const std::string where = at + "\\0\\" + platform + " " + quoted(file.text);
    if (!loaded) return where + " names no file";
    if (!loaded->loaded()) {
        if (!file.found()) return where + ": " + classes::describeLocation(file);
        return where + ": " + file.file + " is not a type library LoadTypeLibEx loads";
    }
    if (const std::optional<Version> want = parseVersion(askedVersion))
        if (loaded->major != want->major || loaded->minor < want->minor)
            return where + " holds version " + versionText(loaded->major, loaded->minor) + ", not " + askedVersion;
    return {};
}

std::string TypeLibFacts::missingPlatform() const
{
    if (std::find(locales.begin(), locales.end(), "0") == locales.end())
        return " has no locale key 0" + (locales.empty() ? std::string() : " (only " + listed(locales) + ")");
    return "\\0 has no " + std::string(view == 64 ? "win64 or win32" : "win32") + " key" +
           (platforms.empty() ? std::string() : " (only " + listed(platforms) + ")") + " for the " +
           std::to_string(view) + "-bit view";
}

std::string TypeLibFacts::summary() const
{
    return libid + " " + version + " " + platform + " " + (file.file.empty() ? file.path : file.file);
}

std::vector<InterfaceFacts> interfaceFacts(const classes::MergedClasses& classes,
                                           const classes::ServerFileSystem& files, const TypeLibReader& reader,
                                           const TypeLibCoclass& coclass, const TypeLibFacts& classLibrary)
{
    std::vector<InterfaceFacts> list;
    for (const TypeLibInterface& described : coclass.interfaces) {
        InterfaceFacts i;
        i.described = described;
        const std::string key = "Interface\\" + described.iid;
        i.keyPresent = classes.keyExists(key);
        if (i.keyPresent) {
            i.proxyStub = classes.text(key + "\\ProxyStubClsid32");
            if (equalIgnoringCase(i.proxyStub, kTypeLibMarshaller)) {
                const std::string libid = classes.text(key + "\\TypeLib");
                const std::string version = classes.text(key + "\\TypeLib", "Version");
                i.typeLibNamed = !libid.empty();
                if (i.typeLibNamed) {
                    if (equalIgnoringCase(libid, classLibrary.libid) &&
                        equalIgnoringCase(version, classLibrary.askedVersion))
                        i.typeLib = classLibrary;
                    else
                        i.typeLib = resolveTypeLib(classes, files, reader, libid, version);
                }
            } else if (!i.proxyStub.empty()) {
                i.proxyRegistered =
                    classes::resolveServer(classes.value(classes::serverKey(i.proxyStub)), classes.view(), files)
                        .found();
            }
        }
        list.push_back(std::move(i));
    }
    return list;
}

Item typeLibItem(const TypeLibFacts& t, const std::string& clsid)
{
    if (const std::string problem = t.problem(); !problem.empty())
        return {kTypeLib, Status::Fail, problem + ": LoadRegTypeLib answers " + hresultName(t.result())};
    // The library loads; only what the host reads from the coclass is missing.
    if (!t.loaded->coclass(clsid))
        return {kTypeLib, Status::Warn,
                t.summary() + " loads but describes no coclass " + clsid + ": GetTypeInfoOfGuid answers " +
                    hresultName(kElementNotFound)};
    const int wanted = t.view == 64 ? 3 : 1;
    if (t.loaded->sysKind != wanted)
        return {kTypeLib, Status::Warn,
                t.summary() + " is " + sysKindName(t.loaded->sysKind) + ", built for another platform than the " +
                    std::to_string(t.view) + "-bit view: its layouts are not the host's"};
    if (t.view == 64 && t.platform == "win32")
        return {kTypeLib, Status::Warn,
                t.summary() + ": registered for win32 only; a 64-bit host's LoadRegTypeLib falls back to it"};
    return {kTypeLib, Status::Pass, t.summary() + " loads and describes the class"};
}

Item interfacesItem(const TypeLibFacts& t, const std::string& clsid, const std::vector<InterfaceFacts>& interfaces)
{
    if (t.result() != 0) return {kInterfaces, Status::Fail, "not read: the class's type library does not load"};
    if (!t.loaded->coclass(clsid))
        return {kInterfaces, Status::Warn, "not read: the class's type library does not describe the class"};
    std::vector<std::string> problems;
    std::vector<std::string> marshalled;
    size_t count = 0;
    for (const InterfaceFacts& i : interfaces) {
        if (!i.applies()) continue;
        ++count;
        const std::string name = interfaceName(i.described);
        if (!i.keyPresent) {
            problems.push_back(name + ": no Interface key; a call from another apartment fails (" +
                               hresultName(kNoInterface) + ")");
        } else if (i.proxyStub.empty()) {
            problems.push_back(name + ": no ProxyStubClsid32; a call from another apartment fails (" +
                               hresultName(kNoInterface) + ")");
        } else if (equalIgnoringCase(i.proxyStub, kTypeLibMarshaller)) {
            if (!i.typeLibNamed)
                problems.push_back(name + ": the type-library marshaller, but no TypeLib key names its library");
            else if (const std::string problem = i.typeLib->problem(); !problem.empty())
                problems.push_back(std::string(name).append(": ").append(problem).append(" (").append(
                    hresultName(i.typeLib->result())).append(")"));
            else if (!i.typeLib->loaded->describes(i.described.iid))
                problems.push_back(name + ": " + i.typeLib->summary() + " does not describe it");
            else
                marshalled.push_back(i.described.name + " by the type-library marshaller");
        } else if (!i.proxyRegistered) {
            problems.push_back(name + ": its proxy " + i.proxyStub + " has no in-process server the loader finds");
        } else {
            marshalled.push_back(i.described.name + " by the proxy " + i.proxyStub);
        }
    }
    std::string reason;
    for (const std::string& problem : problems) reason += (reason.empty() ? "" : "; ") + problem;
    if (!problems.empty()) return {kInterfaces, Status::Fail, reason};
    if (count == 0)
        return {kInterfaces, Status::Pass,
                std::to_string(interfaces.size()) + " interfaces, none marshalled across apartments"};
    return {kInterfaces, Status::Pass, "marshallable: " + listed(marshalled)};
}

} // namespace doctor
