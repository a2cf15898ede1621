// A server whose registration never ends, as one that waits on a dialog no
// one sees: what a time limit is for.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer()
{
    Sleep(INFINITE);
    return S_OK;
}
