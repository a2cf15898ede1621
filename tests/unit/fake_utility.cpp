// Stands in for a system utility in tests of the exact command lines the
// program starts: appends its command line and show state, one line each, to
// "started.log" beside itself, and ends. A windows program, like the
// utilities: no console is made for it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    while (length > 0 && path[length - 1] != '\\') --length;
    lstrcpyA(path + length, "started.log");

    STARTUPINFOA si{};
    si.cb = sizeof(si);
    GetStartupInfoA(&si);
    char line[4096];
    int n = wsprintfA(line, "%s|%d\r\n", GetCommandLineA(), (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1);
    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written;
    WriteFile(log, line, DWORD(n), &written, nullptr);
    CloseHandle(log);
    return 0;
}
