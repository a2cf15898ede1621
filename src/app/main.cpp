// AddInReg: browses the COM classes registered on this machine and writes the
// registry scripts that register an in-process server as an add-in.
#include "windows/ReadRegistry.h"
#include "windows/Dialogs.h"

#include <windows.h>

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    try {
        // Creating the main window is the start: it reads the registry
        // before it is first shown.
        windows::ReadRegistry mainWindow;
        mainWindow.show();
        return windows::runMessageLoop();
    } catch (const std::exception& e) {
        windows::reportFatalError(e);
    }
}
