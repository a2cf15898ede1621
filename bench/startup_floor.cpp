// The least a program can do to show the main window's list: enumerate the
// subkeys of HKEY_CLASSES_ROOT, drop the same names, sort them in memory,
// and fill an unsorted list box with its redraw off and its storage reserved
// up front. The benchmark times AddInReg.exe against it.
#include "classes/ProgIdList.h"
#include "platform/Locale.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {
LRESULT CALLBACK floorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wp, lp);
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    std::vector<std::string> names;
    char name[260];
    for (DWORD i = 0; RegEnumKeyA(HKEY_CLASSES_ROOT, i, name, sizeof(name)) == ERROR_SUCCESS; ++i) names.emplace_back(name);
    names = classes::listedProgIds(std::move(names));
    const std::vector<size_t> order = platform::listOrder(names);

    WNDCLASSA wc{};
    wc.lpfnWndProc = floorProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "AddInRegFloor";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "AddInReg floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 480, 400, nullptr, nullptr, instance, nullptr);
    HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY |
                                LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT, 8, 8, 440, 150, window, nullptr, instance, nullptr);
    size_t bytes = 0;
    for (const std::string& n : names) bytes += n.size() + 1;
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_INITSTORAGE, WPARAM(names.size()), LPARAM(bytes));
    for (size_t i : order) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i].c_str()));
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    ShowWindow(window, SW_SHOW);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
