// The test add-in with a type library (TlbTest.idl, its .tlb a TYPELIB
// resource of this DLL): one class, TlbObject, with a dual and a custom
// interface. DllRegisterServer registers the class and, by RegisterTypeLib,
// the library and its interfaces, as a real add-in does.
#include <windows.h>

#include <oleauto.h>
#include <olectl.h>

#include <new>
#include <string>

namespace {

const CLSID kClassId{0x8A3C2E13, 0x5B7D, 0x4F21, {0x9A, 0x0C, 0x1D, 0x2E, 0x3F, 0x40, 0x51, 0x61}};
const IID kDualId{0x8A3C2E11, 0x5B7D, 0x4F21, {0x9A, 0x0C, 0x1D, 0x2E, 0x3F, 0x40, 0x51, 0x61}};
const IID kCustomId{0x8A3C2E12, 0x5B7D, 0x4F21, {0x9A, 0x0C, 0x1D, 0x2E, 0x3F, 0x40, 0x51, 0x61}};
const GUID kLibraryId{0x8A3C2E10, 0x5B7D, 0x4F21, {0x9A, 0x0C, 0x1D, 0x2E, 0x3F, 0x40, 0x51, 0x61}};
const wchar_t kClassKey[] = L"CLSID\\{8A3C2E13-5B7D-4F21-9A0C-1D2E3F405161}";

HMODULE self = nullptr;
LONG objects = 0;

struct ITlbDual : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) = 0;
};

struct ITlbCustom : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Count(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Twice(LONG a, LONG* result) = 0;
};

class TlbObject final : public ITlbDual, public ITlbCustom {
public:
    TlbObject() { InterlockedIncrement(&objects); }
    ~TlbObject() { InterlockedDecrement(&objects); }
    TlbObject(const TlbObject&) = delete;
    TlbObject& operator=(const TlbObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, kDualId))
            *out = static_cast<ITlbDual*>(this);
        else if (IsEqualIID(iid, kCustomId))
            *out = static_cast<ITlbCustom*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return ULONG(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) override
    {
        if (!sum) return E_POINTER;
        *sum = a + b;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Count(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Twice(LONG a, LONG* result) override
    {
        if (!result) return E_POINTER;
        *result = 2 * a;
        return S_OK;
    }

private:
    LONG references_ = 1;
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        TlbObject* object = new (std::nothrow) TlbObject;
        if (!object) return E_OUTOFMEMORY;
        const HRESULT result = object->QueryInterface(iid, out);
        object->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

std::wstring modulePath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    return path;
}

bool setText(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& text)
{
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG set = RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                    DWORD((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
    return set == ERROR_SUCCESS;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, kClassId)) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return objects == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer()
{
    std::wstring path = modulePath();
    const std::wstring key = kClassKey;
    if (!setText(HKEY_CLASSES_ROOT, key, nullptr, L"AddInReg type library test") ||
        !setText(HKEY_CLASSES_ROOT, key + L"\\InProcServer32", nullptr, path) ||
        !setText(HKEY_CLASSES_ROOT, key + L"\\InProcServer32", L"ThreadingModel", L"Apartment") ||
        !setText(HKEY_CLASSES_ROOT, key + L"\\TypeLib", nullptr, L"{8A3C2E10-5B7D-4F21-9A0C-1D2E3F405161}") ||
        !setText(HKEY_CLASSES_ROOT, key + L"\\Version", nullptr, L"1.0"))
        return SELFREG_E_CLASS;
    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (SUCCEEDED(result)) {
        result = RegisterTypeLib(library, path.data(), nullptr);
        library->Release();
    }
    return SUCCEEDED(result) ? S_OK : SELFREG_E_TYPELIB;
}

extern "C" HRESULT WINAPI DllUnregisterServer()
{
    UnRegisterTypeLib(kLibraryId, 1, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    return S_OK;
}
