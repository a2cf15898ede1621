// The NSIS include of a capture, proven by a real installer: the installers
// that the installer_build fixture made with makensis around the includes
// (build-installers.sh) run silently here, for the machine and per user, for
// the 64-bit sample and the 32-bit one. Installed, the registry holds exactly
// what `reg import` of the captured register script gives, nothing more;
// the doctor's load trial passes and a client of the add-in's bitness
// activates the class from the installed file. Uninstalled, the registry is
// back as it was, byte for byte.
#include "ChildProcess.h"
#include "CliProcess.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "ThirtyTwoBit.h"
#include "Ui.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <shlobj.h>

#include <string>

using namespace testing_support;

namespace {

const std::string kSampleClsid = "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";
const std::string kSampleProgId = "AddInRegSample.Server.1";

struct Case {
    const char* name; // the installer's, as build-installers.sh names it
    const char* dll;
    bool perUser;
    int bits;
};

// The folder the installer puts the add-in in (FOLDER of build-installers.sh).
std::string installFolderOf(const Case& c)
{
    wchar_t path[MAX_PATH] = L"";
    const int folder = c.perUser ? CSIDL_LOCAL_APPDATA : c.bits == 32 ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES;
    SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path);
    return utf8Of(path) + "\\AddInRegInstallerTest\\";
}

void removeSample()
{
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)})
            for (const std::string& key : {"Software\\Classes\\CLSID\\" + kSampleClsid, "Software\\Classes\\" + kSampleProgId})
                deleteTree(root, key, view);
}

// Every key an installer could write into: both hives' software keys, the
// classes within them, as `reg export` writes them.
std::string exportedSoftware()
{
    std::string all;
    const std::string file = buildFolder() + "exported software.reg";
    for (const char* key : {"HKLM\\Software", "HKCU\\Software"}) {
        EXPECT_EQ(runReg({"export", key, file, "/y"}), 0u) << key;
        all += readFileBytes(file).value_or("");
    }
    DeleteFileA(file.c_str());
    return all;
}

unsigned long runSilently(const std::string& program, const std::vector<std::string>& args)
{
    const ChildRun run = runChild(program, args, {"", true, true}, 120000);
    EXPECT_TRUE(run.finished) << program;
    return run.exitCode;
}

class InstallerTest : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override { removeSample(); }
    void TearDown() override { removeSample(); }
};

TEST_P(InstallerTest, InstallsExactlyTheCaptureAndUninstallsItAll)
{
    const Case& c = GetParam();
    const std::string folder = buildFolder() + "installers\\";
    const std::string installer = folder + c.name + ".exe";
    if (c.bits == 32 && !runs32Bit()) GTEST_SKIP() << kNo32Bit;
    ASSERT_TRUE(pathExists(installer)) << installer << " was not built: see the installer_build entry's output";

    // What the installer must give: the register script of the same capture,
    // naming the installed file, merged.
    const std::string installFolder = installFolderOf(c);
    const std::string script = folder + c.name + ".reg";
    const std::vector<std::string> perUser = c.perUser ? std::vector<std::string>{"--per-user"} : std::vector<std::string>{};
    std::vector<std::string> args{"capture", buildFolder() + c.dll, "--out", script, "--server", installFolder + c.dll};
    args.insert(args.end(), perUser.begin(), perUser.end());
    const CliRun captured = runCli(args);
    ASSERT_EQ(captured.exitCode, 0u) << captured.err;
    const std::string before = exportedSoftware();
    ASSERT_EQ(runReg({"import", script}), 0u);
    const std::string merged = exportedSoftware();
    ASSERT_EQ(runReg({"import", folder + "UnReg-" + c.name + ".reg"}), 0u);
    const std::string unRegistered = exportedSoftware();
    ASSERT_TRUE(unRegistered == before) << "the captured un-register script leaves keys: "
                                        << firstDifference(before, unRegistered);

    ASSERT_EQ(runSilently(installer, {"/S"}), 0u);
    const std::string installed = exportedSoftware();
    // Compared whole, not through a diff of megabytes. Wine 8 redirects all of
    // the user's classes for a 32-bit program, the keys Windows shares
    // between the views (a ProgID) included, so there a per-user installer
    // writing the 32-bit view puts those below Wow6432Node, where reg import
    // does not.
    if (!(c.perUser && c.bits == 32)) {
        EXPECT_TRUE(installed == merged) << firstDifference(merged, installed);
    }

    // The server value names the installed file.
    const REGSAM view = c.bits == 32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    HKEY root = c.perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const std::string serverKey = "Software\\Classes\\CLSID\\" + kSampleClsid + "\\InProcServer32";
    std::string server;
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(root, serverKey.c_str(), 0, KEY_READ | view, &key), ERROR_SUCCESS);
        char text[MAX_PATH] = {};
        DWORD size = sizeof(text) - 1;
        RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
        RegCloseKey(key);
        server = text;
    }
    EXPECT_EQ(server, installFolder + c.dll);
    EXPECT_TRUE(pathExists(server)) << server;

    // A client of the add-in's bitness, and the doctor's load trial, which
    // must say what the client saw. Wine's COM reads the machine's classes
    // only, so a per-user class does not activate there (it does on Windows).
    const std::string activator = buildFolder() + (c.bits == 32 ? "com_activator32.exe" : "com_activator.exe");
    const std::string answer = runChild(activator, {kSampleClsid}, {}, 30000).out;
    const bool activated = answer.find("hr=0x00000000") != std::string::npos;
    if (!c.perUser) {
        EXPECT_TRUE(activated) << answer;
        EXPECT_NE(answer.find(c.dll), std::string::npos) << answer;
    }
    const CliRun check = runCli({"check", kSampleClsid, "--load", "--format", "json"});
    const nlohmann::json checked = nlohmann::json::parse(check.out, nullptr, false);
    ASSERT_TRUE(checked.is_array() && !checked.empty()) << check.out << check.err;
    EXPECT_EQ(checked[0]["checks"]["load"]["status"], activated ? "pass" : "fail") << answer << checked.dump(2);

    // In place (_?=), so that the run ends with the uninstaller's work.
    ASSERT_EQ(runSilently(installFolder + "uninstall.exe", {"/S", "_?=" + installFolder.substr(0, installFolder.size() - 1)}),
              0u);
    const std::string after = exportedSoftware();
    EXPECT_TRUE(after == before) << firstDifference(before, after);
    EXPECT_FALSE(pathExists(server));
    removeFolder(installFolder);
}

INSTANTIATE_TEST_SUITE_P(EachCase, InstallerTest,
                         ::testing::Values(Case{"machine64", "AddInRegSample.dll", false, 64},
                                           Case{"user64", "AddInRegSample.dll", true, 64},
                                           Case{"machine32", "DoctorX86.dll", false, 32},
                                           Case{"user32", "DoctorX86.dll", true, 32}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
