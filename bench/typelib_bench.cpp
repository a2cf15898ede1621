// How long the doctor's type-library items take. Measures, three times each
// (check fifteen times):
//   check - `AddInRegCli check` on the test add-in's class (TlbServer64.dll,
//           registered by its own DllRegisterServer with its type library),
//           against a floor that starts a program which loads oleaut32 and
//           the library (LoadRegTypeLib), then makes the same reads and the
//           same LoadTypeLibEx call in this process;
//   stale - `AddInRegCli stale --format json` over both views with 20,000
//           stale classes and 2,000 type-library leftovers (1,000 library
//           versions whose files are gone, 1,000 Interface keys of the
//           type-library marshaller naming them), against a floor that reads
//           every class's server and ProgID, each stale class's ProgID whole,
//           every library version's files
//           and every Interface key's marshaller and library, and every
//           value of each key the cleanup deletes (the undo holds them).
// Prints the figures and the ratios; the keys are removed again whatever
// happens.
#include "ChildProcess.h"
#include "CliProcess.h"
#include "TestFiles.h"
#include "Ui.h"

#include <windows.h>

#include <oleauto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using namespace testing_support;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kClasses = 20000;
constexpr int kLibraries = 1000;  // stale versions, and as many interfaces naming them
constexpr int kRuns = 3;
constexpr int kCheckRuns = 15; // a run of check is short: more of them steady its median
const std::string kClsid = "{8A3C2E13-5B7D-4F21-9A0C-1D2E3F405161}";
const std::wstring kLibid = L"{8A3C2E10-5B7D-4F21-9A0C-1D2E3F405161}";

double msSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

std::string numbered(const char* pattern, int i)
{
    char text[160];
    std::snprintf(text, sizeof(text), pattern, i);
    return text;
}

void setDefault(HKEY parent, const std::string& path, const std::string& value, const char* name = nullptr)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create " + path);
    const LSTATUS status =
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) throw std::runtime_error("cannot set a value of " + path);
}

// The extra keys below HKEY_CLASSES_ROOT; deleted on destruction.
class BenchKeys {
public:
    BenchKeys()
    {
        remove();
        const auto start = Clock::now();
        for (int i = 0; i < kClasses; ++i) {
            const std::string clsid = numbered("CLSID\\{D0C7BE7D-0000-4000-8000-%012d}", i);
            setDefault(HKEY_CLASSES_ROOT, numbered("AddInRegTypeLibBench.Class%05d\\CLSID", i), clsid.substr(6));
            setDefault(HKEY_CLASSES_ROOT, clsid + "\\InProcServer32",
                       numbered("C:\\Program Files\\TypeLib Bench\\Tools %05d\\addIn.dll", i));
        }
        for (int i = 0; i < kLibraries; ++i) {
            const std::string libid = numbered("{D0C7BE7E-0000-4000-8000-%012d}", i);
            const std::string version = "TypeLib\\" + libid + "\\1.0";
            setDefault(HKEY_CLASSES_ROOT, version, "TypeLib bench");
            setDefault(HKEY_CLASSES_ROOT, version + "\\0\\win64", numbered("C:\\Gone\\Lib%05d.tlb", i));
            setDefault(HKEY_CLASSES_ROOT, version + "\\0\\win32", numbered("C:\\Gone\\Lib%05d-32.tlb", i));
            setDefault(HKEY_CLASSES_ROOT, version + "\\FLAGS", "0");
            const std::string iface = numbered("Interface\\{D0C7BE7F-0000-4000-8000-%012d}", i);
            setDefault(HKEY_CLASSES_ROOT, iface, "IBench");
            setDefault(HKEY_CLASSES_ROOT, iface + "\\ProxyStubClsid32", "{00020424-0000-0000-C000-000000000046}");
            setDefault(HKEY_CLASSES_ROOT, iface + "\\TypeLib", libid);
            setDefault(HKEY_CLASSES_ROOT, iface + "\\TypeLib", "1.0", "Version");
        }
        std::printf("created %d classes and %d libraries and interfaces in %.1f s\n", kClasses, kLibraries,
                    msSince(start) / 1000);
    }
    ~BenchKeys() { remove(); }
    BenchKeys(const BenchKeys&) = delete;
    BenchKeys& operator=(const BenchKeys&) = delete;

private:
    static void remove()
    {
        for (int i = 0; i < kClasses; ++i) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, numbered("AddInRegTypeLibBench.Class%05d", i).c_str());
            RegDeleteTreeA(HKEY_CLASSES_ROOT, numbered("CLSID\\{D0C7BE7D-0000-4000-8000-%012d}", i).c_str());
        }
        for (int i = 0; i < kLibraries; ++i) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, numbered("TypeLib\\{D0C7BE7E-0000-4000-8000-%012d}", i).c_str());
            RegDeleteTreeA(HKEY_CLASSES_ROOT, numbered("Interface\\{D0C7BE7F-0000-4000-8000-%012d}", i).c_str());
        }
    }
};

// The test add-in registered by its own DllRegisterServer; unregistered on destruction.
class TestAddIn {
public:
    TestAddIn()
    {
        removeFolder(folder_);
        CreateDirectoryA(folder_.c_str(), nullptr);
        if (!CopyFileA((buildFolder() + "TlbServer64.dll").c_str(), dll().c_str(), FALSE))
            throw std::runtime_error("cannot copy TlbServer64.dll");
        call("DllRegisterServer");
    }
    ~TestAddIn()
    {
        try {
            call("DllUnregisterServer");
        } catch (const std::exception&) {
        }
        removeFolder(folder_);
    }
    TestAddIn(const TestAddIn&) = delete;
    TestAddIn& operator=(const TestAddIn&) = delete;
    std::string dll() const { return folder_ + "TlbServer64.dll"; }

private:
    void call(const char* entry) const
    {
        const HMODULE module = LoadLibraryA(dll().c_str());
        const auto function = module ? reinterpret_cast<HRESULT(WINAPI*)()>(
                                           reinterpret_cast<void (*)()>(GetProcAddress(module, entry)))
                                     : nullptr;
        const HRESULT result = function ? function() : E_FAIL;
        if (module) FreeLibrary(module);
        if (FAILED(result)) throw std::runtime_error(std::string(entry) + " failed");
    }
    const std::string folder_ = buildFolder() + "typelib bench\\";
};

double timedRun(const std::vector<std::string>& args, unsigned long expectedExitCode)
{
    const auto start = Clock::now();
    const CliRun run = runCli(args, "", 900000);
    const double ms = msSince(start);
    if (!run.finished || run.exitCode != expectedExitCode)
        throw std::runtime_error("AddInRegCli " + args[0] + ": exit code " + std::to_string(run.exitCode) + "\n" +
                                 run.err);
    return ms;
}

double median(std::vector<double> values, const char* what)
{
    std::sort(values.begin(), values.end());
    std::printf("%-44s min %8.0f ms   median %8.0f ms\n", what, values.front(), values[values.size() / 2]);
    return values[values.size() / 2];
}

std::wstring text(HKEY root, const std::wstring& path, const wchar_t* name = nullptr)
{
    wchar_t value[1024];
    DWORD size = sizeof(value);
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return {};
    return value;
}

std::vector<std::wstring> subKeys(HKEY root, const std::wstring& path)
{
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name);
    }
    RegCloseKey(key);
    return names;
}

// Every value of the key and of each key below it: what an undo holds.
void readTree(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    wchar_t name[256];
    BYTE data[2048];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        DWORD size = sizeof(data);
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, data, &size) != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    for (const std::wstring& sub : subKeys(root, path)) readTree(root, path + L"\\" + sub);
}

// The floor of check: an empty program started, the class's TypeLib and Version, the library's
// versions and its win64 file, LoadTypeLibEx on it with its coclass's
// interfaces, and each interface's Interface key.
double checkFloor()
{
    const auto start = Clock::now();
    // A process of its own, as the command is, that loads oleaut32 and the
    // library as the command must (LoadRegTypeLib); the reads that follow run here.
    if (!runChild(buildFolder() + "tlb_probe64.exe", {"lib", "{8A3C2E10-5B7D-4F21-9A0C-1D2E3F405161}", "1", "0"}, {}, 60000)
             .finished)
        throw std::runtime_error("the probe did not run");
    const std::wstring classKey = L"CLSID\\{8A3C2E13-5B7D-4F21-9A0C-1D2E3F405161}";
    const std::wstring libid = text(HKEY_CLASSES_ROOT, classKey + L"\\TypeLib");
    text(HKEY_CLASSES_ROOT, classKey + L"\\Version");
    text(HKEY_CLASSES_ROOT, classKey + L"\\InProcServer32");
    subKeys(HKEY_CLASSES_ROOT, L"TypeLib\\" + libid);
    const std::wstring file = text(HKEY_CLASSES_ROOT, L"TypeLib\\" + libid + L"\\1.0\\0\\win64");
    GetFileAttributesW(file.c_str());
    ITypeLib* library = nullptr;
    if (FAILED(LoadTypeLibEx(file.c_str(), REGKIND_NONE, &library))) throw std::runtime_error("the library did not load");
    ITypeInfo* coclass = nullptr;
    CLSID clsid{};
    CLSIDFromString(L"{8A3C2E13-5B7D-4F21-9A0C-1D2E3F405161}", &clsid);
    if (SUCCEEDED(library->GetTypeInfoOfGuid(clsid, &coclass))) {
        TYPEATTR* attributes = nullptr;
        coclass->GetTypeAttr(&attributes);
        for (UINT i = 0; attributes && i < attributes->cImplTypes; ++i) {
            HREFTYPE reference = 0;
            ITypeInfo* implemented = nullptr;
            if (FAILED(coclass->GetRefTypeOfImplType(i, &reference)) ||
                FAILED(coclass->GetRefTypeInfo(reference, &implemented)))
                continue;
            TYPEATTR* interfaceAttributes = nullptr;
            implemented->GetTypeAttr(&interfaceAttributes);
            wchar_t iid[40] = {};
            StringFromGUID2(interfaceAttributes->guid, iid, 40);
            const std::wstring key = std::wstring(L"Interface\\") + iid;
            text(HKEY_CLASSES_ROOT, key + L"\\ProxyStubClsid32");
            text(HKEY_CLASSES_ROOT, key + L"\\TypeLib");
            text(HKEY_CLASSES_ROOT, key + L"\\TypeLib", L"Version");
            implemented->ReleaseTypeAttr(interfaceAttributes);
            implemented->Release();
        }
        if (attributes) coclass->ReleaseTypeAttr(attributes);
        coclass->Release();
    }
    library->Release();
    return msSince(start);
}

// The floor of stale, in both views and hives.
double staleFloor()
{
    const auto start = Clock::now();
    size_t stale = 0;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (REGSAM view : {REGSAM(KEY_WOW64_64KEY), REGSAM(KEY_WOW64_32KEY)}) {
            HKEY classes = nullptr;
            if (RegOpenKeyExW(root, L"Software\\Classes", 0, KEY_READ | view, &classes) != ERROR_SUCCESS) continue;
            std::set<std::wstring> staleClasses;
            for (const std::wstring& clsid : subKeys(classes, L"CLSID")) {
                const std::wstring server = text(classes, L"CLSID\\" + clsid + L"\\InProcServer32");
                if (server.empty() || GetFileAttributesW(server.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
                readTree(classes, L"CLSID\\" + clsid);
                staleClasses.insert(clsid);
                ++stale;
            }
            // The ProgIDs of stale classes: the cleanup deletes them too, so the undo holds them.
            for (const std::wstring& top : subKeys(classes, L""))
                if (staleClasses.contains(text(classes, top + L"\\CLSID"))) readTree(classes, top);
            for (const std::wstring& libid : subKeys(classes, L"TypeLib"))
                for (const std::wstring& version : subKeys(classes, L"TypeLib\\" + libid)) {
                    const std::wstring path = L"TypeLib\\" + libid + L"\\" + version;
                    bool gone = false;
                    for (const std::wstring& locale : subKeys(classes, path))
                        for (const std::wstring& platform : subKeys(classes, path + L"\\" + locale)) {
                            const std::wstring file = text(classes, path + L"\\" + locale + L"\\" + platform);
                            gone = !file.empty() && GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES;
                        }
                    if (gone) readTree(classes, path);
                }
            for (const std::wstring& iid : subKeys(classes, L"Interface")) {
                const std::wstring key = L"Interface\\" + iid;
                if (text(classes, key + L"\\ProxyStubClsid32") != L"{00020424-0000-0000-C000-000000000046}") continue;
                const std::wstring libid = text(classes, key + L"\\TypeLib");
                const std::wstring version = text(classes, key + L"\\TypeLib", L"Version");
                subKeys(classes, L"TypeLib\\" + libid);
                readTree(classes, key);
            }
            RegCloseKey(classes);
        }
    }
    if (stale < size_t(kClasses)) throw std::runtime_error("the floor found fewer stale classes than there are");
    return msSince(start);
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    try {
        std::vector<double> check, checkAtFloor, stale, staleAtFloor;
        {
            const TestAddIn addIn;
            for (int run = 1; run <= kCheckRuns; ++run) {
                check.push_back(timedRun({"check", kClsid}, 1)); // no category or Settings: it fails
                checkAtFloor.push_back(checkFloor());
            }
        }
        {
            const BenchKeys keys;
            for (int run = 1; run <= kRuns; ++run) {
                stale.push_back(timedRun({"stale", "--format", "json"}, 1));
                staleAtFloor.push_back(staleFloor());
                std::printf("run %d: stale %.0f ms, its floor %.0f ms\n", run, stale.back(), staleAtFloor.back());
            }
        }
        const double c = median(check, "AddInRegCli check (type library add-in):");
        const double cf = median(checkAtFloor, "  its floor (a start, the reads, LoadTypeLibEx):");
        const double s = median(stale, "AddInRegCli stale (20,000 + 2,000):");
        const double sf = median(staleAtFloor, "  its floor (the same reads, the undo's too):");
        std::printf("ratios to the floors: check %.2fx, stale %.2fx\n", c / cf, s / sf);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "typelib_bench failed: %s\n", e.what());
        return 1;
    }
}
