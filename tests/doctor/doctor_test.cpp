// AddInRegCli's registration doctor as a build step runs it: `check` on add-in
// registrations the test makes in each registry view and hive, each case's
// JSON read back item by item; `write --register --verify` with a script
// that regedit merges silently despite a bad line; `unregister` with the
// real regsvr32 and reg; `stale` and its cleanup script merged with reg.
#include "ChildProcess.h"
#include "CliProcess.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "ThirtyTwoBit.h"
#include "Ui.h"
#include "scripts/HostCategories.h"
#include "scripts/RegScript.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace testing_support;
using Json = nlohmann::ordered_json; // keeps the order of the fields as printed

namespace {

const std::string kSampleClsid = "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";
const std::string kSampleProgId = "AddInRegSample.Server.1";

const ClsidFamily clsid{"D0C70000"};

bool classKeyIn(HKEY root, REGSAM view, const std::string& path)
{
    return keyExists(root, "Software\\Classes\\" + path, view);
}

// An add-in's registration as the host wants it; each case changes one thing.
struct AddIn {
    std::string clsid;
    Place place;
    std::string server;
    DWORD serverType = REG_SZ;
    std::string threading = "Apartment"; // "" for none
    std::string menu = "Doctor Test";
    bool description = true;
    std::string category = scripts::kR6Category; // "" for none
    bool settings = true;
    std::string progId{};      // its ProgID key names the class; "" for none
    std::string classProgId{}; // the class's ProgID subkey; "" for none
    std::vector<ClassValue> values{}; // more values of the class key
};

// Makes the registrations; removes them again at the end of the scope.
std::list<ScopedClasses> registered(const std::vector<AddIn>& addIns)
{
    std::list<ScopedClasses> made;
    for (const AddIn& a : addIns) {
        FakeClass c{a.progId, a.clsid, a.server, "", a.serverType, {{"", "", a.menu}}};
        if (a.description) c.values.push_back({"Description", "", "Checked by the doctor's tests"});
        if (!a.threading.empty()) c.values.push_back({"InProcServer32", "ThreadingModel", a.threading});
        c.values.insert(c.values.end(), a.values.begin(), a.values.end());
        if (!a.category.empty())
            c.subKeys = {"Implemented Categories\\" + a.category, "Required Categories\\" + a.category};
        if (a.settings)
            c.values.insert(c.values.end(), {{"Settings", "LoadOnStartUp", "1"}, {"Settings", "Type", "Standard"}});
        if (!a.classProgId.empty()) c.values.push_back({"ProgID", "", a.classProgId});
        made.emplace_back(std::vector<FakeClass>{c}, a.place);
    }
    return made;
}

bool has32BitSystem()
{
    char folder[MAX_PATH];
    const UINT length = GetSystemWow64DirectoryA(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH &&
           GetFileAttributesA((std::string(folder) + "\\kernel32.dll").c_str()) != INVALID_FILE_ATTRIBUTES;
}

Json checkJson(const std::vector<std::string>& args, unsigned long expectedExit)
{
    std::vector<std::string> line{"check"};
    line.insert(line.end(), args.begin(), args.end());
    line.push_back("--format");
    line.push_back("json");
    const CliRun run = runCli(line);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, expectedExit) << args[0] << "\n" << run.out << run.err;
    return Json::parse(run.out, nullptr, false);
}

// The statuses of one class's checks, by key.
std::map<std::string, std::string> statusesOf(const Json& object)
{
    std::map<std::string, std::string> statuses;
    for (const auto& [key, item] : object.at("checks").items()) statuses[key] = item.at("status").get<std::string>();
    return statuses;
}

class Doctor : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(removeFolder(folder_));
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        ASSERT_TRUE(CopyFileA((buildFolder() + "AddInRegSample.dll").c_str(), x64_.c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((buildFolder() + "DoctorX86.dll").c_str(), x86_.c_str(), FALSE));
        writeFileBytes(text_, "This is a text file, not a DLL.\r\n");
    }
    void TearDown() override { removeFolder(folder_); }

    // Checks the class and expects exactly the named items not to pass.
    void expectOnly(const AddIn& addIn, const std::map<std::string, std::string>& notPassing,
                    const std::vector<std::string>& options = {})
    {
        SCOPED_TRACE(addIn.clsid);
        std::vector<std::string> args{addIn.progId.empty() ? addIn.clsid : addIn.progId};
        args.insert(args.end(), options.begin(), options.end());
        bool failed = false;
        for (const auto& [key, status] : notPassing) failed |= status == "fail";
        const Json json = checkJson(args, failed ? 1 : 0);
        ASSERT_TRUE(json.is_array() && json.size() == 1) << json.dump(2);
        const std::map<std::string, std::string> statuses = statusesOf(json[0]);
        for (const auto& [key, status] : statuses) {
            const auto expected = notPassing.find(key);
            EXPECT_EQ(status, expected == notPassing.end() ? "pass" : expected->second)
                << key << ": " << json[0]["checks"][key]["reason"];
        }
        for (const auto& [key, status] : notPassing) EXPECT_TRUE(statuses.count(key)) << key;
    }

    const std::string folder_ = buildFolder() + "doctor files\\";
    const std::string x64_ = folder_ + "AddInRegSample.dll";
    const std::string x86_ = folder_ + "DoctorX86.dll";
    const std::string text_ = folder_ + "Not A Server.dll";
};

TEST_F(Doctor, EachFaultFailsOrWarnsItsOwnItemOnly)
{
    const AddIn healthy{clsid(1), kMachine64, x64_};
    const auto healthyKeys = registered({healthy});
    expectOnly(healthy, {});
    // The full item list of a healthy class, in order, and its facts.
    const Json json = checkJson({clsid(1), "--strict"}, 0);
    std::vector<std::string> keys;
    for (const auto& [key, item] : json[0]["checks"].items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"presence", "hive", "server", "machine", "exports", "dependencies",
                                              "threadingModel", "menu", "categories", "settings"}));
    EXPECT_EQ(json[0]["view"], 64);
    EXPECT_EQ(json[0]["result"], "pass");
    EXPECT_EQ(json[0]["server"]["machine"], "x64");
    EXPECT_EQ(json[0]["server"]["type"], "REG_SZ");

    AddIn only32{clsid(2), kMachine32, x86_};
    AddIn x86In64{clsid(3), kMachine64, x86_};
    AddIn textFile{clsid(4), kMachine64, text_};
    AddIn missingFile{clsid(5), kMachine64, folder_ + "gone.dll"};
    AddIn quoted{clsid(6), kMachine64, "\"" + x64_ + "\""};
    AddIn noThreading{clsid(7), kMachine64, x64_};
    noThreading.threading = "";
    AddIn noCategory{clsid(8), kMachine64, x64_};
    noCategory.category = "";
    AddIn noSettings{clsid(9), kMachine64, x64_};
    noSettings.settings = false;
    AddIn noMenu{clsid(10), kMachine64, x64_};
    noMenu.menu = "";
    noMenu.description = false;
    const auto faultKeys =
        registered({only32, x86In64, textFile, missingFile, quoted, noThreading, noCategory, noSettings, noMenu});

    // An x86 DLL in the 32-bit view is right for that view; its dependencies
    // are there when this system has a 32-bit system folder.
    std::map<std::string, std::string> only32Faults{{"presence", "fail"}};
    if (!has32BitSystem()) only32Faults["dependencies"] = "fail";
    expectOnly(only32, only32Faults);
    // Tables that are not there, or of a server that does not load, are not read.
    expectOnly(x86In64, {{"machine", "fail"}, {"dependencies", "fail"}});
    expectOnly(textFile, {{"machine", "fail"}, {"exports", "fail"}, {"dependencies", "fail"}});
    expectOnly(missingFile, {{"server", "fail"}, {"machine", "fail"}, {"exports", "fail"}, {"dependencies", "fail"}});
    expectOnly(quoted, {{"server", "warn"}});
    expectOnly(noThreading, {{"threadingModel", "warn"}});
    expectOnly(noCategory, {{"categories", "fail"}});
    expectOnly(noSettings, {{"settings", "fail"}});
    expectOnly(noMenu, {{"menu", "warn"}});

    EXPECT_EQ(checkJson({clsid(2)}, 1)[0]["view"], 32);
    EXPECT_NE(checkJson({clsid(4)}, 1)[0]["checks"]["machine"]["reason"].get<std::string>().find("not a PE image"),
              std::string::npos);
    // A warning fails only with --strict.
    checkJson({clsid(7), "--strict"}, 1);
}

TEST_F(Doctor, HivesExpansionAndTheHostsCategory)
{
    AddIn perUser{clsid(11), kUser, x64_};
    // Both hives: the machine's copy is broken, the per-user copy wins.
    AddIn machineCopy{clsid(12), kMachine64, folder_ + "gone.dll"};
    machineCopy.settings = false;
    AddIn userCopy{clsid(12), kUser, x64_};
    AddIn older{clsid(13), kMachine64, x64_};
    older.category = scripts::kOlderCategory;
    const auto hiveKeys = registered({perUser, machineCopy, userCopy, older});

    expectOnly(perUser, {{"hive", "warn"}});
    expectOnly(userCopy, {{"hive", "warn"}});
    EXPECT_NE(checkJson({clsid(12)}, 0)[0]["checks"]["hive"]["reason"].get<std::string>().find("per-user copy wins"),
              std::string::npos);

    expectOnly(older, {});
    expectOnly(older, {}, {"--host", "older"});
    expectOnly(older, {{"categories", "fail"}}, {"--host", "r6"});

    // %SystemRoot% in a REG_EXPAND_SZ value, the file where it expands to.
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string folder = std::string(windows) + "\\AddInRegDoctorTest\\";
    removeFolder(folder);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(x64_.c_str(), (folder + "Sample.dll").c_str(), FALSE));
    AddIn expand{clsid(14), kMachine64, "%SystemRoot%\\AddInRegDoctorTest\\Sample.dll", REG_EXPAND_SZ};
    {
        const auto expandKeys = registered({expand});
        expectOnly(expand, {{"server", "warn"}});
        const Json server = checkJson({clsid(14)}, 0)[0]["server"];
        EXPECT_EQ(server["type"], "REG_EXPAND_SZ");
        EXPECT_EQ(server["value"], expand.server);
        EXPECT_EQ(server["expanded"], folder + "Sample.dll");
        EXPECT_EQ(server["exists"], true);
    }
    removeFolder(folder);
}

TEST_F(Doctor, DotNetClassAndItsCodeBase)
{
    const std::string codeBaseFolder = "C:\\Some Dir\\";
    removeFolder(codeBaseFolder);
    AddIn dotNet{clsid(15), kMachine64, "mscoree.dll"};
    dotNet.values = {{"InProcServer32", "Class", "Doctor.AddIn"},
                     {"InProcServer32", "Assembly", "Doctor, Version=1.0.0.0, Culture=neutral, PublicKeyToken=null"},
                     {"InProcServer32", "CodeBase", "file:///C:/Some%20Dir/x.dll"}};
    dotNet.progId = "AddInRegDoctor.DotNet";
    dotNet.classProgId = dotNet.progId;
    const auto dotNetKeys = registered({dotNet});

    // A bare "mscoree.dll" is found in the system folder, but the host's own
    // folder comes first: it warns.
    expectOnly(dotNet, {{"server", "warn"}, {"dotNet", "fail"}});
    EXPECT_NE(checkJson({clsid(15)}, 1)[0]["checks"]["dotNet"]["reason"].get<std::string>().find(
                  "C:\\Some Dir\\x.dll does not exist"),
              std::string::npos);

    ASSERT_TRUE(CreateDirectoryA(codeBaseFolder.c_str(), nullptr));
    writeFileBytes(codeBaseFolder + "x.dll", "MZ");
    expectOnly(dotNet, {{"server", "warn"}});
    const Json json = checkJson({dotNet.progId}, 0);
    EXPECT_TRUE(json[0]["checks"].contains("dotNet"));
    EXPECT_TRUE(json[0]["checks"].contains("progId"));
    removeFolder(codeBaseFolder);
}

TEST_F(Doctor, ProgIdConsistencyAndTargets)
{
    AddIn named{clsid(16), kMachine64, x64_};
    named.progId = "AddInRegDoctor.Named";
    named.classProgId = "AddInRegDoctor.Other";
    AddIn inBoth64{clsid(17), kMachine64, x64_};
    AddIn inBoth32{clsid(17), kMachine32, x86_};
    const auto progIdKeys = registered({named, inBoth64, inBoth32});

    expectOnly(named, {{"progId", "warn"}});

    // A DLL path finds every class it serves, in either view, written in any case and with "/".
    std::string spelled = x86_;
    for (char& c : spelled) c = c == '\\' ? '/' : char(std::toupper(static_cast<unsigned char>(c)));
    Json json = checkJson({spelled}, 0);
    ASSERT_EQ(json.size(), 1u) << json.dump(2);
    EXPECT_EQ(json[0]["clsid"], clsid(17));
    EXPECT_EQ(json[0]["view"], 64); // where a 64-bit host looks, though the path matched the 32-bit view
    json = checkJson({x64_}, 0);
    std::vector<std::string> found;
    for (const Json& object : json) found.push_back(object["clsid"]);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{clsid(16), clsid(17)}));

    // Not found, and what is not a target at all.
    const CliRun none = runCli({"check", clsid(99)});
    EXPECT_EQ(none.exitCode, 5u);
    EXPECT_NE(none.err.find("no class found for \"" + clsid(99) + "\""), std::string::npos) << none.err;
    EXPECT_EQ(runCli({"check", "AddInRegDoctor.None", "--format", "json"}).out, "[]\r\n");
    const std::vector<std::vector<std::string>> usageErrors{
        {"check", "{D0C70000-0000}"}, {"check", clsid(16), "--host", "r7"}, {"check", clsid(16), "--format", "csv"},
        {"check"}, {"stale", "--view", "16"}, {"unregister", clsid(16), "--script", folder_ + "none.reg"}};
    for (const std::vector<std::string>& args : usageErrors) {
        const CliRun run = runCli(args);
        EXPECT_EQ(run.exitCode, 2u) << args.back() << run.err;
        EXPECT_NE(run.err.find("\nRun \"AddInRegCli "), std::string::npos) << run.err;
    }
}

TEST_F(Doctor, TextReportIsOneLinePerItem)
{
    AddIn noSettings{clsid(18), kMachine64, x64_};
    noSettings.settings = false;
    const auto reportKeys = registered({noSettings});
    const CliRun run = runCli({"check", clsid(18)});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out.rfind(clsid(18) + ", read in the 64-bit view\r\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\r\n  PASS  Server value      REG_SZ \"" + x64_ + "\" exists\r\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\r\n  FAIL  Settings          no Settings key\r\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\r\n  Result: FAIL (1 failed, 0 warnings)\r\n"), std::string::npos) << run.out;
}

// What the system's loader says of a DLL loaded as COM loads a server
// (com_activator --load), and of a class (com_activator {CLSID}).
unsigned long loadError(const std::string& dll)
{
    const ChildRun run = runChild(buildFolder() + "com_activator.exe", {"--load", dll}, {}, 60000);
    const size_t at = run.out.find("error=");
    EXPECT_NE(at, std::string::npos) << run.out << run.err;
    return at == std::string::npos ? ~0UL : std::stoul(run.out.substr(at + 6));
}
unsigned long classObjectResult(const std::string& clsid)
{
    const ChildRun run = runChild(buildFolder() + "com_activator.exe", {clsid}, {}, 60000);
    const size_t at = run.out.find("hr=0x");
    EXPECT_NE(at, std::string::npos) << run.out << run.err;
    return at == std::string::npos ? 0 : std::stoul(run.out.substr(at + 5, 8), nullptr, 16);
}

bool onWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::string reasonOf(const Json& list, const std::string& key) { return list[0]["checks"][key]["reason"]; }

// Servers whose own files are there but that do not load, or only part way:
// the doctor's exports and dependencies items against the system's loader.
TEST_F(Doctor, ExportsAndDependenciesAsTheLoaderBindsThem)
{
    const std::string deps = buildFolder() + "deps\\";
    const std::string addIn = folder_ + "addin\\", user = folder_ + "user\\", noEntry = folder_ + "noentry\\";
    for (const std::string& folder : {addIn, user, noEntry}) ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const auto install = [&](const std::string& name, const std::string& folder) {
        ASSERT_TRUE(CopyFileA((deps + name).c_str(), (folder + name).c_str(), FALSE)) << name;
    };
    install("DepsAddIn.dll", addIn);
    install("DepsHelper.dll", addIn); // DepsMissing.dll stays behind
    install("DepsUser.dll", user);
    install("DepsLib.dll", user);     // the one without libTwo
    install("DepsNoEntry.dll", noEntry);
    const AddIn missingDll{clsid(20), kMachine64, addIn + "DepsAddIn.dll"};
    const AddIn missingFunction{clsid(21), kMachine64, user + "DepsUser.dll"};
    const AddIn noClassObject{clsid(22), kMachine64, noEntry + "DepsNoEntry.dll"};
    const auto depsKeys = registered({missingDll, missingFunction, noClassObject});

    // Two levels down, the DLL that is not there: the loader refuses the server.
    EXPECT_EQ(loadError(missingDll.server), ERROR_MOD_NOT_FOUND);
    EXPECT_NE(classObjectResult(missingDll.clsid), 0u);
    expectOnly(missingDll, {{"dependencies", "fail"}});
    EXPECT_EQ(reasonOf(checkJson({missingDll.clsid}, 1), "dependencies"),
              "DepsAddIn.dll \xE2\x86\x92 DepsHelper.dll \xE2\x86\x92 DepsMissing.dll: not found");
    // Installed, it loads, and the item passes.
    install("DepsMissing.dll", addIn);
    EXPECT_EQ(loadError(missingDll.server), 0u);
    expectOnly(missingDll, {});

    // A function the installed DepsLib.dll lacks: Windows refuses the load
    // (ERROR_PROC_NOT_FOUND); Wine loads it with a stub in the function's place.
    const std::string missing = "DepsLib.dll does not export libTwo (imported by DepsUser.dll)";
    if (onWine()) {
        EXPECT_EQ(loadError(missingFunction.server), 0u);
        expectOnly(missingFunction, {{"dependencies", "warn"}});
        EXPECT_EQ(reasonOf(checkJson({missingFunction.clsid}, 0), "dependencies"),
                  missing + ": this system's loader puts a stub in its place that fails when called");
    } else {
        EXPECT_EQ(loadError(missingFunction.server), ERROR_PROC_NOT_FOUND);
        expectOnly(missingFunction, {{"dependencies", "fail"}});
        EXPECT_EQ(reasonOf(checkJson({missingFunction.clsid}, 1), "dependencies"), missing);
    }

    // It loads, but COM finds no DllGetClassObject in it.
    EXPECT_EQ(loadError(noClassObject.server), 0u);
    EXPECT_NE(classObjectResult(noClassObject.clsid), 0u);
    expectOnly(noClassObject, {{"exports", "fail"}});
    EXPECT_EQ(reasonOf(checkJson({noClassObject.clsid}, 1), "exports"),
              "no DllGetClassObject export: COM cannot get the class object");
}

// Wine registers a class of its own whose DLL does not export DllGetClassObject.
TEST_F(Doctor, WinesOwnClassWithoutAClassObject)
{
    const std::string wavSink = "{36F99745-23C9-4C9C-8DD5-CC31CE964390}";
    if (!onWine() || !keyExists(HKEY_CLASSES_ROOT, "CLSID\\" + wavSink)) GTEST_SKIP() << "not Wine's class";
    const Json json = checkJson({wavSink}, 1);
    EXPECT_EQ(json[0]["checks"]["server"]["status"], "pass");
    EXPECT_EQ(json[0]["checks"]["dependencies"]["status"], "pass");
    EXPECT_EQ(json[0]["checks"]["exports"]["status"], "fail");
    EXPECT_EQ(reasonOf(json, "exports"), "no DllGetClassObject export: COM cannot get the class object");
    EXPECT_EQ(classObjectResult(wavSink), 0x800401F8u); // CO_E_DLLNOTFOUND, Wine's answer for it
}

// The sample server registered by `write --register`, then taken apart.
class DoctorSample : public Doctor {
protected:
    void TearDown() override
    {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            deleteTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kSampleClsid, view);
            deleteTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + kSampleProgId, view);
        }
        Doctor::TearDown();
    }
    const std::string script_ = folder_ + "Sample.reg";
};

TEST_F(DoctorSample, VerifyFindsTheValueABadLineLeftOut)
{
    // The built-in template with the closing quote of "Type"'s data missing
    // on line 11. reg import passes over that line and reports success.
    std::string bad = scripts::builtInTemplate();
    const std::string type = "\"Type\"=\"Standard\"";
    ASSERT_NE(bad.find(type), std::string::npos);
    bad.replace(bad.find(type), type.size(), "\"Type\"=\"Standard");
    writeFileBytes(folder_ + "Bad.Reg", bad);

    CliRun run = runCli({"write", script_, "--clsid", kSampleClsid, "--server", x64_, "--template", folder_ + "Bad.Reg",
                         "--register", "--verify"});
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_NE(run.err.find("reg.exe import \"" + script_ + "\": exit code 0\r\n"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("line 11: \"Type\" of HKEY_CLASSES_ROOT\\CLSID\\" + kSampleClsid +
                           "\\Settings is missing; the line is not understood (a string without its closing quote)"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("line 10"), std::string::npos) << run.out; // LoadOnStartUp is there
    EXPECT_EQ(run.err.find("registration failed"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("1 of the lines"), std::string::npos) << run.err;

    // The good script: all read back; and the class passes its check.
    run = runCli({"write", script_, "--clsid", kSampleClsid, "--server", x64_, "--register", "--verify"});
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_NE(run.out.find("Verified: the registry holds every key and value of \"" + script_ + "\".\r\n"),
              std::string::npos)
        << run.out;
    const Json json = checkJson({kSampleProgId, "--strict"}, 0);
    EXPECT_EQ(json[0]["checks"]["progId"]["status"], "pass");

    // --verify without --register is a usage error.
    EXPECT_EQ(runCli({"write", script_, "--clsid", kSampleClsid, "--server", x64_, "--verify"}).exitCode, 2u);
}

TEST_F(DoctorSample, UnregisterRunsRegsvr32ThenTheScriptAndVerifies)
{
    ASSERT_EQ(runCli({"write", script_, "--clsid", kSampleClsid, "--server", x64_, "--register"}).exitCode, 0u);
    ASSERT_TRUE(keyExists(HKEY_CLASSES_ROOT, kSampleProgId));

    // regsvr32 /u leaves the add-in's own keys for its un-register script.
    CliRun run = runCli({"unregister", kSampleProgId, "--verify"});
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_NE(run.err.find("regsvr32.exe /u /s \"" + x64_ + "\": exit code 0\r\n"), std::string::npos) << run.err;
    const std::string classKey = "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\" + kSampleClsid;
    EXPECT_NE(run.out.find("Still present: " + classKey + "\r\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Still present: " + classKey + "\\Settings\r\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("InProcServer32"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Still present: HKEY_LOCAL_MACHINE\\Software\\Classes\\" + kSampleProgId),
              std::string::npos)
        << run.out;
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kSampleProgId));

    // The ProgID is gone now; the CLSID still names what is left.
    EXPECT_EQ(runCli({"unregister", kSampleProgId}).exitCode, 5u);
    run = runCli({"unregister", kSampleClsid, "--unreg-file", folder_ + "UnReg-Sample.reg", "--verify"});
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_NE(run.err.find("reg.exe import \"" + folder_ + "UnReg-Sample.reg\": exit code 0\r\n"), std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("Nothing of " + kSampleClsid + " is left in either view or hive.\r\n"), std::string::npos)
        << run.out;
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kSampleClsid));
}

TEST_F(DoctorSample, StaleListsExactlyTheClassesWhoseFileIsGoneAndCleansThemUp)
{
    ASSERT_EQ(runCli({"write", script_, "--clsid", kSampleClsid, "--server", x64_, "--register"}).exitCode, 0u);
    // Neighbours: a healthy class; a stale one in the 32-bit view only; and a
    // class stale in the machine's hive whose per-user copy still works, so
    // that its ProgID must stay.
    AddIn neighbour{clsid(20), kMachine64, x86_};
    neighbour.progId = "AddInRegDoctor.Neighbour";
    AddIn stale32{clsid(21), kMachine32, folder_ + "gone32.dll"};
    stale32.progId = "AddInRegDoctor.Stale32";
    AddIn staleMachine{clsid(22), kMachine64, folder_ + "gone.dll"};
    staleMachine.progId = "AddInRegDoctor.StillUsed";
    AddIn liveUser{clsid(22), kUser, folder_ + "user.dll"};
    ASSERT_TRUE(CopyFileA(x64_.c_str(), (folder_ + "user.dll").c_str(), FALSE));
    // Stale in-process servers beside other registrations, which must stay:
    // a class that also has a local server, and a ProgID that is also a file
    // type with a verb.
    AddIn withLocal{clsid(23), kMachine64, folder_ + "gone.dll"};
    withLocal.values = {{"LocalServer32", "", folder_ + "server.exe"}};
    AddIn withVerb{clsid(24), kMachine64, folder_ + "gone.dll"};
    withVerb.progId = "AddInRegDoctor.FileType";
    const auto staleKeys = registered({neighbour, stale32, staleMachine, liveUser, withLocal, withVerb});
    ScopedKey verb(HKEY_LOCAL_MACHINE, "Software\\Classes\\AddInRegDoctor.FileType\\shell\\open\\command");
    verb.setString("", "", "notepad.exe \"%1\"");
    ASSERT_TRUE(DeleteFileA(x64_.c_str()));
    const std::string before = exportedClasses();

    const std::string cleanup = folder_ + "cleanup.reg";
    CliRun run = runCli({"stale", "--format", "json", "--cleanup-script", cleanup});
    EXPECT_EQ(run.exitCode, 1u) << run.err;
    const Json json = Json::parse(run.out, nullptr, false);
    ASSERT_TRUE(json.is_array()) << run.out;
    std::map<std::string, Json> byClsid;
    for (const Json& object : json) byClsid[object["clsid"]] = object;
    EXPECT_EQ(byClsid.size(), json.size()) << run.out;
    ASSERT_TRUE(byClsid.count(kSampleClsid)) << run.out;
    EXPECT_EQ(byClsid[kSampleClsid]["key"], "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\" + kSampleClsid);
    EXPECT_EQ(byClsid[kSampleClsid]["views"], Json::array({64}));
    EXPECT_EQ(byClsid[kSampleClsid]["hive"], "machine");
    EXPECT_EQ(byClsid[kSampleClsid]["file"], x64_);
    ASSERT_EQ(byClsid[kSampleClsid]["progIds"].size(), 1u) << run.out;
    EXPECT_EQ(byClsid[kSampleClsid]["progIds"][0]["name"], kSampleProgId);
    ASSERT_TRUE(byClsid.count(clsid(21))) << run.out;
    EXPECT_EQ(byClsid[clsid(21)]["views"], Json::array({32}));
    EXPECT_EQ(byClsid[clsid(21)]["progIds"].size(), 1u) << run.out;
    ASSERT_TRUE(byClsid.count(clsid(22))) << run.out;
    EXPECT_EQ(byClsid[clsid(22)]["progIds"].size(), 0u) << run.out; // it still leads to the per-user copy
    EXPECT_FALSE(byClsid.count(clsid(20))) << run.out;
    EXPECT_EQ(byClsid[clsid(23)]["cleanup"], "kept: holds LocalServer32");
    ASSERT_EQ(byClsid[clsid(24)]["progIds"].size(), 1u) << run.out;
    EXPECT_EQ(byClsid[clsid(24)]["progIds"][0]["cleanup"], "kept: holds shell\\open\\command");

    // The script holds what was listed and nothing else; a view of 64 alone leaves out the 32-bit class.
    const std::string script = readFileBytes(cleanup).value_or("");
    EXPECT_EQ(script.rfind("REGEDIT4\r\n", 0), 0u) << script;
    size_t deletions = 0;
    for (size_t at = script.find("\r\n[-"); at != std::string::npos; at = script.find("\r\n[-", at + 1)) ++deletions;
    size_t listed = json.size();
    for (const Json& object : json) listed += object["progIds"].size();
    EXPECT_EQ(deletions, listed - 2) << script; // all but the two kept keys
    EXPECT_EQ(script.find(clsid(20)), std::string::npos);
    EXPECT_EQ(script.find("StillUsed"), std::string::npos);
    const Json only64 = Json::parse(runCli({"stale", "--view", "64", "--format", "json"}).out, nullptr, false);
    for (const Json& object : only64) EXPECT_NE(object["clsid"], clsid(21));

    // A cleanup script is never written over a file that is not a script.
    writeFileBytes(folder_ + "notes.txt", "mine");
    run = runCli({"stale", "--cleanup-script", folder_ + "notes.txt"});
    EXPECT_EQ(run.exitCode, 3u);
    EXPECT_EQ(readFileBytes(folder_ + "notes.txt"), "mine");

    // Merged, it takes the stale classes and their ProgIDs and nothing else.
    EXPECT_EQ(runReg({"import", cleanup}), 0u);
    EXPECT_FALSE(classKeyIn(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "CLSID\\" + kSampleClsid));
    EXPECT_FALSE(classKeyIn(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, kSampleProgId));
    EXPECT_FALSE(classKeyIn(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "CLSID\\" + clsid(21)));
    EXPECT_FALSE(classKeyIn(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "AddInRegDoctor.Stale32"));
    EXPECT_FALSE(classKeyIn(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "CLSID\\" + clsid(22)));
    EXPECT_TRUE(classKeyIn(HKEY_CURRENT_USER, KEY_WOW64_64KEY, "CLSID\\" + clsid(22)));
    EXPECT_TRUE(classKeyIn(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "AddInRegDoctor.StillUsed"));
    EXPECT_TRUE(classKeyIn(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "CLSID\\" + clsid(20) + "\\InProcServer32"));
    EXPECT_TRUE(classKeyIn(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "AddInRegDoctor.Neighbour"));
    EXPECT_TRUE(classKeyIn(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "CLSID\\" + clsid(23) + "\\LocalServer32"));
    EXPECT_TRUE(classKeyIn(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "AddInRegDoctor.FileType\\shell\\open\\command"));
    EXPECT_EQ(runCli({"stale", "--format", "json"}).out.find(kSampleClsid), std::string::npos);

    // The undo, written beside it first, gives back every key and value byte for byte.
    const std::string undo = folder_ + "Undo-cleanup.reg";
    EXPECT_EQ(readFileBytes(undo).value_or("").rfind("\xFF\xFE", 0), 0u);
    EXPECT_EQ(runReg({"import", undo}), 0u);
    EXPECT_EQ(exportedClasses(), before);
}

} // namespace

namespace {

// The rows of `addins` for one class, by hive.
std::map<std::string, Json> addInRows(const Json& rows, const std::string& clsid)
{
    std::map<std::string, Json> byHive;
    for (const Json& row : rows)
        if (row["clsid"] == clsid) byHive[row["hive"].get<std::string>() + std::to_string(row["view"].get<int>())] = row;
    return byHive;
}

} // namespace

TEST_F(DoctorSample, AddInsListsTheHostsClassesWithTheWorstItemAndTheLoadTrial)
{
    AddIn sample{kSampleClsid, kMachine64, x64_};
    sample.progId = kSampleProgId;
    sample.classProgId = kSampleProgId;
    AddIn wrongView{clsid(31), kMachine64, x86_}; // an x86 server in the 64-bit view
    AddIn perUser{clsid(32), kUser, x64_};
    AddIn notOurs{clsid(33), kMachine64, x64_};
    notOurs.category = scripts::kOlderCategory;
    const auto addInKeys = registered({sample, wrongView, perUser, notOurs});

    const CliRun run = runCli({"addins", "--host", "r6", "--format", "json", "--load", "--load-timeout", "20"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1u) << run.err;
    const Json rows = Json::parse(run.out, nullptr, false);
    ASSERT_TRUE(rows.is_array()) << run.out;

    const auto healthy = addInRows(rows, kSampleClsid);
    ASSERT_EQ(healthy.count("machine64"), 1u) << run.out;
    EXPECT_EQ(healthy.at("machine64")["result"], "pass") << healthy.at("machine64").dump();
    EXPECT_EQ(healthy.at("machine64")["progId"], kSampleProgId);
    EXPECT_EQ(healthy.at("machine64")["loadOnStartUp"], "1");

    const auto broken = addInRows(rows, clsid(31));
    ASSERT_EQ(broken.count("machine64"), 1u);
    EXPECT_EQ(broken.at("machine64")["result"], "fail");
    EXPECT_EQ(broken.at("machine64")["worstItem"]["item"], "machine");
    // The loader agrees: an x86 DLL does not load in a 64-bit process.
    const Json checked = checkJson({clsid(31), "--load"}, 1);
    EXPECT_EQ(checked[0]["checks"]["load"]["status"], "fail") << checked.dump(2);

    EXPECT_EQ(addInRows(rows, clsid(32)).count("user64"), 1u);
    EXPECT_TRUE(addInRows(rows, clsid(33)).empty());

    // CSV: a header and a line a row.
    const CliRun csv = runCli({"addins", "--host", "older", "--format", "csv"});
    EXPECT_EQ(csv.out.rfind("view,hive,clsid,menuName,progId,server,loadOnStartUp,result,worstItem,reason\r\n", 0), 0u)
        << csv.out;
    EXPECT_NE(csv.out.find(clsid(33)), std::string::npos);
}

TEST_F(DoctorSample, AnX86AddInLoadsThroughThe32BitHelperInThe32BitViewOnly)
{
    if (!runs32Bit()) GTEST_SKIP() << kNo32Bit;
    // DoctorX86.dll is the sample server built for x86: it serves the sample's class.
    for (const Place& place : {kMachine32, kMachine64}) {
        AddIn x86{kSampleClsid, place, x86_};
        const auto x86Keys = registered({x86});
        if (place.view == KEY_WOW64_32KEY)
            expectOnly(x86, {}, {"--load", "--view", "32"});
        else
            expectOnly(x86, {{"machine", "fail"}, {"dependencies", "fail"}, {"load", "fail"}}, {"--load"});
    }
    // The system's own 32-bit classes, as a 32-bit prefix registers them.
    const CliRun list = runCli({"list", "--view", "32", "--format", "json"});
    EXPECT_EQ(list.exitCode, 0u);
    const Json rows = Json::parse(list.out, nullptr, false);
    ASSERT_TRUE(rows.is_array());
    EXPECT_GT(std::count_if(rows.begin(), rows.end(), [](const Json& row) { return row["serverExists"] == true; }), 100);
}
