// AddInRegSample.dll: a minimal in-process COM server.
//
// One class, {6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}, ProgID
// "AddInRegSample.Server.1", whose objects implement nothing but IUnknown.
//
// Registration writes
//   HKCR\CLSID\{clsid}                     @ = "AddInReg sample server"
//   HKCR\CLSID\{clsid}\InProcServer32      @ = this DLL's full path,
//                                          ThreadingModel = "Apartment"
//   HKCR\CLSID\{clsid}\ProgID              @ = "AddInRegSample.Server.1"
//   HKCR\AddInRegSample.Server.1\CLSID     @ = {clsid}
//
// An add-in host's registration script adds its own keys and values below the
// class key and names the class with its menu text. Registering the server
// again (the writer runs regsvr32 and regedit side by side, in no fixed
// order) must not undo that, so the class key's name is written only while it
// has none. Unregistering removes what registration added and the class key
// only when nothing else is left below it: the add-in's keys stay for its own
// un-register script.
#include <windows.h>

#include <objbase.h>
#include <olectl.h>

#include <cstring>
#include <new>

namespace {

// {6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}
const CLSID kClsid = {0x6b1f3c52, 0x8e4d, 0x4a9b, {0x9c, 0x71, 0x2d, 0x5e, 0x0a, 0x7f, 0x4b, 0x13}};
constexpr char kClsidText[] = "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";
constexpr char kClassKey[] = "CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";
constexpr char kProgId[] = "AddInRegSample.Server.1";
constexpr char kClassName[] = "AddInReg sample server";

HMODULE g_module = nullptr;
LONG g_objects = 0; // live objects
LONG g_locks = 0;   // IClassFactory::LockServer and references to the factory

class SampleObject final : public IUnknown {
public:
    SampleObject() { InterlockedIncrement(&g_objects); }
    ~SampleObject() { InterlockedDecrement(&g_objects); }
    SampleObject(const SampleObject&) = delete;
    SampleObject& operator=(const SampleObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return ULONG(left);
    }

private:
    LONG references_ = 1;
};

// One factory for the module's lifetime; a reference to it keeps the module
// loaded.
class SampleFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&g_locks) + 1); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(InterlockedDecrement(&g_locks) + 1); }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* created = new (std::nothrow) SampleObject;
        if (!created) return E_OUTOFMEMORY;
        HRESULT hr = created->QueryInterface(riid, object);
        created->Release(); // the caller's reference, if any, keeps it
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) InterlockedIncrement(&g_locks);
        else InterlockedDecrement(&g_locks);
        return S_OK;
    }
};

SampleFactory g_factory;

bool setString(HKEY key, const char* name, const char* value)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), DWORD(std::strlen(value) + 1)) ==
           ERROR_SUCCESS;
}

// Creates (or opens) the key and sets its default value, and one more value
// when `name` is given.
bool writeKey(const char* path, const char* defaultValue, const char* name = nullptr, const char* value = nullptr)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = setString(key, "", defaultValue) && (!name || setString(key, name, value));
    RegCloseKey(key);
    return ok;
}

// The class key, named only while it has no name.
bool writeClassKey()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, kClassKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    bool named = RegQueryValueExA(key, "", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size > 1;
    bool ok = named || setString(key, "", kClassName);
    RegCloseKey(key);
    return ok;
}

bool deleteKeyTree(const char* path)
{
    LSTATUS status = RegDeleteTreeA(HKEY_CLASSES_ROOT, path);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return false;
    status = RegDeleteKeyA(HKEY_CLASSES_ROOT, path);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool hasSubKeys(const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD subKeys = 0;
    LSTATUS status =
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status != ERROR_SUCCESS || subKeys > 0;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow(void)
{
    return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer(void)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(g_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;

    const char* const inProcServerKey = "CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\InProcServer32";
    const char* const progIdKey = "CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\ProgID";
    const char* const progIdClsidKey = "AddInRegSample.Server.1\\CLSID";
    bool ok = writeClassKey() && writeKey(inProcServerKey, path, "ThreadingModel", "Apartment") &&
              writeKey(progIdKey, kProgId) && writeKey(progIdClsidKey, kClsidText);
    return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer(void)
{
    bool ok = deleteKeyTree(kProgId);
    ok = deleteKeyTree("CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\InProcServer32") && ok;
    ok = deleteKeyTree("CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\ProgID") && ok;
    if (!hasSubKeys(kClassKey)) {
        LSTATUS status = RegDeleteKeyA(HKEY_CLASSES_ROOT, kClassKey);
        ok = (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) && ok;
    }
    return ok ? S_OK : SELFREG_E_CLASS;
}
