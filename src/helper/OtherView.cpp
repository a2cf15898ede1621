#include "helper/OtherView.h"

#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace helper {

namespace {

constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

HKEY g_otherView = nullptr;

// Where a call goes: the key, and the path below it when that changes.
template <typename Char>
struct Route {
    HKEY key;
    std::optional<std::basic_string<Char>> path;
};

// The path below `prefix` ("" for the prefix itself), letters in either case.
template <typename Char>
std::optional<std::basic_string<Char>> below(const Char* path, std::string_view prefix)
{
    const std::basic_string_view<Char> whole = path ? path : std::basic_string_view<Char>();
    if (whole.size() < prefix.size()) return std::nullopt;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const auto c = static_cast<unsigned>(static_cast<std::make_unsigned_t<Char>>(whole[i]));
        const auto lower = c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
        const auto want = static_cast<unsigned>(static_cast<unsigned char>(prefix[i]));
        if (lower != (want >= 'A' && want <= 'Z' ? want + ('a' - 'A') : want)) return std::nullopt;
    }
    if (whole.size() == prefix.size()) return std::basic_string<Char>();
    if (whole[prefix.size()] != Char('\\')) return std::nullopt;
    return std::basic_string<Char>(whole.substr(prefix.size() + 1));
}

// A call on a predefined key goes to its stand-in: one that names this
// process's own view as if it named none; one that names the other view,
// for the classes, to the other view's stand-in, and in a 64-bit process
// for the machine's software, to its Wow6432Node. Its access loses the view.
template <typename Char>
Route<Char> routed(HKEY key, const Char* subKey, REGSAM& access)
{
    const bool predefined =
        key == HKEY_CLASSES_ROOT || key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_USERS;
    const REGSAM view = access & KEY_WOW64_RES;
    if (!predefined || (view != kOwnView && view != kOtherView)) return {key, std::nullopt};
    access &= ~KEY_WOW64_RES;
    if (view == kOwnView) return {key, std::nullopt};
    if (key == HKEY_CLASSES_ROOT) return {g_otherView, std::nullopt};
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER)
        if (auto classes = below(subKey, "Software\\Classes")) return {g_otherView, std::move(classes)};
    if constexpr (kOtherView == KEY_WOW64_32KEY) {
        if (auto software = key == HKEY_LOCAL_MACHINE ? below(subKey, "Software") : std::nullopt) {
            std::basic_string<Char> path;
            for (const char c : std::string_view("Software\\Wow6432Node")) path += Char(c);
            if (!software->empty()) path += Char('\\') + *software;
            return {key, std::move(path)};
        }
    }
    // The 64-bit view of the machine's software, from a 32-bit process: as
    // it is (the override keeps no view).
    return {key, std::nullopt};
}

template <typename Char>
const Char* pathOf(const Route<Char>& route, const Char* subKey)
{
    return route.path ? route.path->c_str() : subKey;
}

// The system's functions, called with the routed key.
decltype(&RegCreateKeyExW) g_createW = RegCreateKeyExW;
decltype(&RegCreateKeyExA) g_createA = RegCreateKeyExA;
decltype(&RegOpenKeyExW) g_openW = RegOpenKeyExW;
decltype(&RegOpenKeyExA) g_openA = RegOpenKeyExA;
decltype(&RegDeleteKeyExW) g_deleteW = RegDeleteKeyExW;
decltype(&RegDeleteKeyExA) g_deleteA = RegDeleteKeyExA;

LSTATUS WINAPI createW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options, REGSAM access,
                       const LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition)
{
    const auto to = routed(key, subKey, access);
    return g_createW(to.key, pathOf(to, subKey), reserved, keyClass, options, access, security, result, disposition);
}

LSTATUS WINAPI createA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                       const LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition)
{
    const auto to = routed(key, subKey, access);
    return g_createA(to.key, pathOf(to, subKey), reserved, keyClass, options, access, security, result, disposition);
}

LSTATUS WINAPI openW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    const auto to = routed(key, subKey, access);
    return g_openW(to.key, pathOf(to, subKey), options, access, result);
}

LSTATUS WINAPI openA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    const auto to = routed(key, subKey, access);
    return g_openA(to.key, pathOf(to, subKey), options, access, result);
}

LSTATUS WINAPI deleteW(HKEY key, LPCWSTR subKey, REGSAM access, DWORD reserved)
{
    const auto to = routed(key, subKey, access);
    return g_deleteW(to.key, pathOf(to, subKey), access, reserved);
}

LSTATUS WINAPI deleteA(HKEY key, LPCSTR subKey, REGSAM access, DWORD reserved)
{
    const auto to = routed(key, subKey, access);
    return g_deleteA(to.key, pathOf(to, subKey), access, reserved);
}

struct Replacement {
    const char* name;
    void* replacement;
};

// An import slot holds the address the loader resolved: the function in
// advapi32, or where advapi32 forwards it.
struct Resolved {
    std::array<ULONG_PTR, 2> addresses{};
    ULONG_PTR replacement = 0;
};

template <typename Fn>
ULONG_PTR addressOf(Fn fn)
{
    return reinterpret_cast<ULONG_PTR>(reinterpret_cast<void*>(fn));
}

size_t patchImports(HMODULE module, const std::array<Resolved, 6>& functions)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return 0;
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return 0;
    size_t patched = 0;
    for (const auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name != 0; ++library) {
        for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk); slot->u1.Function != 0;
             ++slot) {
            for (const Resolved& f : functions) {
                const ULONG_PTR now = slot->u1.Function;
                if (now != f.addresses[0] && now != f.addresses[1]) continue;
                DWORD was = 0;
                if (!VirtualProtect(&slot->u1.Function, sizeof(ULONG_PTR), PAGE_READWRITE, &was)) continue;
                slot->u1.Function = f.replacement;
                VirtualProtect(&slot->u1.Function, sizeof(ULONG_PTR), was, &was);
                ++patched;
            }
        }
    }
    return patched;
}

} // namespace

size_t sendOtherViewTo(HKEY otherView)
{
    if (!otherView) return 0;
    g_otherView = otherView;
    const HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
    const HMODULE kernelBase = GetModuleHandleW(L"kernelbase.dll");
    const std::array<Replacement, 6> replacements{{{"RegCreateKeyExW", reinterpret_cast<void*>(createW)},
                                                   {"RegCreateKeyExA", reinterpret_cast<void*>(createA)},
                                                   {"RegOpenKeyExW", reinterpret_cast<void*>(openW)},
                                                   {"RegOpenKeyExA", reinterpret_cast<void*>(openA)},
                                                   {"RegDeleteKeyExW", reinterpret_cast<void*>(deleteW)},
                                                   {"RegDeleteKeyExA", reinterpret_cast<void*>(deleteA)}}};
    std::array<Resolved, 6> functions{};
    for (size_t i = 0; i < replacements.size(); ++i) {
        for (size_t j = 0; j < 2; ++j) {
            const HMODULE from = j == 0 ? advapi : kernelBase;
            if (from) functions[i].addresses[j] = addressOf(GetProcAddress(from, replacements[i].name));
        }
        functions[i].replacement = reinterpret_cast<ULONG_PTR>(replacements[i].replacement);
    }
    // The registry's own modules call each other through their imports:
    // changed, they would call back into the replacements.
    const std::array<HMODULE, 4> untouched{GetModuleHandleW(nullptr), advapi, kernelBase,
                                           GetModuleHandleW(L"kernel32.dll")};
    size_t patched = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry))
        if (std::find(untouched.begin(), untouched.end(), entry.hModule) == untouched.end())
            patched += patchImports(entry.hModule, functions);
    CloseHandle(snapshot);
    return patched;
}

} // namespace helper
