// The system's answer on a type library and on a call across apartments,
// for the tests to hold the doctor's verdicts against. Built in both
// bitnesses; a host of that bitness asks as a host does.
//   tlb_probe lib {LIBID} MAJOR MINOR   LoadRegTypeLib with LCID 0: "hr=0x..."
//   tlb_probe call {CLSID} {IID}        creates the object in a single-threaded
//       apartment, marshals the interface to a thread of the multithreaded
//       apartment, and calls its first method there (one [out] UINT, such as
//       IDispatch::GetTypeInfoCount): "create=", "marshal=", "unmarshal=",
//       "call=" each with its HRESULT
#include <windows.h>

#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

LONG WINAPI endQuietly(EXCEPTION_POINTERS* pointers)
{
    TerminateProcess(GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

void say(const char* name, HRESULT result)
{
    std::printf("%s=0x%08lX\n", name, static_cast<unsigned long>(result));
    std::fflush(stdout);
}

struct Call {
    IStream* stream = nullptr;
    IID iid{};
};

using FirstMethod = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, UINT*);

DWORD WINAPI callFromOtherApartment(void* parameter)
{
    Call& call = *static_cast<Call*>(parameter);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IUnknown* proxy = nullptr;
    const HRESULT unmarshalled = CoGetInterfaceAndReleaseStream(call.stream, call.iid, reinterpret_cast<void**>(&proxy));
    say("unmarshal", unmarshalled);
    if (SUCCEEDED(unmarshalled) && proxy) {
        UINT count = 0;
        const FirstMethod first = (*reinterpret_cast<FirstMethod**>(proxy))[3];
        say("call", first(proxy, &count));
        proxy->Release();
    }
    CoUninitialize();
    return 0;
}

int crossApartmentCall(const wchar_t* clsidText, const wchar_t* iidText)
{
    CLSID clsid{};
    Call call;
    if (FAILED(CLSIDFromString(clsidText, &clsid)) || FAILED(IIDFromString(iidText, &call.iid))) return 2;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    IUnknown* object = nullptr;
    const HRESULT created = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, call.iid,
                                             reinterpret_cast<void**>(&object));
    say("create", created);
    if (SUCCEEDED(created) && object) {
        const HRESULT marshalled = CoMarshalInterThreadInterfaceInStream(call.iid, object, &call.stream);
        say("marshal", marshalled);
        if (SUCCEEDED(marshalled)) {
            HANDLE thread = CreateThread(nullptr, 0, callFromOtherApartment, &call, 0, nullptr);
            // The object's apartment serves the call while the thread waits for it.
            while (thread && MsgWaitForMultipleObjects(1, &thread, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            }
            if (thread) CloseHandle(thread);
        }
        object->Release();
    }
    CoUninitialize();
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(endQuietly);
    if (argc == 5 && std::wstring(argv[1]) == L"lib") {
        GUID libid{};
        if (FAILED(CLSIDFromString(argv[2], &libid))) return 2;
        const auto major = static_cast<WORD>(std::wcstoul(argv[3], nullptr, 16));
        const auto minor = static_cast<WORD>(std::wcstoul(argv[4], nullptr, 16));
        ITypeLib* library = nullptr;
        const HRESULT loaded = LoadRegTypeLib(libid, major, minor, 0, &library);
        say("hr", loaded);
        if (library) library->Release();
        return 0;
    }
    if (argc == 4 && std::wstring(argv[1]) == L"call") return crossApartmentCall(argv[2], argv[3]);
    return 2;
}
