// The doctor's typeLib and interfaces items held against the system: the
// test add-in (TlbServer64/32.dll, with its type library as a resource) is
// registered case by case in the view of its bitness, AddInRegCli check
// judges it, and a probe of that bitness asks LoadRegTypeLib and calls each
// interface from another apartment. The verdict must be the system's.
#include "ChildProcess.h"
#include "CliProcess.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "ThirtyTwoBit.h"
#include "Ui.h"
#include "text/Fields.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace testing_support;
using Json = nlohmann::ordered_json;

namespace {

const std::string kLibid = "{8A3C2E10-5B7D-4F21-9A0C-1D2E3F405161}";
const std::string kDual = "{8A3C2E11-5B7D-4F21-9A0C-1D2E3F405161}";
const std::string kCustom = "{8A3C2E12-5B7D-4F21-9A0C-1D2E3F405161}";
const std::string kClsid = "{8A3C2E13-5B7D-4F21-9A0C-1D2E3F405161}";
const std::string kMarshaller = "{00020424-0000-0000-C000-000000000046}";

REGSAM viewOf(int bits) { return bits == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

// The add-in's registration as a case makes it.
struct Registration {
    int bits = 64;
    std::string server;
    std::map<std::string, std::string> platforms; // "win64" or "win32" to the file
    std::string libVersion = "1.0";               // the version key of TypeLib\{LIBID}
    std::string customLibVersion = "1.0";         // Interface\{custom}\TypeLib's Version
    bool interfaceKeys = true;
};

class ScopedRegistration {
public:
    explicit ScopedRegistration(const Registration& r)
        : class_(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kClsid, viewOf(r.bits)),
          library_(HKEY_LOCAL_MACHINE, "Software\\Classes\\TypeLib\\" + kLibid, viewOf(r.bits))
    {
        class_.setString("", "", "Type library test");
        class_.setString("InProcServer32", "", r.server);
        class_.setString("InProcServer32", "ThreadingModel", "Apartment");
        class_.setString("TypeLib", "", kLibid);
        class_.setString("Version", "", "1.0");
        library_.setString(r.libVersion, "", "AddInReg type library test");
        library_.setString(r.libVersion + "\\FLAGS", "", "0");
        for (const auto& [platform, file] : r.platforms) library_.setString(r.libVersion + "\\0\\" + platform, "", file);
        if (!r.interfaceKeys) return;
        for (const auto& [iid, version] : {std::pair{kDual, std::string("1.0")}, std::pair{kCustom, r.customLibVersion}}) {
            ScopedKey& key = interfaces_.emplace_back(HKEY_LOCAL_MACHINE, "Software\\Classes\\Interface\\" + iid,
                                                      viewOf(r.bits));
            key.setString("ProxyStubClsid32", "", kMarshaller);
            key.setString("TypeLib", "", kLibid);
            key.setString("TypeLib", "Version", version);
        }
    }

private:
    ScopedKey class_;
    ScopedKey library_;
    std::list<ScopedKey> interfaces_;
};

// The probe's fields: "hr", or "create", "marshal", "unmarshal", "call".
std::map<std::string, std::string, std::less<>> probe(int bits, const std::vector<std::string>& args)
{
    const ChildRun run = runChild(buildFolder() + "tlb_probe" + std::to_string(bits) + ".exe", args, {}, 120000);
    EXPECT_TRUE(run.finished) << run.err;
    return text::fieldsOf(run.out);
}

// LoadRegTypeLib(LIBID, 1, 0, LCID 0) in a process of the bitness.
unsigned long loadRegTypeLib(int bits, const std::string& libid = kLibid, const std::string& major = "1",
                             const std::string& minor = "0")
{
    const auto fields = probe(bits, {"lib", libid, major, minor});
    const auto hr = fields.find("hr");
    return hr == fields.end() ? 0xFFFFFFFFUL : text::codeOf(hr->second).value_or(0xFFFFFFFFUL);
}

// Whether a call through the interface from another apartment got through.
bool callWorks(int bits, const std::string& iid)
{
    const auto fields = probe(bits, {"call", kClsid, iid});
    for (const char* step : {"create", "marshal", "unmarshal", "call"}) {
        const auto found = fields.find(step);
        if (found == fields.end() || text::codeOf(found->second) != 0UL) return false;
    }
    return true;
}

Json checkJson(const std::string& target, const std::vector<std::string>& options = {})
{
    std::vector<std::string> line{"check", target, "--format", "json"};
    line.insert(line.end(), options.begin(), options.end());
    const CliRun run = runCli(line);
    EXPECT_TRUE(run.finished);
    Json json = Json::parse(run.out, nullptr, false);
    EXPECT_TRUE(json.is_array() && !json.empty()) << run.out << run.err;
    return json.is_array() && !json.empty() ? json[0] : Json();
}

std::string statusOf(const Json& list, const char* key)
{
    return list.contains("checks") && list["checks"].contains(key) ? list["checks"][key]["status"].get<std::string>()
                                                                   : "absent";
}

std::string reasonOf(const Json& list, const char* key)
{
    return list.contains("checks") && list["checks"].contains(key) ? list["checks"][key]["reason"].get<std::string>()
                                                                   : "";
}

// The system's regsvr32 of that bitness.
unsigned long regsvr32(int bits, const std::vector<std::string>& args)
{
    if (bits == 32) return runRegsvr32x86(args);
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    const ChildRun run = runChild(utf8Of(std::wstring(folder, length)) + "\\regsvr32.exe", args, {}, 120000);
    return run.finished ? run.exitCode : static_cast<unsigned long>(-1);
}

class TypeLibs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(removeFolder(folder_));
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        for (int bits : {64, 32})
            ASSERT_TRUE(CopyFileA((buildFolder() + server(bits)).c_str(), (folder_ + server(bits)).c_str(), FALSE));
        writeFileBytes(folder_ + "NotALibrary.tlb", "This is a text file, not a type library.\r\n");
    }
    void TearDown() override { removeFolder(folder_); }

    static std::string server(int bits) { return "TlbServer" + std::to_string(bits) + ".dll"; }
    std::string serverPath(int bits) const { return folder_ + server(bits); }

    // The doctor's two items against LoadRegTypeLib and the calls from
    // another apartment, for the registration as it stands.
    void expectSystemsVerdict(int bits, const std::string& what)
    {
        SCOPED_TRACE(what + ", " + std::to_string(bits) + "-bit");
        const Json list = checkJson(kClsid);
        ASSERT_EQ(list["view"], bits);
        const unsigned long loaded = loadRegTypeLib(bits);
        const std::string typeLib = statusOf(list, "typeLib");
        EXPECT_EQ(typeLib != "fail", loaded == 0) << reasonOf(list, "typeLib") << "; LoadRegTypeLib "
                                                  << text::codeText(loaded);
        if (loaded != 0) {
            EXPECT_NE(reasonOf(list, "typeLib").find(text::codeText(loaded)), std::string::npos);
        }
        const bool calls = callWorks(bits, kDual) && callWorks(bits, kCustom);
        if (loaded == 0) {
            EXPECT_EQ(statusOf(list, "interfaces") != "fail", calls) << reasonOf(list, "interfaces");
        } else {
            EXPECT_EQ(statusOf(list, "interfaces"), "fail");
        }
        verdicts_.push_back(what + ": " + typeLib + "/" + statusOf(list, "interfaces"));
    }

    // check --load: the helper marshals the default interface across
    // apartments; its verdict against the probe's call.
    void expectLoadVerdict(int bits, const std::string& what)
    {
        SCOPED_TRACE(what + ", " + std::to_string(bits) + "-bit, --load");
        const Json list = checkJson(kClsid, {"--load"});
        EXPECT_EQ(statusOf(list, "load") == "pass", callWorks(bits, kDual)) << reasonOf(list, "load");
        verdicts_.push_back(what + " --load: " + statusOf(list, "load") + ": " + reasonOf(list, "load"));
    }

    const std::string folder_ = buildFolder() + "typelib files\\";
    std::vector<std::string> verdicts_;
};

TEST_F(TypeLibs, EachCaseAsTheSystemJudgesIt)
{
    std::vector<int> bitnesses{64};
    if (runs32Bit()) bitnesses.push_back(32);
    for (int bits : bitnesses) {
        const std::string platform = bits == 64 ? "win64" : "win32";
        const std::string server = serverPath(bits);
        {
            const ScopedRegistration right({bits, server, {{platform, server}}});
            expectSystemsVerdict(bits, "registered right");
            expectLoadVerdict(bits, "registered right");
            const Json list = checkJson(kClsid);
            EXPECT_EQ(statusOf(list, "typeLib"), "pass") << reasonOf(list, "typeLib");
            EXPECT_EQ(statusOf(list, "interfaces"), "pass") << reasonOf(list, "interfaces");
        }
        {
            const ScopedRegistration gone({bits, server, {{platform, folder_ + "Gone.tlb"}}});
            expectSystemsVerdict(bits, "the file gone");
        }
        {
            const ScopedRegistration notLibrary({bits, server, {{platform, folder_ + "NotALibrary.tlb"}}});
            expectSystemsVerdict(bits, "not a type library");
        }
        {
            Registration r{bits, server, {{platform, server}}};
            r.customLibVersion = "9.0";
            const ScopedRegistration unregisteredVersion(r);
            expectSystemsVerdict(bits, "the interface names version 9.0");
            EXPECT_EQ(statusOf(checkJson(kClsid), "interfaces"), "fail");
        }
        {
            Registration r{bits, server, {{platform, server}}};
            r.interfaceKeys = false;
            const ScopedRegistration noInterfaceKeys(r);
            expectSystemsVerdict(bits, "no Interface keys");
            expectLoadVerdict(bits, "no Interface keys");
        }
        {
            Registration r{bits, server, {{platform, server}}};
            r.libVersion = "2.0";
            const ScopedRegistration otherVersion(r);
            expectSystemsVerdict(bits, "only version 2.0 registered");
        }
    }
    {
        // Registered for win32 only, with the 32-bit library, seen by a
        // 64-bit host.
        const ScopedRegistration win32Only({64, serverPath(64), {{"win32", serverPath(32)}}});
        expectSystemsVerdict(64, "win32 only");
    }
    for (const std::string& verdict : verdicts_) std::printf("%s\n", verdict.c_str());
}

// The add-in's DllRegisterServer registers its type library, which writes
// each interface into both views. Its capture, merged, leaves the classes
// exactly as a real regsvr32 of it leaves them, LoadRegTypeLib works, and
// its un-register script takes everything back.
TEST_F(TypeLibs, CaptureHoldsWhatRegsvr32Writes)
{
    std::vector<int> bitnesses{64};
    if (runs32Bit()) bitnesses.push_back(32);
    for (int bits : bitnesses) {
        SCOPED_TRACE(std::to_string(bits) + "-bit");
        const std::string script = folder_ + "Captured.reg";
        const std::string before = exportedClasses();
        const CliRun run = runCli({"capture", serverPath(bits), "--out", script});
        ASSERT_EQ(run.exitCode, 0UL) << run.err;
        EXPECT_TRUE(exportedClasses() == before) << "the capture wrote into the registry";
        ASSERT_EQ(runReg({"import", script}), 0UL);
        const std::string merged = exportedClasses();
        EXPECT_EQ(loadRegTypeLib(bits), 0UL);
        ASSERT_EQ(runReg({"import", folder_ + "UnReg-Captured.reg"}), 0UL);
        const std::string unRegistered = exportedClasses();
        EXPECT_TRUE(unRegistered == before) << firstDifference(before, unRegistered);

        ASSERT_EQ(regsvr32(bits, {"/s", serverPath(bits)}), 0UL);
        const std::string registered = exportedClasses();
        regsvr32(bits, {"/s", "/u", serverPath(bits)});
        for (const std::string& iid : {kDual, kCustom})
            for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
                deleteTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\Interface\\" + iid, view);
        deleteTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\TypeLib\\" + kLibid);
        deleteTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kClsid, viewOf(bits));
        EXPECT_TRUE(merged == registered) << firstDifference(registered, merged);
    }
}

// Wine's own registered type libraries: every class of the prefix that
// names one is judged as LoadRegTypeLib judges its library.
TEST_F(TypeLibs, TheSystemsOwnLibrariesPass)
{
    const HKEY root = HKEY_LOCAL_MACHINE;
    const std::string classes = "Software\\Classes\\CLSID";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root, classes.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key), ERROR_SUCCESS);
    struct Named {
        std::string clsid;
        std::string libid;
        std::string major = "ffff"; // the class's Version, else the highest
        std::string minor = "ffff";
    };
    std::vector<Named> named;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::string path = classes + "\\" + name;
        const std::optional<std::string> libid = readString(root, path + "\\TypeLib");
        if (!libid || libid->empty() || !keyExists(root, path + "\\InProcServer32", KEY_WOW64_64KEY)) continue;
        Named n{name, *libid};
        if (const std::optional<std::string> version = readString(root, path + "\\Version")) {
            const size_t dot = version->find('.');
            if (dot == std::string::npos) continue;
            n.major = version->substr(0, dot);
            n.minor = version->substr(dot + 1);
        }
        named.push_back(n);
    }
    RegCloseKey(key);
    ASSERT_FALSE(named.empty());
    // stdole2.tlb itself, as every host loads it.
    EXPECT_EQ(loadRegTypeLib(64, "{00020430-0000-0000-C000-000000000046}", "2", "0"), 0UL);
    size_t passed = 0;
    constexpr size_t kSample = 12;
    for (size_t i = 0; i < named.size() && i < kSample; ++i) {
        const Named& n = named[i * named.size() / std::min(named.size(), kSample)];
        SCOPED_TRACE(n.clsid + " " + n.libid + " " + n.major + "." + n.minor);
        const Json list = checkJson(n.clsid);
        const unsigned long loaded = loadRegTypeLib(64, n.libid, n.major, n.minor);
        EXPECT_EQ(statusOf(list, "typeLib") != "fail", loaded == 0) << reasonOf(list, "typeLib");
        std::printf("%s %s: LoadRegTypeLib %s, typeLib %s, interfaces %s: %s\n", n.clsid.c_str(), n.libid.c_str(),
                    text::codeText(loaded).c_str(), statusOf(list, "typeLib").c_str(),
                    statusOf(list, "interfaces").c_str(), reasonOf(list, "interfaces").c_str());
        passed += loaded == 0 && statusOf(list, "typeLib") != "fail";
    }
    EXPECT_GT(passed, 0U);
}

// Leftovers of an earlier version: its library's files are gone, an
// interface names it; another interface names a version never registered
// and holds a key of its own. The cleanup deletes the first two, merged by
// reg import; the current version still loads; the undo brings them back.
TEST_F(TypeLibs, StaleFindsTheLeftoversOfAnEarlierVersion)
{
    const ScopedRegistration current({64, serverPath(64), {{"win64", serverPath(64)}}});
    const std::string oldIid = "{8A3C2E14-5B7D-4F21-9A0C-1D2E3F405161}";
    const std::string keptIid = "{8A3C2E15-5B7D-4F21-9A0C-1D2E3F405161}";
    const std::string classes = "Software\\Classes\\";
    const ScopedKey old(HKEY_LOCAL_MACHINE, classes + "TypeLib\\" + kLibid + "\\0.9", KEY_WOW64_64KEY);
    old.setString("", "", "AddInReg type library test 0.9");
    old.setString("0\\win64", "", folder_ + "Old\\TlbServer64.dll");
    old.setString("0\\win32", "", folder_ + "Old\\TlbServer32.dll");
    old.setString("FLAGS", "", "0");
    const ScopedKey oldInterface(HKEY_LOCAL_MACHINE, classes + "Interface\\" + oldIid, KEY_WOW64_64KEY);
    const ScopedKey keptInterface(HKEY_LOCAL_MACHINE, classes + "Interface\\" + keptIid, KEY_WOW64_64KEY);
    for (const ScopedKey* key : {&oldInterface, &keptInterface}) {
        key->setString("", "", "ITlbOld");
        key->setString("ProxyStubClsid32", "", kMarshaller);
        key->setString("TypeLib", "", kLibid);
    }
    oldInterface.setString("TypeLib", "Version", "0.9");
    keptInterface.setString("TypeLib", "Version", "0.8");
    keptInterface.createSubKey("Extra");

    const std::string cleanup = folder_ + "Cleanup.reg";
    const CliRun run = runCli({"stale", "--view", "64", "--format", "json", "--cleanup-file", cleanup});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1UL) << run.err;
    const Json json = Json::parse(run.out, nullptr, false);
    ASSERT_TRUE(json.is_array()) << run.out;
    std::map<std::string, std::string> cleanupOf; // key -> cleanup
    for (const Json& entry : json)
        if (entry.contains("kind")) cleanupOf[entry["key"].get<std::string>()] = entry["cleanup"].get<std::string>();
    const std::string machine = "HKEY_LOCAL_MACHINE\\Software\\Classes\\";
    EXPECT_EQ(cleanupOf[machine + "TypeLib\\" + kLibid + "\\0.9"], "delete");
    EXPECT_EQ(cleanupOf[machine + "Interface\\" + oldIid], "delete");
    EXPECT_EQ(cleanupOf[machine + "Interface\\" + keptIid], "kept: holds Extra");
    EXPECT_FALSE(cleanupOf.count(machine + "TypeLib\\" + kLibid + "\\1.0"));

    ASSERT_EQ(runReg({"import", cleanup}), 0UL);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, old.path(), KEY_WOW64_64KEY));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, oldInterface.path(), KEY_WOW64_64KEY));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, keptInterface.path(), KEY_WOW64_64KEY));
    EXPECT_EQ(loadRegTypeLib(64), 0UL);
    ASSERT_EQ(runReg({"import", folder_ + "Undo-Cleanup.reg"}), 0UL);
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, old.path() + "\\0\\win64"), folder_ + "Old\\TlbServer64.dll");
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, oldInterface.path() + "\\TypeLib", "Version"), "0.9");
}

} // namespace
