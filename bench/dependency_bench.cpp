// How long the doctor's dependencies item takes on servers with deep import
// graphs: the system's own web browser, HTML document and shell classes
// (ieframe.dll, mshtml.dll, shell32.dll on Windows and under Wine). For each,
// the walk from the server file the doctor finds, timed cold (the first
// walk, files not yet cached) and warm (median of the runs after), and per
// module; then the whole checklist of the class. Prints figures only.
#include "platform/DoctorMachine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRuns = 7;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    const char* classes[][2] = {
        {"{8856F961-340A-11D0-A96B-00C04FD705A2}", "WebBrowser"},
        {"{25336920-03F9-11CF-8FD0-00AA00686F13}", "HTMLDocument"},
        {"{13709620-C279-11CE-A49E-444553540000}", "Shell"},
    };
    const platform::SystemMachine system;
    const doctor::Machine& machine = system.machine();
    std::printf("%-14s %-14s %8s %8s %10s %10s %12s %10s\n", "class", "server", "modules", "findings", "cold ms",
                "warm ms", "ms/module", "check ms");
    for (const auto& [clsid, name] : classes) {
        const doctor::ClassRef ref{clsid, ""};
        const doctor::Checklist first = doctor::checkClass(machine, ref, clsid, doctor::Host::Any);
        const doctor::ServerFacts& server = first.facts.server;
        if (!server.tables || !server.dependencies) {
            std::printf("%-14s not walked: no readable 64-bit server\n", name);
            continue;
        }
        // The checklist above has read the files once: "cold" is the first
        // walk after it, "warm" the median of all.
        std::vector<double> walks;
        doctor::DependencyWalk walk;
        for (int run = 0; run < kRuns; ++run) {
            const auto start = Clock::now();
            walk = doctor::walkDependencies(server.loaded.file, *server.tables, classes::View::Bits64, machine.files,
                                            machine.reader);
            walks.push_back(msSince(start));
        }
        std::vector<double> checks;
        for (int run = 0; run < kRuns; ++run) {
            const auto start = Clock::now();
            (void)doctor::checkClass(machine, ref, clsid, doctor::Host::Any);
            checks.push_back(msSince(start));
        }
        const double warm = median(walks);
        const std::string file(server.loaded.file.substr(server.loaded.file.find_last_of("\\/") + 1));
        std::printf("%-14s %-14s %8zu %8zu %10.1f %10.1f %12.2f %10.1f\n", name, file.c_str(), walk.modules,
                    walk.findings.size(), walks.front(), warm, warm / double(walk.modules), median(checks));
    }
    return 0;
}
