// The 32-bit side end to end, as a developer of a 32-bit add-in meets it:
// the x86 sample server registered with the system's tools and seen by every
// command in the 32-bit view, its stale registration cleaned up and restored,
// its capture merged with the 64-bit reg import and activated by a 32-bit
// client only, and x86 servers that cannot load, each verdict held against
// the 32-bit COM loader (com_activator32).
#include "ChildProcess.h"
#include "CliProcess.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "ThirtyTwoBit.h"
#include "Ui.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace testing_support;
using Json = nlohmann::ordered_json;

namespace {

const std::string kSampleClsid = "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";
const std::string kSampleProgId = "AddInRegSample.Server.1";
const std::string kClassKey = "Software\\Classes\\CLSID\\" + kSampleClsid;

bool in32BitView(const std::string& key) { return keyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY); }
bool in64BitView(const std::string& key) { return keyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY); }
bool loaded(const std::string& answer) { return answer.find("hr=0x00000000") != std::string::npos; }

Json jsonOf(const CliRun& run)
{
    Json json = Json::parse(run.out, nullptr, false);
    EXPECT_FALSE(json.is_discarded()) << run.out << run.err;
    return json;
}

// The statuses of a class's checklist in the 32-bit view, with the load trial.
Json checked32(const std::string& target, unsigned long expectedExit)
{
    const CliRun run = runCli({"check", target, "--view", "32", "--load", "--format", "json"});
    EXPECT_EQ(run.exitCode, expectedExit) << run.out << run.err;
    const Json json = jsonOf(run);
    return json.is_array() && json.size() == 1 ? json[0]["checks"] : Json::object();
}

class X86 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!runs32Bit()) GTEST_SKIP() << kNo32Bit;
        ASSERT_TRUE(removeFolder(folder_));
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        ASSERT_TRUE(CopyFileA((buildFolder() + "DoctorX86.dll").c_str(), dll_.c_str(), FALSE));
    }
    void TearDown() override
    {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) deleteTree(HKEY_LOCAL_MACHINE, kClassKey, view);
        deleteTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + kSampleProgId);
        removeFolder(folder_);
    }

    // The add-in as its build step registers it: write --register, which
    // runs regsvr32 on the x86 DLL and merges the host's keys.
    void registerAddIn()
    {
        const CliRun run = runCli({"write", script_, "--clsid", kSampleClsid, "--server", dll_, "--menu", "X86 Sample",
                                   "--description", "An x86 add-in", "--register"});
        ASSERT_EQ(run.exitCode, 0u) << run.out << run.err;
    }

    const std::string folder_ = buildFolder() + "x86 files\\";
    const std::string dll_ = folder_ + "X86Sample.dll";
    const std::string script_ = folder_ + "X86Sample.reg";
};

TEST_F(X86, WriteRegisterPutsTheClassWhereA32BitHostReadsItAndEveryCommandSeesIt)
{
    registerAddIn();
    const std::string script = readFileBytes(script_).value_or("");
    EXPECT_NE(script.find("[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\" + kSampleClsid + "\\Settings]"), std::string::npos)
        << script;
    EXPECT_EQ(script.find("[HKEY_CLASSES_ROOT\\CLSID\\"), std::string::npos) << script;
    EXPECT_TRUE(in32BitView(kClassKey + "\\Settings"));
    EXPECT_FALSE(in64BitView(kClassKey));
    // The loaders agree: a 32-bit host gets the class, a 64-bit one does not.
    EXPECT_TRUE(loaded(activate32(kSampleClsid)));
    EXPECT_FALSE(loaded(runChild(buildFolder() + "com_activator.exe", {kSampleClsid}, {}, 60000).out));

    const Json checks = checked32(kSampleProgId, 0);
    for (const auto& [key, item] : checks.items()) EXPECT_EQ(item["status"], "pass") << key << ": " << item.dump();
    EXPECT_NE(checks.dump().find("loaded by the 32-bit helper"), std::string::npos) << checks.dump(2);
    const CliRun in64 = runCli({"check", kSampleProgId, "--view", "64", "--format", "json"});
    EXPECT_EQ(in64.exitCode, 1u);

    for (const char* view : {"32", "both"}) {
        const Json rows = jsonOf(runCli({"list", "--view", view, "--format", "json"}));
        const auto row = std::find_if(rows.begin(), rows.end(), [](const Json& r) {
            return r["progId"] == kSampleProgId && r["view"] == 32;
        });
        ASSERT_NE(row, rows.end()) << view;
        EXPECT_EQ((*row)["server"], dll_);
        EXPECT_EQ((*row)["serverExists"], true);
    }
    EXPECT_EQ(runCli({"find", "x86sample.DLL", "--view", "32"}).exitCode, 0u);
    EXPECT_EQ(runCli({"find", "x86sample.DLL", "--view", "64"}).exitCode, 5u);

    const Json addIns = jsonOf(runCli({"addins", "--host", "r6", "--view", "32", "--format", "json", "--load"}));
    const auto row = std::find_if(addIns.begin(), addIns.end(), [](const Json& r) { return r["clsid"] == kSampleClsid; });
    ASSERT_NE(row, addIns.end()) << addIns.dump(2);
    EXPECT_EQ((*row)["result"], "pass") << row->dump();
    EXPECT_EQ((*row)["view"], 32);
}

TEST_F(X86, StaleOnceTheFileIsGoneAndTheCleanupAndUndoRoundTripThroughRegImport)
{
    registerAddIn();
    ASSERT_TRUE(DeleteFileA(dll_.c_str()));
    const auto staleClsids = [](const char* view) {
        std::vector<std::string> clsids;
        const Json rows = jsonOf(runCli({"stale", "--view", view, "--format", "json"}));
        for (const Json& row : rows) clsids.push_back(row.value("clsid", ""));
        return clsids;
    };
    const std::vector<std::string> in32 = staleClsids("32");
    EXPECT_EQ(std::count(in32.begin(), in32.end(), kSampleClsid), 1);
    const std::vector<std::string> in64 = staleClsids("64");
    EXPECT_EQ(std::count(in64.begin(), in64.end(), kSampleClsid), 0);

    const std::string before = exportedClasses();
    const std::string cleanup = folder_ + "cleanup.reg";
    EXPECT_EQ(runCli({"stale", "--view", "32", "--cleanup-file", cleanup}).exitCode, 1u);
    EXPECT_EQ(runReg({"import", cleanup}), 0u);
    EXPECT_FALSE(in32BitView(kClassKey));
    EXPECT_EQ(runReg({"import", folder_ + "Undo-cleanup.reg"}), 0u);
    EXPECT_TRUE(in32BitView(kClassKey + "\\InProcServer32"));
    EXPECT_EQ(exportedClasses(), before);
}

TEST_F(X86, CaptureMergedByThe64BitRegImportServesOnly32BitClientsAndIsTakenBack)
{
    const std::string before = exportedClasses();
    const std::string captured = folder_ + "Captured.reg";
    const CliRun run = runCli({"capture", dll_, "--out", captured});
    ASSERT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_EQ(exportedClasses(), before) << "the capture wrote into the registry";
    const std::string script = readFileBytes(captured).value_or("");
    EXPECT_NE(script.find("[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\" + kSampleClsid + "\\InProcServer32]"),
              std::string::npos)
        << script;

    ASSERT_EQ(runReg({"import", captured}), 0u);
    EXPECT_TRUE(loaded(activate32(kSampleClsid)));
    EXPECT_FALSE(loaded(runChild(buildFolder() + "com_activator.exe", {kSampleClsid}, {}, 60000).out));
    EXPECT_EQ(runReg({"import", folder_ + "UnReg-Captured.reg"}), 0u);
    EXPECT_EQ(exportedClasses(), before);

    // write --capture: the captured keys and the template's, all in the 32-bit view.
    const CliRun written = runCli({"write", script_, "--clsid", kSampleClsid, "--server", dll_, "--capture", "--menu",
                                   "X86 Sample", "--description", "An x86 add-in"});
    ASSERT_EQ(written.exitCode, 0u) << written.err;
    const std::string both = readFileBytes(script_).value_or("");
    EXPECT_NE(both.find("Wow6432Node\\CLSID\\" + kSampleClsid + "\\InProcServer32]"), std::string::npos) << both;
    EXPECT_NE(both.find("Wow6432Node\\CLSID\\" + kSampleClsid + "\\Settings]"), std::string::npos) << both;
    EXPECT_EQ(both.find("[HKEY_CLASSES_ROOT\\CLSID\\"), std::string::npos) << both;
}

// x86 servers that the 32-bit loader refuses: the load item fails exactly
// as the system does, says why, and the companion itself never crashes.
TEST_F(X86, ServersThatCannotLoadIn32BitsFailWithTheirCause)
{
    const std::string deps = buildFolder() + "deps32\\";
    for (const char* name : {"DepsAddIn.dll", "DepsHelper.dll", "DepsNoEntry.dll", "TrialCRASH.dll", "TrialFAULT.dll"})
        ASSERT_TRUE(CopyFileA((deps + name).c_str(), (folder_ + name).c_str(), FALSE)) << name;
    struct Case {
        const char* file;
        const char* item; // the item that names the cause
        const char* reason;
    };
    const Case cases[] = {
        {"DepsAddIn.dll", "dependencies", "DepsAddIn.dll \xE2\x86\x92 DepsHelper.dll \xE2\x86\x92 DepsMissing.dll: not found"},
        {"DepsNoEntry.dll", "exports", "no DllGetClassObject export"},
        {"TrialCRASH.dll", "load", ""}, // under Wine the loader catches the fault; what COM then says varies
        {"TrialFAULT.dll", "load", "crashed with exception"},
    };
    unsigned n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string clsid = ClsidFamily{"D0C78600"}(++n);
        const ScopedClasses added(
            {{"", clsid, folder_ + c.file, "", REG_SZ, {{"InProcServer32", "ThreadingModel", "Apartment"}}}}, kMachine32);
        EXPECT_FALSE(loaded(activate32(clsid)));
        const Json checks = checked32(clsid, 1);
        EXPECT_EQ(checks["machine"]["status"], "pass") << checks.dump(2);
        EXPECT_EQ(checks["load"]["status"], "fail") << checks.dump(2);
        EXPECT_EQ(checks[c.item]["status"], "fail") << checks.dump(2);
        EXPECT_NE(checks[c.item]["reason"].get<std::string>().find(c.reason), std::string::npos) << checks.dump(2);
    }
}

} // namespace
