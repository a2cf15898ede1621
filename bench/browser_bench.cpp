// How the main window and the companion cope with a large registry: 50,000
// more ProgIDs (ADDINREG_BENCH_PROGIDS to change), each with a class and an
// in-process server, created in random order. Each round measures, one after
// the other so that the machine's state is shared:
//   start-up     - from starting AddInReg.exe until its window is visible
//                  with the list filled, against the floor program
//                  startup_floor.exe doing the least for the same list;
//   memory       - the peak working set of each of the two at that point
//                  (under Wine, the peak resident size of its process);
//   search       - one search over every row that finds nothing (Enter in
//                  the search box, until "DLL not found" shows), against the
//                  same reads done here in a tight loop, nothing cached;
//   find, list   - AddInRegCli find without a match and list --format json,
//                  find against the floor of enumerating, sorting and reading.
// Once: `reg query HKCR /s` filtered for the same text, the peer.
// Prints the figures, the ratios on its last line; the keys are removed
// again whatever happens.
#include "classes/ProgIdList.h"
#include "platform/Locale.h"

#include "Ui.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using namespace testing_support;
using Clock = std::chrono::steady_clock;

namespace {

const int kExtraProgIds = [] {
    const char* count = std::getenv("ADDINREG_BENCH_PROGIDS");
    return count && std::atoi(count) > 0 ? std::atoi(count) : 50000;
}();
constexpr int kRuns = 3;
constexpr int kTimeoutMs = 600000;
const char kCaption[] = "Registry Functions Demo";
const char kNotFound[] = "DLL not found\r\nSelect top of list to restart search";
const char kNoMatch[] = "NoSuchAddIn.BenchE2E.dll";

std::string progId(int i)
{
    char name[64];
    std::snprintf(name, sizeof(name), "AddInRegBench.Class%05d", i);
    return name;
}

std::string clsid(int i)
{
    char name[64];
    std::snprintf(name, sizeof(name), "{BE7C0000-0000-4000-8000-%012d}", i);
    return name;
}

std::string serverPath(int i)
{
    char path[128];
    std::snprintf(path, sizeof(path), "C:\\Program Files\\Bench Add-Ins\\Bench Tools %05d\\benchAddIn%05d.dll", i, i);
    return path;
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The most memory the process has had in its working set so far, in MiB.
double peakWorkingSetMiB(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!K32GetProcessMemoryInfo(process, &counters, sizeof(counters)))
        throw std::runtime_error("the memory counters of a process cannot be read");
    return double(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

double peakWorkingSetMiB(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    const bool read = process && K32GetProcessMemoryInfo(process, &counters, sizeof(counters));
    if (process) CloseHandle(process);
    if (!read) throw std::runtime_error("the memory counters of AddInReg.exe cannot be read");
    return double(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

// The extra keys below HKEY_CLASSES_ROOT, created directly through open
// handles of the two parents, and deleted on destruction.
class BenchKeys {
public:
    BenchKeys()
    {
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, nullptr, 0, KEY_ALL_ACCESS, &root_) != ERROR_SUCCESS ||
            RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes_, nullptr) !=
                ERROR_SUCCESS)
            throw std::runtime_error("HKEY_CLASSES_ROOT cannot be opened for writing");
        // Leftovers of a run that was stopped before it could clean up.
        if (exists(root_, progId(0)) || exists(classes_, clsid(0))) {
            std::printf("removing the keys of an earlier run\n");
            remove();
        }
        auto start = Clock::now();
        // In random order, as classes come and go on a real machine: the
        // registry's enumeration order is not the sorted one.
        std::vector<int> order(static_cast<size_t>(kExtraProgIds));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), std::mt19937(20261207));
        for (int i : order) {
            setDefault(root_, progId(i) + "\\CLSID", clsid(i));
            setDefault(classes_, clsid(i) + "\\InProcServer32", serverPath(i));
        }
        std::printf("created %d ProgIDs with their classes in %.1f s\n", kExtraProgIds, msSince(start) / 1000);
    }

    ~BenchKeys()
    {
        auto start = Clock::now();
        remove();
        std::printf("removed them again in %.1f s\n", msSince(start) / 1000);
        RegCloseKey(classes_);
        RegCloseKey(root_);
    }

    BenchKeys(const BenchKeys&) = delete;
    BenchKeys& operator=(const BenchKeys&) = delete;

private:
    static bool exists(HKEY parent, const std::string& path)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

    static void setDefault(HKEY parent, const std::string& path, const std::string& value)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            throw std::runtime_error("cannot create " + path);
        LSTATUS status =
            RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) throw std::runtime_error("cannot set the value of " + path);
    }

    void remove() const
    {
        for (int i = 0; i < kExtraProgIds; ++i) {
            RegDeleteKeyA(root_, (progId(i) + "\\CLSID").c_str());
            RegDeleteKeyA(root_, progId(i).c_str());
            RegDeleteKeyA(classes_, (clsid(i) + "\\InProcServer32").c_str());
            RegDeleteKeyA(classes_, clsid(i).c_str());
        }
    }

    HKEY root_ = nullptr;
    HKEY classes_ = nullptr;
};

// Polls every 25 ms: often enough that the figures carry little of the
// harness's own pauses, seldom enough that its calls to Wine's server (one
// per window it asks about) do not slow the program it is timing.
template <typename Probe>
bool poll(Probe probe, int timeoutMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!probe()) {
        if (Clock::now() >= end) return false;
        Sleep(25);
    }
    return true;
}

struct Figures {
    double startupMs;
    double peakMiB; // once the list shows
    double searchMs;
    int rows;
};

Figures runOnce()
{
    Figures figures{};
    auto start = Clock::now();
    AppProcess app;
    if (!app.started()) throw std::runtime_error("AddInReg.exe did not start");

    HWND window = nullptr;
    HWND list = nullptr;
    bool up = poll(
        [&] {
            window = findTopLevel(app.pid(), kCaption);
            if (!window || !IsWindowVisible(window)) return false;
            std::vector<HWND> children = childrenOf(window);
            if (children.size() < 7) return false;
            list = children[0];
            return listCount(list) > 0;
        },
        kTimeoutMs);
    if (!up) throw std::runtime_error("the main window did not show a filled list");
    figures.startupMs = msSince(start);
    figures.peakMiB = peakWorkingSetMiB(app.pid());
    figures.rows = listCount(list);
    if (figures.rows < kExtraProgIds) throw std::runtime_error("the list lacks the extra ProgIDs");

    std::vector<HWND> children = childrenOf(window);
    HWND edit = children[6];
    HWND quit = children[3];
    if (listSelection(list) != LB_ERR) throw std::runtime_error("a row is selected at start");
    clearText(edit);
    typeText(edit, kNoMatch);
    if (!poll([&] { return windowText(edit) == kNoMatch; }, 60000))
        throw std::runtime_error("the search box did not take the text");

    std::optional<SeenMessageBox> box;
    start = Clock::now();
    pressKey(edit, VK_RETURN);
    if (!poll([&] { return (box = findMessageBox(app.pid())).has_value(); }, kTimeoutMs))
        throw std::runtime_error("no message box after the search");
    figures.searchMs = msSince(start);
    if (box->text != kNotFound) throw std::runtime_error("unexpected message: " + box->text);
    answerMessageBox(*box, IDOK);
    poll([&] { return !findMessageBox(app.pid()).has_value(); }, 60000);

    clickButton(quit);
    app.waitForExit(30000); // the destructor ends it otherwise
    return figures;
}

// One run of the command-line companion, its output thrown away: the time
// from its start to its end.
double cliRunMs(const std::string& args, DWORD expectedExitCode)
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    std::string line = buildFolder();
    line.insert(line.begin(), '"');
    line += "AddInRegCli.exe\" ";
    line += args;
    auto start = Clock::now();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        throw std::runtime_error("AddInRegCli.exe did not start");
    WaitForSingleObject(pi.hProcess, kTimeoutMs);
    const double ms = msSince(start);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(nul);
    if (code != expectedExitCode)
        throw std::runtime_error(std::string("AddInRegCli ").append(args).append(": exit code ").append(std::to_string(code)));
    return ms;
}

struct FloorFigures {
    double startupMs;
    double peakMiB;
};

// The floor program started and timed until its list shows, its peak
// working set read then; then asked to close.
FloorFigures floorStartup()
{
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::string line = buildFolder() + "startup_floor.exe";
    line.insert(line.begin(), '"');
    line += '"';
    auto start = Clock::now();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        throw std::runtime_error("startup_floor.exe did not start");
    HWND window = nullptr;
    bool up = poll(
        [&] {
            window = findTopLevel(pi.dwProcessId, "AddInReg floor");
            if (!window || !IsWindowVisible(window)) return false;
            std::vector<HWND> children = childrenOf(window);
            return !children.empty() && listCount(children[0]) >= kExtraProgIds;
        },
        kTimeoutMs);
    const FloorFigures figures{msSince(start), up ? peakWorkingSetMiB(pi.hProcess) : 0.0};
    if (window) PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (!up) throw std::runtime_error("the floor program did not show its list");
    return figures;
}

// The subkeys of HKEY_CLASSES_ROOT the list shows, in its order.
std::vector<std::string> listedRows()
{
    std::vector<std::string> names;
    char name[260];
    for (DWORD i = 0; RegEnumKeyA(HKEY_CLASSES_ROOT, i, name, sizeof(name)) == ERROR_SUCCESS; ++i) names.emplace_back(name);
    names = classes::listedProgIds(std::move(names));
    std::vector<std::string> rows;
    rows.reserve(names.size());
    for (size_t i : platform::listOrder(names)) rows.push_back(names[i]);
    return rows;
}

// One read as the lookup makes it: open, query, close.
std::string readDefault(const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    char data[1024];
    DWORD size = sizeof(data);
    DWORD type = 0;
    std::string value;
    if (RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS)
        value.assign(data, strnlen(data, size));
    RegCloseKey(key);
    return value;
}

// The search's reads in a tight loop over the rows: 1 to 3 per row, nothing
// cached, and the same test of the text. Returns the rows that matched.
int floorSearch(const std::vector<std::string>& rows, const std::string& text)
{
    int matches = 0;
    for (const std::string& row : rows) {
        std::string lookup = "CLSID not found";
        const std::string clsid = readDefault(row + "\\CLSID");
        if (!clsid.empty()) {
            std::string server = readDefault("CLSID\\" + clsid + "\\InProcServer32");
            if (server.empty()) server = readDefault("CLSID\\" + clsid + "\\LocalServer32");
            lookup = "CLSID = ";
            lookup += clsid + "\r\n";
            if (!server.empty()) lookup += "InProcServer = " + server + "\r\n";
        }
        if (platform::containsIgnoringCase(lookup, text)) ++matches;
    }
    return matches;
}

// The peer: every key and value of HKEY_CLASSES_ROOT as `reg query /s`
// prints it, filtered here for the text (Wine's reg has no /f).
double peerMs(const std::string& text, int& matchingLines)
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 20)) throw std::runtime_error("no pipe");
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    char system[MAX_PATH];
    std::string reg = std::string(system, GetSystemDirectoryA(system, MAX_PATH)) + "\\reg.exe";
    std::string line = "reg.exe query HKCR /s";
    auto start = Clock::now();
    if (!CreateProcessA(reg.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        throw std::runtime_error("reg.exe did not start");
    CloseHandle(writeEnd);
    std::string pending;
    char buffer[65536];
    DWORD got = 0;
    matchingLines = 0;
    auto count = [&](const std::string& l) {
        if (platform::containsIgnoringCase(l, text)) ++matchingLines;
    };
    while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        pending.append(buffer, got);
        size_t from = 0;
        for (size_t end; (end = pending.find('\n', from)) != std::string::npos; from = end + 1)
            count(pending.substr(from, end - from));
        pending.erase(0, from);
    }
    count(pending);
    WaitForSingleObject(pi.hProcess, kTimeoutMs);
    const double ms = msSince(start);
    CloseHandle(readEnd);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ms;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Times in whole milliseconds, memory in MiB to a tenth.
void printSummary(const char* what, std::vector<double> values, bool mebibytes = false)
{
    std::sort(values.begin(), values.end());
    const int digits = mebibytes ? 1 : 0;
    const char* unit = mebibytes ? "MiB" : "ms";
    std::printf("%-24s min %8.*f %-4s median %8.*f %s\n", what, digits, values.front(), unit, digits,
                values[values.size() / 2], unit);
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    try {
        BenchKeys keys;
        std::vector<double> floorStart, startup, floorPeak, peak, floorRead, search, floorFind, cliFind, cliList;
        for (int run = 1; run <= kRuns; ++run) {
            const FloorFigures floor = floorStartup();
            floorStart.push_back(floor.startupMs);
            floorPeak.push_back(floor.peakMiB);
            Figures f = runOnce();
            startup.push_back(f.startupMs);
            peak.push_back(f.peakMiB);
            search.push_back(f.searchMs);

            auto start = Clock::now();
            const std::vector<std::string> rows = listedRows();
            const double enumerated = msSince(start);
            start = Clock::now();
            if (floorSearch(rows, kNoMatch) != 0) throw std::runtime_error("the floor search matched");
            floorRead.push_back(msSince(start));
            floorFind.push_back(enumerated + floorRead.back());

            cliFind.push_back(cliRunMs(std::string("find ") + kNoMatch, 5));
            cliList.push_back(cliRunMs("list --format json", 0));
            std::printf("run %d: %d rows; start-up %.0f ms (floor %.0f), peak working set %.1f MiB (floor %.1f); "
                        "search %.0f ms (floor %.0f); AddInRegCli find %.0f ms (floor %.0f), list --format json %.0f ms\n",
                        run, f.rows, f.startupMs, floorStart.back(), f.peakMiB, floorPeak.back(), f.searchMs,
                        floorRead.back(), cliFind.back(), floorFind.back(), cliList.back());
        }
        printSummary("start-up:", startup);
        printSummary("start-up floor:", floorStart);
        printSummary("peak working set:", peak, true);
        printSummary("peak working set floor:", floorPeak, true);
        printSummary("search without a match:", search);
        printSummary("search floor (reads):", floorRead);
        printSummary("AddInRegCli find:", cliFind);
        printSummary("find floor (enum+reads):", floorFind);
        printSummary("AddInRegCli list (JSON):", cliList);

        if (const char* peer = std::getenv("ADDINREG_BENCH_PEER"); !peer || std::string(peer) != "0") {
            int lines = 0;
            const double ms = peerMs(kNoMatch, lines);
            std::printf("%-24s %8.0f ms   (reg query HKCR /s, filtered here; %d lines match)\n", "peer:", ms, lines);
        }
        std::printf("ratios (medians): start-up %.2fx its floor, peak working set %.2fx its floor, window search "
                    "%.2fx its floor, AddInRegCli find %.2fx its floor\n",
                    median(startup) / median(floorStart), median(peak) / median(floorPeak),
                    median(search) / median(floorRead), median(cliFind) / median(floorFind));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "browser_bench failed: %s\n", e.what());
        return 1;
    }
}
