// Asks the COM loader for a class, in-process only, as a host does, and says
// what it answered: the HRESULT, and the file of the module that serves the
// class object. The tests compare the program's verdicts with this.
//   com_activator {CLSID}
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
    if (argc != 2) return 2;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(endQuietly);
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
            const int bytes = WideCharToMultiByte(CP_UTF8, 0, path, int(length), nullptr, 0, nullptr, nullptr);
            std::string utf8(size_t(bytes), '\0');
            WideCharToMultiByte(CP_UTF8, 0, path, int(length), utf8.data(), bytes, nullptr, nullptr);
            std::printf("module=%s\n", utf8.c_str());
        }
        factory->Release();
    }
    std::fflush(stdout);
    CoUninitialize();
    return 0;
}
