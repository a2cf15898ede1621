#include "helper/LoadTrial.h"

#include "helper/Answer.h"
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
    return utf8Of(path);
}

} // namespace

int runLoadTrial(const std::wstring& clsidText, const std::wstring& server)
{
    CLSID clsid{};
    if (FAILED(CLSIDFromString(clsidText.c_str(), &clsid))) return 2;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;

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
        return 0;
    }
    answer(kModule, moduleOf(factory));

    answer(kStage, kInstance);
    IUnknown* instance = nullptr;
    const HRESULT made = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&instance));
    answer(kInstance, text::codeText(static_cast<unsigned long>(made)));
    answer(kStage, kDone);
    if (instance) instance->Release();
    factory->Release();
    CoUninitialize();
    return 0;
}

} // namespace helper
