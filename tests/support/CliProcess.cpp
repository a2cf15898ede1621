#include "CliProcess.h"

#include "ChildProcess.h"
#include "TestFiles.h"
#include "Ui.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <utility>

namespace testing_support {

CliRun runCli(const std::vector<std::string>& args, const std::string& workingDirectory, int timeoutMs)
{
    const ChildRun run = runChild(utf8Of(wideOf(buildFolder())) + "AddInRegCli.exe", args, {workingDirectory, true, true},
                                  timeoutMs);
    return {run.finished, run.exitCode, run.out, run.err};
}
std::optional<std::string> cliScriptBytes(const std::string& outPath, const std::vector<std::string>& options,
                                          const std::string& workingDirectory)
{
    std::vector<std::string> args{"write", outPath};
    args.insert(args.end(), options.begin(), options.end());
    const CliRun run = runCli(args, workingDirectory);
    if (!run.finished || run.exitCode != 0) return std::nullopt;
    std::string path = outPath;
    if (!workingDirectory.empty() && path.find(':') == std::string::npos && path.rfind("\\\\", 0) != 0)
        path = workingDirectory + "\\" + path;
    return readFileBytes(path);
}

unsigned long runReg(const std::vector<std::string>& args)
{
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    const ChildRun run = runChild(utf8Of(std::wstring(system, length)) + "\\reg.exe", args, {"", true, true}, 60000);
    return run.started ? run.exitCode : static_cast<unsigned long>(-1);
}

std::string firstDifference(const std::string& expected, const std::string& actual)
{
    const auto textOf = [](const std::string& bytes) {
        return utf8Of(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2));
    };
    const std::string a = textOf(expected);
    const std::string b = textOf(actual);
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    const size_t newline = a.rfind('\n', at);
    const size_t line = newline == std::string::npos ? 0 : newline + 1;
    const auto lineOf = [line](const std::string& s) { return line < s.size() ? s.substr(line, s.find('\n', line) - line) : ""; };
    return "expected: " + lineOf(a) + "\n  actual: " + lineOf(b);
}

std::string exportedClasses()
{
    std::string all;
    const std::string file = utf8Of(wideOf(buildFolder())) + "exported classes.reg";
    for (const auto& [root, key] : {std::pair{HKEY_LOCAL_MACHINE, "HKLM\\Software\\Classes"},
                                    std::pair{HKEY_CURRENT_USER, "HKCU\\Software\\Classes"}}) {
        // A fresh prefix has no per-user classes key: nothing to export.
        HKEY classes = nullptr;
        if (RegOpenKeyExA(root, "Software\\Classes", 0, KEY_READ, &classes) != ERROR_SUCCESS) {
            all += std::string(key) + " is not there\n";
            continue;
        }
        RegCloseKey(classes);
        EXPECT_EQ(runReg({"export", key, file, "/y"}), 0u) << key;
        all += readFileBytes(file).value_or("");
    }
    DeleteFileW(wideOf(file).c_str());
    return all;
}

} // namespace testing_support
