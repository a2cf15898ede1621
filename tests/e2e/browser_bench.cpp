// How the main window copes with a large registry: 20,000 more ProgIDs, each
// with a class and an in-process server. Measures, three times each:
//   start-up - from starting AddInReg.exe until its window is visible with
//              the list filled;
//   search   - one search over every row that finds nothing: Enter in the
//              search box with no row selected, until "DLL not found" shows.
// Prints the figures; the keys are removed again whatever happens.
#include "Ui.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace testing_support;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kExtraProgIds = 20000;
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
        for (int i = 0; i < kExtraProgIds; ++i) {
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

// Polls often: the figures should not carry the harness's own pauses.
template <typename Probe>
bool poll(Probe probe, int timeoutMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!probe()) {
        if (Clock::now() >= end) return false;
        Sleep(5);
    }
    return true;
}

struct Figures {
    double startupMs;
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

void printSummary(const char* what, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("%-24s min %8.0f ms   median %8.0f ms\n", what, values.front(), values[values.size() / 2]);
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    try {
        BenchKeys keys;
        std::vector<double> startup, search;
        for (int run = 1; run <= kRuns; ++run) {
            Figures f = runOnce();
            std::printf("run %d: %d rows, start-up %.0f ms, search without a match %.0f ms\n", run, f.rows,
                        f.startupMs, f.searchMs);
            startup.push_back(f.startupMs);
            search.push_back(f.searchMs);
        }
        printSummary("start-up:", startup);
        printSummary("search without a match:", search);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "browser_bench failed: %s\n", e.what());
        return 1;
    }
}
