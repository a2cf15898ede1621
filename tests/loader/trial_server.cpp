// Servers that go wrong where only loading them shows it, for the load
// trial. Built once for each way:
//   TRIAL_HANG   DllGetClassObject never returns
//   TRIAL_CRASH  DllMain faults as the DLL is loaded
//   TRIAL_FAULT  DllGetClassObject faults
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
#ifdef TRIAL_CRASH
    if (reason == DLL_PROCESS_ATTACH) {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    }
#else
    (void)reason;
#endif
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID, void** object)
{
#ifdef TRIAL_HANG
    Sleep(INFINITE);
#endif
#ifdef TRIAL_FAULT
    volatile int* nowhere = nullptr;
    *nowhere = 1;
#endif
    *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() { return S_OK; }
