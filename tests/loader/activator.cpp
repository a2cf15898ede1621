// Asks the COM loader for a class, in-process only, as a host does, and says
// what it answered: the HRESULT, and the file of the module that serves the
// class object. The tests compare the program's verdicts with this.
//   com_activator {CLSID}
// Or loads a DLL as COM loads an in-process server, by its full path with
// the altered search order, and says the system's error code (0: it loaded):
//   com_activator --load PATH
#include "platform/Wide.h"

#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>

// A class that faults ends this program with the fault's code, without a
// debugger.
static LONG WINAPI endQuietly(EXCEPTION_POINTERS* pointers)
{
    TerminateProcess(GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

int wmain(int argc, wchar_t** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(endQuietly);
    if (argc == 3 && std::wstring(argv[1]) == L"--load") {
        const HMODULE module = LoadLibraryExW(argv[2], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        std::printf("error=%lu\n", module ? 0UL : static_cast<unsigned long>(GetLastError()));
        std::fflush(stdout);
        return 0;
    }
    if (argc != 2) return 2;
    CLSID clsid{};
    if (FAILED(CLSIDFromString(argv[1], &clsid))) return 2;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    IUnknown* factory = nullptr;
    const HRESULT hr = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown,
                                        reinterpret_cast<void**>(&factory));
    std::printf("hr=0x%08lX\n", static_cast<unsigned long>(hr));
    if (SUCCEEDED(hr) && factory) {
        // The module that holds the object's code is the one the loader loaded.
        HMODULE module = nullptr;
        wchar_t path[32768];
        if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               *reinterpret_cast<LPCWSTR*>(factory), &module)) {
            const DWORD length = GetModuleFileNameW(module, path, 32768);
            std::printf("module=%s\n", platform::utf8Of({path, length}).c_str());
        }
        factory->Release();
    }
    std::fflush(stdout);
    CoUninitialize();
    return 0;
}
