// The 32-bit side's costs: the load trial (`check --view 32 --load`, the
// companion and the 32-bit helper) and the capture of the x86 sample server,
// three times each, against the start of an empty 32-bit program and of an
// empty 64-bit one in the same prefix. Prints the figures and the ratios;
// removes what it wrote. Skipped where 32-bit programs do not run.
#include "ChildProcess.h"
#include "Quickest.h"
#include "CliProcess.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "ThirtyTwoBit.h"
#include "Ui.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

using namespace testing_support;
using bench::quickest;

namespace {

const std::string kSampleClsid = "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";

double programStart(const std::string& program)
{
    return quickest([&] {
        const ChildRun run = runChild(program, {}, {}, 60000);
        return run.finished && run.exitCode == 0;
    });
}

} // namespace

int main()
{
    if (!runs32Bit()) {
        std::printf("x86_bench: %s\n", kNo32Bit);
        return 0;
    }
    const std::string folder = buildFolder();
    const std::string dll = folder + "DoctorX86.dll";
    const double floor32 = programStart(folder + "empty_program32.exe");
    const double floor64 = programStart(folder + "empty_program.exe");
    std::printf("empty program start: 32-bit %.0f ms, 64-bit %.0f ms\n", floor32, floor64);

    double trial = 0;
    {
        const ScopedKey key(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kSampleClsid, KEY_WOW64_32KEY);
        key.setString("InProcServer32", "", dll);
        key.setString("InProcServer32", "ThreadingModel", "Apartment");
        trial = quickest([&] {
            const CliRun run = runCli({"check", kSampleClsid, "--view", "32", "--load"});
            return run.finished && run.out.find("loaded by the 32-bit helper") != std::string::npos;
        });
    }
    const std::string out = folder + "x86-bench.reg";
    const double capture = quickest([&] {
        const CliRun run = runCli({"capture", dll, "--out", out, "--no-unreg"});
        DeleteFileA(out.c_str());
        return run.finished && run.exitCode == 0;
    });
    for (const auto& [what, ms] : {std::pair{"32-bit load trial (check --view 32 --load)", trial},
                                   std::pair{"32-bit capture of the x86 sample", capture}})
        std::printf("%s: %.0f ms, %.1f x the empty 32-bit program's start\n", what, ms,
                    floor32 > 0 ? ms / floor32 : 0.0);
    std::fflush(stdout);
    return 0;
}
