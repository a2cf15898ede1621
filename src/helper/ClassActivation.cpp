#include "helper/ClassActivation.h"

#include "helper/Answer.h"
#include "platform/Wide.h"
#include "text/Text.h"

#include <windows.h>

#include <objbase.h>

#include <string>

namespace helper {

namespace {

// The file of the module that holds an object's code: the module the loader
// loaded for the class.
std::string moduleOf(IUnknown* object)
{
    HMODULE module = nullptr;
    // An object's first member is its interface table, which lies in its module.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            *reinterpret_cast<LPCWSTR*>(object), &module))
        return {};
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(module, path.data(), DWORD(path.size())));
    return platform::utf8Of(path);
}

struct Crossing {
    IStream* out = nullptr;  // to the other apartment
    IStream* back = nullptr; // from it
    IID iid{};
};

DWORD WINAPI otherApartment(void* parameter)
{
    Crossing& crossing = *static_cast<Crossing*>(parameter);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    IUnknown* proxy = nullptr;
    const HRESULT unmarshalled =
        CoGetInterfaceAndReleaseStream(crossing.out, crossing.iid, reinterpret_cast<void**>(&proxy));
    answer(kUnmarshal, text::codeText(static_cast<unsigned long>(unmarshalled)));
    if (SUCCEEDED(unmarshalled) && proxy) {
        const HRESULT marshalled = CoMarshalInterThreadInterfaceInStream(crossing.iid, proxy, &crossing.back);
        if (FAILED(marshalled)) answer(kMarshalBack, text::codeText(static_cast<unsigned long>(marshalled)));
        proxy->Release();
    }
    CoUninitialize();
    return 0;
}

// The interface to a thread of the multithreaded apartment and back; the
// object's own apartment serves the calls meanwhile.
void marshalAcross(IUnknown* instance, const IID& iid)
{
    answer(kStage, kMarshal);
    Crossing crossing;
    crossing.iid = iid;
    IUnknown* wanted = nullptr;
    HRESULT result = instance->QueryInterface(iid, reinterpret_cast<void**>(&wanted));
    if (SUCCEEDED(result)) {
        result = CoMarshalInterThreadInterfaceInStream(iid, wanted, &crossing.out);
        wanted->Release();
    }
    answer(kMarshal, text::codeText(static_cast<unsigned long>(result)));
    if (FAILED(result)) return;
    HANDLE thread = CreateThread(nullptr, 0, otherApartment, &crossing, 0, nullptr);
    if (!thread) {
        crossing.out->Release();
        return;
    }
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    CloseHandle(thread);
    if (!crossing.back) return;
    IUnknown* returned = nullptr;
    const HRESULT back = CoGetInterfaceAndReleaseStream(crossing.back, iid, reinterpret_cast<void**>(&returned));
    answer(kMarshalBack, text::codeText(static_cast<unsigned long>(back)));
    if (returned) returned->Release();
}

} // namespace

int runLoadTrial(const std::wstring& clsidText, const std::wstring& server, const std::wstring& iidText)
{
    CLSID clsid{};
    IID iid{};
    if (FAILED(CLSIDFromString(clsidText.c_str(), &clsid))) return text::helperExit::kUsage;
    if (!iidText.empty() && FAILED(IIDFromString(iidText.c_str(), &iid))) return text::helperExit::kUsage;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return text::helperExit::kSetupFailed;

    answer(kStage, kClassObject);
    IClassFactory* factory = nullptr;
    const HRESULT got = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                         reinterpret_cast<void**>(&factory));
    answer(kClassObject, text::codeText(static_cast<unsigned long>(got)));
    if (FAILED(got) || !factory) {
        // Why the server did not load, when it did not: the loader's own
        // error for the file, loaded the way COM loads a server by its path.
        if (!server.empty() && !GetModuleHandleW(server.c_str())) {
            SetLastError(ERROR_SUCCESS);
            HMODULE module = LoadLibraryExW(server.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
            if (module)
                FreeLibrary(module);
            else
                answer(kLoadError, std::to_string(GetLastError()));
        }
        answer(kStage, kDone);
        CoUninitialize();
        return text::helperExit::kRan;
    }
    answer(kModule, moduleOf(factory));

    answer(kStage, kInstance);
    IUnknown* instance = nullptr;
    const HRESULT made = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&instance));
    answer(kInstance, text::codeText(static_cast<unsigned long>(made)));
    if (instance && !iidText.empty()) marshalAcross(instance, iid);
    answer(kStage, kDone);
    if (instance) instance->Release();
    factory->Release();
    CoUninitialize();
    return text::helperExit::kRan;
}

} // namespace helper
