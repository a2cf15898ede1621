#include "platform/TypeLibLoader.h"

#include "platform/Wide.h"

#include <windows.h>

#include <oleauto.h>

namespace platform {

namespace {

// The automation library is loaded when a type library is first read, not
// with the program: the windows and most commands never need it.
struct Automation {
    decltype(&LoadTypeLibEx) loadTypeLibEx = nullptr;
    decltype(&SysStringLen) sysStringLen = nullptr;
    decltype(&SysFreeString) sysFreeString = nullptr;
    bool loaded = false; // all three were found
    explicit operator bool() const { return loaded; }
};

template <typename Fn> void find(HMODULE library, const char* name, Fn& function)
{
    function = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

const Automation& automation()
{
    static const Automation functions = [] {
        Automation found;
        if (const HMODULE library = LoadLibraryW(L"oleaut32.dll")) { // a known DLL: from the system folder only
            find(library, "LoadTypeLibEx", found.loadTypeLibEx);
            find(library, "SysStringLen", found.sysStringLen);
            find(library, "SysFreeString", found.sysFreeString);
            found.loaded = found.loadTypeLibEx != nullptr && found.sysStringLen != nullptr && found.sysFreeString != nullptr;
        }
        return found;
    }();
    return functions;
}

std::string guidText(const GUID& guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return platform::utf8Of(text);
}

// Releases a COM interface at the end of its scope.
template <typename T> class Held {
public:
    Held() = default;
    ~Held()
    {
        if (pointer_) pointer_->Release();
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    T** put() { return &pointer_; }
    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

private:
    T* pointer_ = nullptr;
};

std::string nameOf(ITypeInfo* info)
{
    BSTR name = nullptr;
    std::string text;
    if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr)) && name)
        text = platform::utf8Of(std::wstring(name, automation().sysStringLen(name)));
    automation().sysFreeString(name);
    return text;
}

doctor::TypeLibCoclass coclassOf(ITypeInfo* info, const TYPEATTR& attributes)
{
    doctor::TypeLibCoclass coclass;
    coclass.clsid = guidText(attributes.guid);
    for (UINT i = 0; i < attributes.cImplTypes; ++i) {
        HREFTYPE reference = 0;
        Held<ITypeInfo> implemented;
        if (FAILED(info->GetRefTypeOfImplType(i, &reference)) ||
            FAILED(info->GetRefTypeInfo(reference, implemented.put())))
            continue;
        INT flags = 0;
        info->GetImplTypeFlags(i, &flags);
        if (flags & IMPLTYPEFLAG_FSOURCE) continue; // an outgoing interface the host implements
        TYPEATTR* implementedAttributes = nullptr;
        if (FAILED(implemented->GetTypeAttr(&implementedAttributes))) continue;
        doctor::TypeLibInterface entry;
        entry.iid = guidText(implementedAttributes->guid);
        entry.dual = (implementedAttributes->wTypeFlags & TYPEFLAG_FDUAL) != 0;
        entry.oleAutomation = (implementedAttributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) != 0;
        entry.isDefault = (flags & IMPLTYPEFLAG_FDEFAULT) != 0;
        implemented->ReleaseTypeAttr(implementedAttributes);
        entry.name = nameOf(implemented.get());
        coclass.interfaces.push_back(std::move(entry));
    }
    return coclass;
}

} // namespace

doctor::TypeLibFile loadTypeLibrary(const std::string& path)
{
    doctor::TypeLibFile file;
    Held<ITypeLib> library;
    if (!automation()) {
        file.result = static_cast<unsigned long>(TYPE_E_CANTLOADLIBRARY);
        return file;
    }
    const HRESULT loaded = automation().loadTypeLibEx(platform::wideOf(path).c_str(), REGKIND_NONE, library.put());
    file.result = static_cast<unsigned long>(loaded);
    if (FAILED(loaded) || !library) return file;
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        file.libid = guidText(attributes->guid);
        file.major = attributes->wMajorVerNum;
        file.minor = attributes->wMinorVerNum;
        file.sysKind = static_cast<int>(attributes->syskind);
        library->ReleaseTLibAttr(attributes);
    }
    const UINT count = library->GetTypeInfoCount();
    for (UINT index = 0; index < count; ++index) {
        Held<ITypeInfo> info;
        if (FAILED(library->GetTypeInfo(index, info.put()))) continue;
        TYPEATTR* typeAttributes = nullptr;
        if (FAILED(info->GetTypeAttr(&typeAttributes))) continue;
        if (typeAttributes->typekind == TKIND_INTERFACE || typeAttributes->typekind == TKIND_DISPATCH)
            file.interfaces.push_back(guidText(typeAttributes->guid));
        else if (typeAttributes->typekind == TKIND_COCLASS)
            file.coclasses.push_back(coclassOf(info.get(), *typeAttributes));
        info->ReleaseTypeAttr(typeAttributes);
    }
    return file;
}

} // namespace platform
