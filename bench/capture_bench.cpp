// How long a capture takes: `AddInRegCli capture` of the sample server and of
// a large DLL of the system's own (msxml3.dll, hundreds of classes and
// interfaces), three times each, against the floor of starting a program
// that does nothing in the same prefix. A capture starts two programs (the
// companion and its helper), so twice the floor is the least it can take.
// Then the installer formats of msxml3.dll's capture (an NSIS include, a WiX
// fragment) against its register script: what writing them adds to a capture.
// Prints the figures and the ratios; removes what it wrote.
#include "ChildProcess.h"
#include "Quickest.h"
#include "CliProcess.h"
#include "TestFiles.h"
#include "Ui.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace testing_support;
using bench::quickest;

namespace {



} // namespace

int main()
{
    const std::string folder = buildFolder();
    const std::string out = folder + "capture-bench.reg";
    const double floor = quickest([&] {
        const ChildRun run = runChild(folder + "empty_program.exe", {}, {}, 60000);
        return run.finished && run.exitCode == 0;
    });
    wchar_t system[MAX_PATH] = L"";
    GetSystemDirectoryW(system, MAX_PATH);
    const std::string msxml = platform::utf8Of(system) + "\\msxml3.dll";
    std::printf("empty program start: %.0f ms\n", floor);
    for (const std::string& dll : {folder + "AddInRegSample.dll", msxml}) {
        size_t bytes = 0;
        const double ms = quickest([&] {
            const CliRun run = runCli({"capture", dll, "--out", out, "--no-unreg"});
            bytes = readFileBytes(out).value_or("").size();
            DeleteFileA(out.c_str());
            if (run.exitCode != 0) std::printf("%s", run.err.c_str());
            return run.finished && run.exitCode == 0;
        });
        std::printf("capture %s: %.0f ms (script %zu bytes), %.1f x the empty program's start\n",
                    dll.c_str(), ms, bytes, floor > 0 ? ms / floor : 0.0);
    }
    double reg = 0;
    for (const char* format : {"reg", "nsis", "wix"}) {
        const std::string file = folder + "capture-bench." + format;
        size_t bytes = 0;
        const double ms = quickest([&] {
            const CliRun run = runCli({"capture", msxml, "--out", file, "--no-unreg", "--format", format});
            bytes = readFileBytes(file).value_or("").size();
            DeleteFileA(file.c_str());
            if (run.exitCode != 0) std::printf("%s", run.err.c_str());
            return run.finished && run.exitCode == 0;
        });
        if (std::string(format) == "reg") reg = ms;
        std::printf("capture msxml3.dll --format %s: %.0f ms (%zu bytes), %.2f x --format reg\n", format, ms, bytes,
                    reg > 0 ? ms / reg : 0.0);
    }
    std::fflush(stdout);
    return 0;
}
