// How long the registration doctor takes with a large registry: 20,000 extra
// classes, each with a ProgID and an in-process server file that does not
// exist. Measures, three times each:
//   check - `AddInRegCli check` on the sample server's class, registered
//           with its add-in script, and on its server file, which looks at
//           every class of both views and hives;
//   stale - `AddInRegCli stale --format json` over both views, which lists
//           every one of the extra classes and plans their cleanup;
//   addins - `AddInRegCli addins --host r6 --format json`, which finds the
//           200 extra classes of the host's category among all and checks each;
// each against its floor: the same reads made in a tight loop in this
// process. Prints the figures and the ratios; the keys are removed again
// whatever happens.
#include "CliProcess.h"
#include "TestFiles.h"
#include "Ui.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

using namespace testing_support;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kExtraClasses = 20000;
constexpr int kAddInEvery = 100; // every 100th extra class is in the host's category: 200 in all
const std::string kR6Category = "{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}";
constexpr int kRuns = 3;
const std::string kSampleClsid = "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";
const std::string kSampleProgId = "AddInRegSample.Server.1";

std::string progId(int i)
{
    char name[64];
    std::snprintf(name, sizeof(name), "AddInRegDoctorBench.Class%05d", i);
    return name;
}

std::string clsid(int i)
{
    char name[64];
    std::snprintf(name, sizeof(name), "{D0C7BE7C-0000-4000-8000-%012d}", i);
    return name;
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The extra keys below HKEY_CLASSES_ROOT, made through open handles of the
// two parents and deleted on destruction.
class BenchClasses {
public:
    BenchClasses()
    {
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, nullptr, 0, KEY_ALL_ACCESS, &root_) != ERROR_SUCCESS ||
            RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes_, nullptr) !=
                ERROR_SUCCESS)
            throw std::runtime_error("HKEY_CLASSES_ROOT cannot be opened for writing");
        remove(); // leftovers of a run that was stopped
        const auto start = Clock::now();
        for (int i = 0; i < kExtraClasses; ++i) {
            char server[128];
            std::snprintf(server, sizeof(server), "C:\\Program Files\\Doctor Bench\\Tools %05d\\addIn%05d.dll", i, i);
            setDefault(root_, progId(i) + "\\CLSID", clsid(i));
            setDefault(classes_, clsid(i) + "\\InProcServer32", server);
            if (i % kAddInEvery == 0) setDefault(classes_, clsid(i) + "\\Implemented Categories\\" + kR6Category, "");
        }
        std::printf("created %d classes with ProgIDs in %.1f s\n", kExtraClasses, msSince(start) / 1000);
    }
    ~BenchClasses()
    {
        remove();
        RegCloseKey(classes_);
        RegCloseKey(root_);
    }
    BenchClasses(const BenchClasses&) = delete;
    BenchClasses& operator=(const BenchClasses&) = delete;

private:
    static void setDefault(HKEY parent, const std::string& path, const std::string& value)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            throw std::runtime_error("cannot create " + path);
        const LSTATUS status = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                              DWORD(value.size() + 1));
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) throw std::runtime_error("cannot set the value of " + path);
    }
    void remove() const
    {
        for (int i = 0; i < kExtraClasses; ++i) {
            RegDeleteTreeA(root_, progId(i).c_str());
            RegDeleteTreeA(classes_, clsid(i).c_str());
        }
    }
    HKEY root_ = nullptr;
    HKEY classes_ = nullptr;
};

// Registers the sample server and its add-in keys; removes both on destruction.
class SampleAddIn {
public:
    SampleAddIn()
    {
        removeFolder(folder_);
        CreateDirectoryA(folder_.c_str(), nullptr);
        if (!CopyFileA((buildFolder() + "AddInRegSample.dll").c_str(), (folder_ + "AddInRegSample.dll").c_str(), FALSE))
            throw std::runtime_error("cannot copy the sample server");
        const CliRun run = runCli({"write", folder_ + "Sample.reg", "--clsid", kSampleClsid, "--server",
                                   folder_ + "AddInRegSample.dll", "--register"});
        if (run.exitCode != 0) throw std::runtime_error("the sample server could not be registered: " + run.err);
    }
    ~SampleAddIn()
    {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + kSampleClsid).c_str());
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kSampleProgId.c_str());
        removeFolder(folder_);
    }
    SampleAddIn(const SampleAddIn&) = delete;
    SampleAddIn& operator=(const SampleAddIn&) = delete;

private:
    const std::string folder_ = buildFolder() + "doctor bench\\";
};

// One timed run of AddInRegCli; throws when it ends with another exit code.
double timedRun(const std::vector<std::string>& args, unsigned long expectedExitCode, std::string* out = nullptr)
{
    const auto start = Clock::now();
    CliRun run = runCli(args, "", 600000);
    const double ms = msSince(start);
    if (!run.finished || run.exitCode != expectedExitCode)
        throw std::runtime_error("AddInRegCli " + args[0] + ": exit code " + std::to_string(run.exitCode) + "\n" +
                                 run.err);
    if (out) *out = std::move(run.out);
    return ms;
}

double printSummary(const char* what, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("%-36s min %8.0f ms   median %8.0f ms\n", what, values.front(), values[values.size() / 2]);
    return values[values.size() / 2];
}

// Each subkey's string value at `below` (a path under the subkey), read
// with the wide calls; the count of those read.
template <typename Use>
size_t readEach(HKEY key, const wchar_t* below, DWORD types, Use use)
{
    size_t read = 0;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        wchar_t value[1024];
        DWORD size = sizeof(value);
        const std::wstring path = std::wstring(name) + below;
        if (RegGetValueW(key, path.c_str(), nullptr, types, nullptr, value, &size) != ERROR_SUCCESS) continue;
        ++read;
        use(value);
    }
    return read;
}

// The floor: every class's server value in both views and hives, and with
// `files` each file looked for; then, for stale, every top key's CLSID. What
// the doctor cannot do without.
double floorReads(bool files, bool progIds)
{
    const auto start = Clock::now();
    size_t seen = 0;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)}) {
            HKEY classes = nullptr;
            if (RegOpenKeyExW(root, L"Software\\Classes", 0, KEY_READ | view, &classes) != ERROR_SUCCESS) continue;
            HKEY clsids = nullptr;
            if (RegOpenKeyExW(classes, L"CLSID", 0, KEY_READ | view, &clsids) == ERROR_SUCCESS) {
                seen += readEach(clsids, L"\\InProcServer32", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                                 [&](const wchar_t* server) {
                                     if (files) GetFileAttributesW(server);
                                 });
                RegCloseKey(clsids);
            }
            if (progIds) readEach(classes, L"\\CLSID", RRF_RT_REG_SZ, [](const wchar_t*) {});
            RegCloseKey(classes);
        }
    }
    if (seen < size_t(kExtraClasses)) throw std::runtime_error("the floor read fewer classes than there are");
    return msSince(start);
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    try {
        SampleAddIn sample;
        BenchClasses classes;
        std::vector<double> check, checkPath, stale, checkFloor, staleFloor, addIns;
        const std::string server = buildFolder() + "doctor bench\\AddInRegSample.dll";
        for (int run = 1; run <= kRuns; ++run) {
            check.push_back(timedRun({"check", kSampleProgId, "--strict"}, 0));
            checkPath.push_back(timedRun({"check", server}, 0));
            checkFloor.push_back(floorReads(false, false));
            staleFloor.push_back(floorReads(true, true));
            std::string listed;
            stale.push_back(timedRun({"stale", "--format", "json"}, 1, &listed));
            size_t count = 0;
            for (size_t at = listed.find("\"clsid\""); at != std::string::npos; at = listed.find("\"clsid\"", at + 1))
                ++count;
            if (count < size_t(kExtraClasses)) throw std::runtime_error("stale did not list every extra class");
            std::string found;
            addIns.push_back(timedRun({"addins", "--host", "r6", "--format", "json"}, 1, &found));
            size_t rows = 0;
            for (size_t at = found.find("\"clsid\""); at != std::string::npos; at = found.find("\"clsid\"", at + 1)) ++rows;
            if (rows < size_t(kExtraClasses / kAddInEvery)) throw std::runtime_error("addins did not list every add-in");
            std::printf("run %d: check %.0f ms, stale %.0f ms (%zu classes listed), addins %.0f ms (%zu rows)\n", run,
                        check.back(), stale.back(), count, addIns.back(), rows);
        }
        printSummary("AddInRegCli check (sample):", check);
        const double byPath = printSummary("AddInRegCli check SERVER (all classes):", checkPath);
        const double checkAtFloor = printSummary("  its floor (the same reads):", checkFloor);
        const double all = printSummary("AddInRegCli stale (JSON):", stale);
        const double staleAtFloor = printSummary("  its floor (the same reads):", staleFloor);
        const double hostsAddIns = printSummary("AddInRegCli addins (200 of them):", addIns);
        std::printf("ratios to the floors: check SERVER %.2fx, stale %.2fx, addins %.2fx (to check SERVER's floor)\n",
                    byPath / checkAtFloor, all / staleAtFloor, hostsAddIns / checkAtFloor);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "doctor_bench failed: %s\n", e.what());
        return 1;
    }
}
