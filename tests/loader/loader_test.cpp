// The server rule and the doctor against the system's COM loader: each shape
// of server value is registered for the sample class, the loader is asked for
// the class in a child process, and the file the rule names, and whether the
// doctor passes the server, must be what the loader did. Then the same for a
// sample of the classes the system registers itself.
#include "ChildProcess.h"
#include "CliProcess.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "Ui.h"
#include "platform/DoctorMachine.h"
#include "platform/RegistryReader.h"
#include "platform/ServerFiles.h"
#include "text/Text.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

const std::string kClsid = "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";

struct LoaderAnswer {
    bool finished = false;
    unsigned long hr = 0;
    std::string module; // the file that serves the class; "" when none did
};

LoaderAnswer askLoader(const std::string& clsid, int timeoutMs = 30000)
{
    const ChildRun run = runChild(utf8Of(wideOf(buildFolder())) + "com_activator.exe", {clsid}, {}, timeoutMs);
    LoaderAnswer answer;
    answer.finished = run.finished && run.exitCode == 0;
    const size_t hr = run.out.find("hr=0x");
    if (hr != std::string::npos) answer.hr = std::stoul(run.out.substr(hr + 5, 8), nullptr, 16);
    const size_t module = run.out.find("module=");
    if (module != std::string::npos)
        answer.module = run.out.substr(module + 7, run.out.find_first_of("\r\n", module) - module - 7);
    return answer;
}

// Whether the loader found a file to load: any answer but "no such file".
bool fileFound(const LoaderAnswer& answer)
{
    constexpr unsigned long kNotFound[] = {0x800401F8 /* CO_E_DLLNOTFOUND */, 0x8007007E, 0x80070002, 0x80070003,
                                           0x80040154 /* REGDB_E_CLASSNOTREG */};
    for (unsigned long code : kNotFound)
        if (answer.hr == code) return false;
    return true;
}

std::string itemStatus(const std::string& clsid, const char* key)
{
    const platform::SystemMachine machine;
    const std::vector<doctor::Checklist> lists = doctor::checkTarget(machine.machine(), clsid, doctor::Host::Any);
    for (const doctor::Checklist& list : lists)
        for (const doctor::Item& item : list.items)
            if (item.key == key) return doctor::statusName(item.status);
    return "none";
}
std::string serverStatus(const std::string& clsid) { return itemStatus(clsid, doctor::kServer); }

// The system's error code when the DLL is loaded as COM loads a server; 0 when it loads.
unsigned long loadError(const std::string& dll)
{
    const ChildRun run = runChild(utf8Of(wideOf(buildFolder())) + "com_activator.exe", {"--load", dll}, {}, 30000);
    const size_t at = run.out.find("error=");
    return at == std::string::npos ? ~0UL : std::stoul(run.out.substr(at + 6));
}

classes::ServerFile ruleOf(const std::string& clsid)
{
    const platform::RegistryReader classes(classes::Hive::MachineClasses, classes::View::Bits64);
    return platform::resolveServerFile(classes.value(classes::serverKey(clsid)), classes::View::Bits64);
}

class Loader : public ::testing::Test {
protected:
    void SetUp() override
    {
        removeFolder(folder_);
        CreateDirectoryW(wideOf(folder_).c_str(), nullptr);
        const std::string os = environment("OS");
        for (const std::string& sub : {std::string("plain"), std::string("Pawe\xC5\x82"),
                                       std::string("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"), std::string("pct%OS%"),
                                       "exp" + os}) {
            CreateDirectoryW(wideOf(folder_ + sub).c_str(), nullptr);
            ASSERT_TRUE(CopyFileW(wideOf(buildFolder() + "AddInRegSample.dll").c_str(),
                                  wideOf(folder_ + sub + "\\x.dll").c_str(), FALSE))
                << sub;
        }
        SetEnvironmentVariableW(L"ADDINREG_LOADER", wideOf(folder_.substr(0, folder_.size() - 1)).c_str());
        ASSERT_TRUE(CopyFileW(wideOf(buildFolder() + "AddInRegSample.dll").c_str(), wideOf(windowsBare_).c_str(), FALSE));
    }
    void TearDown() override
    {
        DeleteFileW(wideOf(windowsBare_).c_str());
        removeFolder(folder_);
    }

    static std::string environment(const char* name)
    {
        char value[256];
        const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
        return length < sizeof(value) ? std::string(value, length) : std::string();
    }
    static std::string windowsFolder()
    {
        wchar_t folder[MAX_PATH];
        return utf8Of(std::wstring(folder, GetWindowsDirectoryW(folder, MAX_PATH)));
    }

    const std::string folder_ = utf8Of(wideOf(buildFolder())) + "loader shapes\\";
    const std::string windowsBare_ = windowsFolder() + "\\LpBare.dll";
};

TEST_F(Loader, EachServerShapeIsJudgedAsTheLoaderLoadsIt)
{
    const std::string plain = folder_ + "plain\\x.dll";
    std::string slashes = plain;
    for (char& c : slashes)
        if (c == '\\') c = '/';
    struct Shape {
        const char* what;
        DWORD type;
        std::string value;
    } shapes[] = {
        {"a full path", REG_SZ, plain},
        {"a folder outside the code page", REG_SZ, folder_ + "Pawe\xC5\x82\\x.dll"},
        {"a folder in another script", REG_SZ, folder_ + "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\\x.dll"},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, "%ADDINREG_LOADER%\\plain\\x.dll"},
        {"a REG_SZ with a folder named with %", REG_SZ, folder_ + "pct%OS%\\x.dll"},
        {"a REG_SZ that only expanded names a file", REG_SZ, folder_ + "exp%OS%\\x.dll"},
        {"a quoted REG_SZ", REG_SZ, "\"" + plain + "\""},
        {"a quoted REG_SZ with a switch", REG_SZ, "\"" + plain + "\" /automation"},
        {"a quoted REG_EXPAND_SZ", REG_EXPAND_SZ, "\"%ADDINREG_LOADER%\\plain\\x.dll\""},
        {"trailing blanks", REG_SZ, plain + "  "},
        {"forward slashes", REG_SZ, slashes},
        {"a bare name in the Windows folder", REG_SZ, "LpBare.dll"},
        {"a bare name found nowhere", REG_SZ, "LpNowhere.dll"},
        {"a folder", REG_SZ, folder_ + "plain"},
        {"a missing file", REG_SZ, folder_ + "gone\\x.dll"},
        {"a REG_MULTI_SZ", REG_MULTI_SZ, plain + std::string("\0other.dll\0", 11)},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.what);
        ScopedKey key(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kClsid);
        key.setUnicode("InProcServer32", "", shape.value, shape.type);
        key.setUnicode("InProcServer32", "ThreadingModel", "Both");

        const LoaderAnswer loader = askLoader(kClsid);
        ASSERT_TRUE(loader.finished);
        const classes::ServerFile rule = ruleOf(kClsid);
        EXPECT_EQ(rule.found(), !loader.module.empty()) << "rule: " << classes::describeLocation(rule) << "; loader hr "
                                                        << std::hex << loader.hr;
        if (!loader.module.empty()) {
            EXPECT_TRUE(text::samePathSpelling(rule.file, loader.module)) << rule.file << " / " << loader.module;
        }
        const std::string status = serverStatus(kClsid);
        EXPECT_EQ(status == "fail", loader.module.empty()) << status;
    }
}

// A spread of the classes the system registers with an in-process server.
std::vector<std::string> systemClassesSample()
{
    const platform::RegistryReader classes(classes::Hive::MachineClasses, classes::View::Bits64);
    std::vector<std::string> withServer;
    for (const std::string& clsid : classes.subKeys("CLSID")) {
        const std::string server = text::upperAscii(classes.text(classes::serverKey(clsid)));
        // Left out: the runtimes this prefix is made without.
        if (server.empty() || server.find("MSCOREE") != std::string::npos || server.find("MSHTML") != std::string::npos)
            continue;
        withServer.push_back(clsid);
    }
    std::vector<std::string> sample;
    for (size_t i = 0; i < withServer.size(); i += std::max<size_t>(1, withServer.size() / 16))
        sample.push_back(withServer[i]);
    return sample;
}

TEST_F(Loader, TheSystemsOwnClassesAreJudgedAsTheLoaderLoadsThem)
{
    size_t asked = 0;
    for (const std::string& clsid : systemClassesSample()) {
        SCOPED_TRACE(clsid);
        const LoaderAnswer loader = askLoader(clsid);
        if (!loader.finished) continue; // a class that hangs or ends its host says nothing about files
        ++asked;
        const classes::ServerFile rule = ruleOf(clsid);
        EXPECT_EQ(rule.found(), fileFound(loader)) << classes::describeLocation(rule) << "; hr " << std::hex << loader.hr;
        EXPECT_EQ(serverStatus(clsid) == "fail", !fileFound(loader));
        // The dependencies item fails exactly when the system cannot load the file.
        if (rule.found()) {
            const unsigned long error = loadError(rule.file);
            EXPECT_EQ(itemStatus(clsid, doctor::kDependencies) == "fail", error != 0) << rule.file << ": " << error;
        }
    }
    EXPECT_GE(asked, 12u);
}

// The cleanup of every stale class of the prefix, merged: no class that
// loaded before stops loading, and the undo gives back every key byte for byte.
TEST_F(Loader, ACleanupMergedLeavesEveryClassThatLoadedLoading)
{
    // A stale add-in of its own, so that there is something to clean up, with
    // a ProgID outside the code page: the cleanup is then a UTF-16 script.
    const std::string staleClass = "{D0C70000-0000-4000-8000-0000000000AA}";
    const std::string staleProgId = "Stale.\xC5\x81\xC3\xB3" "d\xC5\xBA"; // Łódź
    ScopedKey stale(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + staleClass);
    stale.setUnicode("InProcServer32", "", folder_ + "gone\\x.dll");
    ScopedKey staleName(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + staleProgId);
    staleName.setUnicode("CLSID", "", staleClass);
    std::vector<std::string> loaded;
    for (const std::string& clsid : systemClassesSample())
        if (!askLoader(clsid).module.empty()) loaded.push_back(clsid);
    ASSERT_FALSE(loaded.empty());

    const std::string before = exportedClasses();
    const std::string cleanup = folder_ + "cleanup.reg";
    const ChildRun stale1 = runChild(utf8Of(wideOf(buildFolder())) + "AddInRegCli.exe", {"stale", "--cleanup-file", cleanup});
    ASSERT_EQ(stale1.exitCode, 1u) << stale1.err;
    ASSERT_EQ(runReg({"import", cleanup}), 0u);
    EXPECT_EQ(readFileBytes(cleanup).value_or("").substr(0, 2), "\xFF\xFE");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + staleClass));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + staleProgId));
    for (const std::string& clsid : loaded) EXPECT_FALSE(askLoader(clsid).module.empty()) << clsid;

    ASSERT_EQ(runReg({"import", folder_ + "Undo-cleanup.reg"}), 0u);
    EXPECT_EQ(exportedClasses(), before);
}

} // namespace

// The load trial against the loader: for servers that load, that are not
// there, that hang, and that fault as they load or when asked for the class,
// the trial passes exactly when the loader gave the class object, and says
// what went wrong in the helper.
TEST_F(Loader, TheLoadTrialPassesExactlyWhenTheLoaderGivesTheClass)
{
    const std::string build = utf8Of(wideOf(buildFolder()));
    const struct {
        std::string server;
        const char* says; // in the item's reason
    } cases[] = {
        {folder_ + "plain\\x.dll", "class object and instance made"},
        {folder_ + "gone\\x.dll", "CoGetClassObject failed"},
        {build + "TrialHANG.dll", "no answer within 3 s while loading the server and getting its class object"},
        {build + "TrialCRASH.dll", "the DLL did not load: error 998"},
        {build + "TrialFAULT.dll", "crashed with exception 0xC0000005 while loading the server"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        ScopedKey key(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kClsid);
        key.setUnicode("InProcServer32", "", c.server);
        key.setUnicode("InProcServer32", "ThreadingModel", "Apartment");

        const LoaderAnswer loader = askLoader(kClsid, 8000);
        const CliRun run = runCli({"check", kClsid, "--load", "--load-timeout", "3", "--format", "json"});
        ASSERT_TRUE(run.finished);
        const nlohmann::json load = nlohmann::json::parse(run.out)[0]["checks"]["load"];
        const bool loaded = loader.finished && loader.hr < 0x80000000UL;
        EXPECT_EQ(load["status"] == "pass", loaded) << load.dump();
        EXPECT_NE(load["reason"].get<std::string>().find(c.says), std::string::npos) << load.dump();
    }
}
