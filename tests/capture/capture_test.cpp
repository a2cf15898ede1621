// AddInRegCli capture, write --capture and the per-user registration, run as
// a build step runs them, against the real registry of the test prefix: the
// scripts byte for byte, the registry untouched by a capture, the class
// activated by the system's COM loader after the merge, and every way a
// registration can go around the capture named, with no script written.
#include "ChildProcess.h"
#include "CliProcess.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "ThirtyTwoBit.h"
#include "Ui.h"
#include "scripts/CapturedRegistration.h"
#include "scripts/RegScript.h"
#include "platform/CaptureRun.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

const std::string kSampleClsid = "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";
const std::string kSampleProgId = "AddInRegSample.Server.1";
const std::string kFixtureClsid = "{0C4F2B7A-51D3-4E68-9A1B-7F3E2D6C8B15}";

// The key lines of a script ("[...]" and "[-...]").
std::vector<std::string> keyLines(const std::string& script)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < script.size()) {
        const size_t end = std::min(script.find("\r\n", at), script.size());
        if (script[at] == '[') lines.push_back(script.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// Whether the key or any key below it holds a value.
bool holdsValues(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    std::vector<std::string> subKeys;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subKeys.emplace_back(name, length);
    }
    RegCloseKey(key);
    return values > 0 || std::any_of(subKeys.begin(), subKeys.end(),
                                     [&](const std::string& sub) { return holdsValues(root, path + "\\" + sub); });
}

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = buildFolder() + "capture-test\\";
        removeFolder(folder_);
        CreateDirectoryA(folder_.c_str(), nullptr);
        removeRegistrations();
    }
    void TearDown() override
    {
        removeRegistrations();
        SetEnvironmentVariableW(L"ADDINREG_FIXTURE", nullptr);
        removeFolder(folder_);
    }

    static void removeRegistrations()
    {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)})
                for (const std::string& key : {"Software\\Classes\\CLSID\\" + kSampleClsid,
                                               "Software\\Classes\\CLSID\\" + kFixtureClsid,
                                               "Software\\Classes\\" + kSampleProgId,
                                               std::string("Software\\Classes\\AddInRegEscape")})
                    deleteTree(root, key, view);
    }

    CliRun capture(const std::string& dll, std::vector<std::string> options) const
    {
        std::vector<std::string> args{"capture", dll, "--out", out()};
        args.insert(args.end(), options.begin(), options.end());
        return runCli(args);
    }

    static unsigned long merge(const std::string& script) { return runReg({"import", script}); }

    // The loader's answer for a class, from a child process: "hr=0x..." and the module.
    static std::string activate(const std::string& clsid)
    {
        return runChild(buildFolder() + "com_activator.exe", {clsid}, {}, 30000).out;
    }

    std::string out() const { return folder_ + "Captured.reg"; }
    std::string unReg() const { return folder_ + "UnReg-Captured.reg"; }
    std::string sample() const { return buildFolder() + "AddInRegSample.dll"; }

    // A copy of the sample in a folder of its own: the capture's path, which
    // --server replaces.
    std::string stagedSample() const
    {
        const std::string staged = folder_ + "staged\\AddInRegSample.dll";
        CreateDirectoryA((folder_ + "staged").c_str(), nullptr);
        CopyFileA(sample().c_str(), staged.c_str(), FALSE);
        return staged;
    }

    std::string folder_;
};

std::string sampleScript(const std::string& classes, const std::string& server)
{
    const std::string clsidKey = "[" + classes + "\\CLSID\\" + kSampleClsid;
    return "REGEDIT4\r\n\r\n"
           "[" + classes + "\\" + kSampleProgId + "\\CLSID]\r\n"
           "@=\"" + kSampleClsid + "\"\r\n\r\n" +
           clsidKey + "]\r\n"
           "@=\"AddInReg sample server\"\r\n\r\n" +
           clsidKey + "\\InProcServer32]\r\n"
           "@=\"" + scripts::escapeRegString(server) + "\"\r\n"
           "\"ThreadingModel\"=\"Apartment\"\r\n\r\n" +
           clsidKey + "\\ProgID]\r\n"
           "@=\"" + kSampleProgId + "\"\r\n";
}

std::string sampleUnRegScript(const std::string& classes)
{
    return "REGEDIT4\r\n\r\n"
           "[-" + classes + "\\" + kSampleProgId + "]\r\n\r\n"
           "[-" + classes + "\\CLSID\\" + kSampleClsid + "]\r\n";
}

// The sample's capture: exactly its keys, the staged path replaced by the
// real one in another case, the registry as it was; merged, the class
// activates from the server named; the un-register script takes it all back.
TEST_F(CaptureTest, SampleScriptsAreExactAndTheRegistryUntouched)
{
    const std::string before = exportedClasses();
    std::string server = sample();
    CharUpperBuffA(server.data(), DWORD(server.size()));
    const CliRun run = capture(stagedSample(), {"--server", server});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(readFileBytes(out()).value_or(""), sampleScript("HKEY_CLASSES_ROOT", server));
    EXPECT_EQ(readFileBytes(unReg()).value_or(""), sampleUnRegScript("HKEY_CLASSES_ROOT"));
    EXPECT_EQ(exportedClasses(), before);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\AddInReg")) << "the scratch key is left";

    ASSERT_EQ(merge(out()), 0u);
    const std::string answer = activate(kSampleClsid);
    EXPECT_NE(answer.find("hr=0x00000000"), std::string::npos) << answer;
    EXPECT_NE(answer.find("module="), std::string::npos) << answer;
    ASSERT_EQ(merge(unReg()), 0u);
    EXPECT_EQ(exportedClasses(), before);
}

// A key that was there before the capture is never deleted by its
// un-register script; a value added to it is, by itself.
TEST_F(CaptureTest, UnRegisterKeepsWhatWasThere)
{
    const ScopedKey existing(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kSampleClsid);
    existing.setString("", "Kept", "by another");
    ASSERT_EQ(capture(sample(), {}).exitCode, 0u);
    EXPECT_EQ(readFileBytes(unReg()).value_or(""),
              "REGEDIT4\r\n\r\n"
              "[-HKEY_CLASSES_ROOT\\" + kSampleProgId + "]\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\" + kSampleClsid + "]\r\n@=-\r\n\r\n"
              "[-HKEY_CLASSES_ROOT\\CLSID\\" + kSampleClsid + "\\InProcServer32]\r\n\r\n"
              "[-HKEY_CLASSES_ROOT\\CLSID\\" + kSampleClsid + "\\ProgID]\r\n");
    ASSERT_EQ(merge(out()), 0u);
    ASSERT_EQ(merge(unReg()), 0u);
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kSampleClsid, "Kept"), "by another");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kSampleClsid + "\\InProcServer32"));
}

// Per user: every key of both scripts below HKEY_CURRENT_USER\Software\Classes,
// nothing in the machine's classes, check names the per-user copy, and
// unregister --per-user takes it back without regsvr32.
TEST_F(CaptureTest, PerUserScriptsStayInTheUsersClasses)
{
    const std::string before = exportedClasses();
    ASSERT_EQ(capture(sample(), {"--per-user"}).exitCode, 0u);
    const std::string script = readFileBytes(out()).value_or("");
    EXPECT_EQ(script, sampleScript("HKEY_CURRENT_USER\\Software\\Classes", sample()));
    for (const std::string& file : {out(), unReg()})
        for (const std::string& line : keyLines(readFileBytes(file).value_or("")))
            EXPECT_TRUE(line.rfind("[HKEY_CURRENT_USER\\Software\\Classes\\", 0) == 0 ||
                        line.rfind("[-HKEY_CURRENT_USER\\Software\\Classes\\", 0) == 0)
                << line;

    ASSERT_EQ(merge(out()), 0u);
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\" + kSampleClsid + "\\InProcServer32"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kSampleClsid));
    const CliRun check = runCli({"check", kSampleClsid});
    EXPECT_NE(check.out.find("per-user only (HKEY_CURRENT_USER\\Software\\Classes)"), std::string::npos) << check.out;

    const CliRun removed = runCli({"unregister", kSampleClsid, "--per-user", "--unreg-file", unReg(), "--verify"});
    EXPECT_EQ(removed.exitCode, 0u) << removed.err;
    EXPECT_EQ(removed.err.find("regsvr32"), std::string::npos) << removed.err;
    EXPECT_EQ(exportedClasses(), before);
}

// write --capture: the captured COM keys and the template's add-in keys in
// one script, both in the un-register script; one merge registers it all,
// the other takes it all back, byte for byte.
TEST_F(CaptureTest, WriteWithCaptureRegistersTheAddInCompletely)
{
    const std::string before = exportedClasses();
    const CliRun written = runCli({"write", out(), "--clsid", kSampleClsid, "--server", sample(), "--menu", "Sample",
                                   "--description", "Captured", "--capture"});
    ASSERT_EQ(written.exitCode, 0u) << written.err;
    const std::string script = readFileBytes(out()).value_or("");
    EXPECT_EQ(script.rfind(sampleScript("HKEY_CLASSES_ROOT", sample()), 0), 0u) << script;
    EXPECT_NE(script.find("\\Implemented Categories\\"), std::string::npos) << script;

    ASSERT_EQ(merge(out()), 0u);
    const CliRun check = runCli({"check", kSampleProgId});
    EXPECT_EQ(check.exitCode, 0u) << check.out;
    ASSERT_EQ(merge(unReg()), 0u);
    EXPECT_EQ(exportedClasses(), before);

    // Per user and registered: reg import only, never regsvr32.
    const CliRun registered = runCli({"write", out(), "--clsid", kSampleClsid, "--server", sample(), "--menu",
                                      "Sample", "--description", "Captured", "--capture", "--per-user", "--register"});
    EXPECT_EQ(registered.exitCode, 0u) << registered.err;
    EXPECT_EQ(registered.err.find("regsvr32"), std::string::npos) << registered.err;
    EXPECT_NE(registered.err.find("reg.exe import"), std::string::npos) << registered.err;
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\" + kSampleClsid + "\\Implemented Categories"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kSampleClsid));
    ASSERT_EQ(merge(unReg()), 0u);
    EXPECT_EQ(exportedClasses(), before);
}

// Each way around the redirected keys is seen and named; no script is
// written. A handle opened in DllMain is not a way around: the keys are
// redirected before the DLL loads.
struct Escape {
    const char* mode;
    const char* named; // a part of the key named
};

class CaptureEscapeTest : public CaptureTest, public ::testing::WithParamInterface<Escape> {};

TEST_P(CaptureEscapeTest, IsNamedAndNoScriptIsWritten)
{
    SetEnvironmentVariableA("ADDINREG_FIXTURE", GetParam().mode);
    const CliRun run = capture(buildFolder() + "AddInRegCaptureFixture.dll", {});
    EXPECT_EQ(run.exitCode, 1u) << run.err;
    EXPECT_NE(run.err.find("Written around the capture into the real registry: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(GetParam().named), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("No script was written."), std::string::npos) << run.err;
    EXPECT_FALSE(pathExists(out()));
    EXPECT_FALSE(pathExists(unReg()));
}

INSTANTIATE_TEST_SUITE_P(
    EachWay, CaptureEscapeTest,
    ::testing::Values(Escape{"catreg", "\\Implemented Categories\\{5E7A1C3D-2B4F-4A6E-8D9C-1F2E3A4B5C6D}"},
                      Escape{"native", "HKEY_LOCAL_MACHINE\\Software\\Classes\\AddInRegEscape"},
                      Escape{"child", "HKEY_CURRENT_USER\\Software\\Classes\\AddInRegEscape"}),
    [](const ::testing::TestParamInfo<Escape>& info) { return std::string(info.param.mode); });

// Keys opened with KEY_WOW64_32KEY are captured in the 32-bit view, as a
// plain regsvr32 leaves them: the class below Wow6432Node, the machine's
// software below its Wow6432Node.
TEST_F(CaptureTest, KeysOfTheOtherViewStayInThatView)
{
    SetEnvironmentVariableA("ADDINREG_FIXTURE", "wow64");
    const CliRun run = capture(buildFolder() + "AddInRegCaptureFixture.dll", {"--no-unreg"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(readFileBytes(out()).value_or(""), "REGEDIT4\r\n\r\n"
                                                 "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\AddInRegFixture]\r\n"
                                                 "\"Bits\"=\"32\"\r\n\r\n"
                                                 "[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\" + kFixtureClsid + "]\r\n"
                                                 "@=\"32-bit view\"\r\n");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kFixtureClsid, KEY_WOW64_32KEY));
}

TEST_F(CaptureTest, HandleOpenedInDllMainIsRedirected)
{
    SetEnvironmentVariableA("ADDINREG_FIXTURE", "early");
    const std::string fixture = buildFolder() + "AddInRegCaptureFixture.dll";
    const CliRun run = capture(fixture, {"--no-unreg"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(readFileBytes(out()).value_or(""), "REGEDIT4\r\n\r\n"
                                                 "[HKEY_CLASSES_ROOT\\CLSID\\" + kFixtureClsid + "\\InProcServer32]\r\n"
                                                 "@=\"" + scripts::escapeRegString(fixture) + "\"\r\n"
                                                 "\"ThreadingModel\"=\"Both\"\r\n");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kFixtureClsid));
}

// System code a registration calls (SHGetFolderPath, a crypto context)
// reads the profile's folders, the shell's folders and the crypto providers,
// and writes its defaults where they are missing. A plain regsvr32 of the
// fixture changes none of those keys and writes its class; the capture's
// script is exactly the class, and names nothing outside the classes.
TEST_F(CaptureTest, SystemDefaultsAreNotTheDllsRegistration)
{
    SetEnvironmentVariableA("ADDINREG_FIXTURE", "defaults");
    const std::string fixture = buildFolder() + "AddInRegCaptureFixture.dll";
    const CliRun run = capture(fixture, {"--no-unreg"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(readFileBytes(out()).value_or(""), "REGEDIT4\r\n\r\n"
                                                 "[HKEY_CLASSES_ROOT\\CLSID\\" + kFixtureClsid + "\\InProcServer32]\r\n"
                                                 "@=\"" + scripts::escapeRegString(fixture) + "\"\r\n"
                                                 "\"ThreadingModel\"=\"Both\"\r\n");
    EXPECT_EQ(run.err.find("Outside the classes"), std::string::npos) << run.err;

    const std::vector<std::string> defaults{
        "HKLM\\Software\\Microsoft\\Cryptography",
        "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
        "HKCU\\Environment",
        "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
    };
    const auto exported = [&] {
        std::string all;
        for (const std::string& key : defaults) {
            const std::string file = folder_ + "defaults.reg";
            DeleteFileA(file.c_str());
            runReg({"export", key, file, "/y"});
            all += readFileBytes(file).value_or("(none)");
        }
        return all;
    };
    const std::string before = exported();
    EXPECT_EQ(runChild(platform::utilityPath(platform::kRegsvr32), {"/s", fixture}).exitCode, 0u);
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kFixtureClsid + "\\InProcServer32"));
    EXPECT_EQ(exported(), before) << "a plain regsvr32 writes none of the system's defaults";
}

// A registration that fails, one that never ends and a file that is no DLL:
// the reason, exit code 1, no script, no scratch key left.
TEST_F(CaptureTest, FailuresWriteNothing)
{
    SetEnvironmentVariableA("ADDINREG_FIXTURE", "fail");
    CliRun run = capture(buildFolder() + "AddInRegCaptureFixture.dll", {});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.err.find("failed with 0x80070005"), std::string::npos) << run.err;
    EXPECT_FALSE(pathExists(out()));

    const ULONGLONG start = GetTickCount64();
    run = capture(buildFolder() + "HangingServer.dll", {"--timeout", "2"});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.err.find("did not finish within 2 seconds"), std::string::npos) << run.err;
    EXPECT_LT(GetTickCount64() - start, 30000u);
    EXPECT_FALSE(pathExists(out()));

    writeFileBytes(folder_ + "text.dll", "not a DLL");
    run = capture(folder_ + "text.dll", {});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.err.find("is not a 64-bit or 32-bit DLL"), std::string::npos) << run.err;
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\AddInReg"));
}

// A DLL that asks COM for its own class while it registers: COM looks in
// the real registry, where a plain regsvr32 has just written the class, but
// the capture's class is in its scratch key. The reason in words.
TEST_F(CaptureTest, OwnClassActivatedWhileRegisteringIsNamed)
{
    SetEnvironmentVariableA("ADDINREG_FIXTURE", "self");
    const std::string fixture = buildFolder() + "AddInRegCaptureFixture.dll";
    const CliRun run = capture(fixture, {});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.err.find("failed with 0x80040154"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the DLL activates a class of its own while registering: capture it where it is already "
                           "registered"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(pathExists(out()));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kFixtureClsid));
    EXPECT_EQ(runChild(platform::utilityPath(platform::kRegsvr32), {"/s", fixture}).exitCode, 0u);
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kFixtureClsid));
}

// A fresh profile has no HKEY_CURRENT_USER\Software\Classes: the capture's
// watch makes none, and still sees a write into it.
TEST_F(CaptureTest, UserClassesAreWatchedWithoutBeingMade)
{
    if (holdsValues(HKEY_CURRENT_USER, "Software\\Classes"))
        GTEST_SKIP() << "HKEY_CURRENT_USER\\Software\\Classes holds values here";
    deleteTree(HKEY_CURRENT_USER, "Software\\Classes");
    ASSERT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\Classes"));
    ASSERT_EQ(capture(sample(), {"--no-unreg"}).exitCode, 0u);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\Classes"));

    SetEnvironmentVariableA("ADDINREG_FIXTURE", "child");
    const CliRun run = capture(buildFolder() + "AddInRegCaptureFixture.dll", {});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.err.find("Written around the capture into the real registry: "
                           "HKEY_CURRENT_USER\\Software\\Classes"),
              std::string::npos)
        << run.err;
}

// A scratch key left by a capture that was killed goes at the next capture;
// one of a capture still running stays.
TEST_F(CaptureTest, LeftScratchKeysAreSwept)
{
    const ScopedKey stale(HKEY_CURRENT_USER, "Software\\AddInReg\\Capture\\4-1d9a-2\\HKCR");
    ASSERT_EQ(capture(sample(), {"--no-unreg"}).exitCode, 0u);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\AddInReg\\Capture\\4-1d9a-2"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\AddInReg"));
}

// A 32-bit DLL is captured by the 32-bit helper into the 32-bit view's keys.
TEST_F(CaptureTest, ThirtyTwoBitClassGoesToTheRedirectedKeys)
{
    if (!runs32Bit()) GTEST_SKIP() << kNo32Bit;
    const CliRun run = capture(buildFolder() + "AddInRegCaptureFixture32.dll", {"--per-user"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const std::vector<std::string> lines = keyLines(readFileBytes(out()).value_or(""));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(),
              "[HKEY_CURRENT_USER\\Software\\Classes\\Wow6432Node\\CLSID\\" + kFixtureClsid + "\\InProcServer32]");
}

// Where the scripts put a 32-bit class, for the machine and per user, is
// where reg import makes it a class of the 32-bit view, and of it alone;
// the un-register script takes it away again. (The 32-bit capture itself
// needs 32-bit programs; the paths do not.)
TEST_F(CaptureTest, ThirtyTwoBitPathsAreThe32BitViewsClassesForRegImport)
{
    // As a capture reads them: parents first.
    const std::string clsid = "CLSID\\" + kFixtureClsid;
    const std::vector<scripts::CapturedKey> captured{
        {scripts::CapturedRoot::ClassesRoot, "CLSID", {}, true},
        {scripts::CapturedRoot::ClassesRoot, clsid, {}, true},
        {scripts::CapturedRoot::ClassesRoot, clsid + "\\InProcServer32", {{"", classes::Value::ofText("C:\\x32.dll")}},
         false}};
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        const scripts::CapturePlan plan = scripts::planCapture(captured, {32, root == HKEY_CURRENT_USER}, {}, "");
        const std::string unRegister = scripts::unRegisterScriptOf(plan, platform::existingKeys());
        writeFileBytes(out(), scripts::registerScriptOf(plan));
        ASSERT_EQ(merge(out()), 0u);
        const std::string key = "Software\\Classes\\CLSID\\" + kFixtureClsid + "\\InProcServer32";
        EXPECT_TRUE(keyExists(root, key, KEY_WOW64_32KEY));
        EXPECT_FALSE(keyExists(root, key, KEY_WOW64_64KEY));
        writeFileBytes(out(), unRegister);
        ASSERT_EQ(merge(out()), 0u);
        EXPECT_FALSE(keyExists(root, "Software\\Classes\\CLSID\\" + kFixtureClsid, KEY_WOW64_32KEY));
    }
}

} // namespace
