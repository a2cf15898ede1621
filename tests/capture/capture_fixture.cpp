// AddInRegCaptureFixture.dll: a server whose DllRegisterServer does what the
// environment variable ADDINREG_FIXTURE asks, so that the capture meets each
// way a registration can go around the redirected predefined keys.
//   clean   the class key below HKEY_CLASSES_ROOT, as a well-behaved server
//   early   the same through a handle opened in DllMain, before registration
//   catreg  a category through ICatRegister (the system's own code writes it)
//   native  a key through ntdll's NtCreateKey and NtSetValueKey
//   child   a key written by a child process, reg.exe
//   wow64   the class key for the 32-bit view through HKEY_LOCAL_MACHINE,
//           and Software\AddInRegFixture, each opened with KEY_WOW64_32KEY
//   fail    returns E_ACCESSDENIED
//   self    the class key, then asks COM for that class, as quartz asks for
//           its filter mapper while it registers its filters
//   defaults the class key, after system code that writes its defaults
//            where they are missing: SHGetFolderPath and a crypto context
// What goes around is the class key or Software\Classes\AddInRegEscape of
// either hive, for the test to remove.
#include <windows.h>

#include <comcat.h>
#include <objbase.h>
#include <shlobj.h>
#include <wincrypt.h>
#include <winternl.h>

#include <cstring>
#include <string>

namespace {

constexpr wchar_t kClassKey[] = L"CLSID\\{0C4F2B7A-51D3-4E68-9A1B-7F3E2D6C8B15}";
// {0C4F2B7A-51D3-4E68-9A1B-7F3E2D6C8B15}
const CLSID kClsid = {0x0c4f2b7a, 0x51d3, 0x4e68, {0x9a, 0x1b, 0x7f, 0x3e, 0x2d, 0x6c, 0x8b, 0x15}};
// {5E7A1C3D-2B4F-4A6E-8D9C-1F2E3A4B5C6D}
const CATID kCategory = {0x5e7a1c3d, 0x2b4f, 0x4a6e, {0x8d, 0x9c, 0x1f, 0x2e, 0x3a, 0x4b, 0x5c, 0x6d}};

HMODULE g_module = nullptr;
HKEY g_early = nullptr;

std::wstring mode()
{
    wchar_t text[32] = L"";
    GetEnvironmentVariableW(L"ADDINREG_FIXTURE", text, 32);
    return text;
}

HRESULT setString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    const LSTATUS status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                          DWORD((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(status);
}

HRESULT writeClass(HKEY root, const wchar_t* path)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    wchar_t file[MAX_PATH] = L"";
    GetModuleFileNameW(g_module, file, MAX_PATH);
    HKEY server = nullptr;
    status = RegCreateKeyExW(key, L"InProcServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &server, nullptr);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    HRESULT hr = setString(server, nullptr, file);
    if (SUCCEEDED(hr)) hr = setString(server, L"ThreadingModel", L"Both");
    RegCloseKey(server);
    return hr;
}

HRESULT viaCatRegister()
{
    HRESULT hr = writeClass(HKEY_CLASSES_ROOT, kClassKey);
    if (FAILED(hr)) return hr;
    ICatRegister* categories = nullptr;
    hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                          reinterpret_cast<void**>(&categories));
    if (FAILED(hr)) return hr;
    CATID implemented = kCategory;
    hr = categories->RegisterClassImplCategories(kClsid, 1, &implemented);
    categories->Release();
    return hr;
}

HRESULT viaNative()
{
    using NtCreateKeyFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, ULONG, PUNICODE_STRING, ULONG, PULONG);
    using NtSetValueKeyFn = LONG(NTAPI*)(HANDLE, PUNICODE_STRING, ULONG, ULONG, PVOID, ULONG);
    using NtCloseFn = LONG(NTAPI*)(HANDLE);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto create = reinterpret_cast<NtCreateKeyFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateKey")));
    auto set = reinterpret_cast<NtSetValueKeyFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetValueKey")));
    auto close = reinterpret_cast<NtCloseFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtClose")));
    if (!create || !set || !close) return E_NOTIMPL;
    wchar_t path[] = L"\\Registry\\Machine\\Software\\Classes\\AddInRegEscape";
    UNICODE_STRING name{USHORT(std::wcslen(path) * 2), USHORT(sizeof(path)), path};
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof(attributes);
    attributes.ObjectName = &name;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    HANDLE key = nullptr;
    if (create(&key, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr) < 0) return E_FAIL;
    wchar_t valueName[] = L"Native";
    UNICODE_STRING value{USHORT(std::wcslen(valueName) * 2), USHORT(sizeof(valueName)), valueName};
    DWORD one = 1;
    const LONG status = set(key, &value, 0, REG_DWORD, &one, sizeof(one));
    close(key);
    return status < 0 ? E_FAIL : S_OK;
}

HRESULT viaChild()
{
    wchar_t system[MAX_PATH] = L"";
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(system) +
                        L"\\reg.exe\" add HKCU\\Software\\Classes\\AddInRegEscape /v Child /d 1 /f";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process))
        return HRESULT_FROM_WIN32(GetLastError());
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return S_OK;
}

HRESULT viaWow64()
{
    HKEY key = nullptr;
    const std::wstring path = std::wstring(L"Software\\Classes\\") + kClassKey;
    const LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                           KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    HRESULT hr = setString(key, nullptr, L"32-bit view");
    RegCloseKey(key);
    if (FAILED(hr)) return hr;
    // And the vendor's key of the 32-bit view, outside the classes.
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\AddInRegFixture", 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return E_FAIL;
    hr = setString(key, L"Bits", L"32");
    RegCloseKey(key);
    return hr;
}

// COM looks for the class in the real registry: only a class not there
// fails, and so does the registration then.
HRESULT viaOwnClass()
{
    const HRESULT hr = writeClass(HKEY_CLASSES_ROOT, kClassKey);
    if (FAILED(hr)) return hr;
    IUnknown* factory = nullptr;
    const HRESULT got = CoGetClassObject(kClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown,
                                         reinterpret_cast<void**>(&factory));
    if (factory) factory->Release();
    return got == REGDB_E_CLASSNOTREG ? got : S_OK;
}

// What a registration may call on its way: the system fills in the shell's
// folders, the profile's paths and the machine's ID when they are missing.
HRESULT viaSystemDefaults()
{
    wchar_t folder[MAX_PATH] = L"";
    HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder);
    if (SUCCEEDED(hr)) hr = SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    if (FAILED(hr)) return hr;
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return HRESULT_FROM_WIN32(GetLastError());
    BYTE random[16];
    const BOOL generated = CryptGenRandom(provider, sizeof(random), random);
    CryptReleaseContext(provider, 0);
    if (!generated) return HRESULT_FROM_WIN32(GetLastError());
    return writeClass(HKEY_CLASSES_ROOT, kClassKey);
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        if (mode() == L"early")
            RegCreateKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &g_early, nullptr);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer()
{
    const std::wstring m = mode();
    if (m == L"early") return g_early ? writeClass(g_early, kClassKey + 6) : E_UNEXPECTED; // below CLSID
    if (m == L"catreg") return viaCatRegister();
    if (m == L"native") return viaNative();
    if (m == L"child") return viaChild();
    if (m == L"wow64") return viaWow64();
    if (m == L"fail") return E_ACCESSDENIED;
    if (m == L"defaults") return viaSystemDefaults();
    if (m == L"self") return viaOwnClass();
    return writeClass(HKEY_CLASSES_ROOT, kClassKey);
}
