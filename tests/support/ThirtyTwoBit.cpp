#include "ThirtyTwoBit.h"

#include "ChildProcess.h"
#include "Ui.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <optional>

namespace testing_support {

bool runs32Bit()
{
    static const bool runs = [] {
        const ChildRun run = runChild(buildFolder() + "AddInRegLoad32.exe", {}, {}, 60000);
        return run.finished && run.exitCode == 2; // no arguments: the usage code
    }();
    const char* required = std::getenv("ADDINREG_REQUIRE_32BIT");
    if (!runs && required && std::string(required) == "1")
        ADD_FAILURE() << "the 32-bit lane runs here, yet AddInRegLoad32.exe did not start";
    return runs;
}

unsigned long runRegsvr32x86(const std::vector<std::string>& args)
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemWow64DirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return static_cast<unsigned long>(-1);
    const ChildRun run = runChild(utf8Of(folder) + "\\regsvr32.exe", args, {}, 120000);
    return run.finished ? run.exitCode : static_cast<unsigned long>(-1);
}

std::string activate32(const std::string& clsid)
{
    return runChild(buildFolder() + "com_activator32.exe", {clsid}, {}, 60000).out;
}

} // namespace testing_support
