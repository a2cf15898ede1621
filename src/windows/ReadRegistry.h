#pragma once
// The main window: the ProgIDs registered under HKEY_CLASSES_ROOT, the class
// and server of the selected one, the search for a DLL among them, and the
// two buttons that act on the last lookup.
#include "classes/ServerRule.h"
#include "windows/Toolkit.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace windows {

class ReportWindow;

// The class of the row the window shows, as stored (UTF-8).
struct RowClass {
    std::string progId;
    std::string clsid;
    classes::ServerFile server; // by the server rule, in the view the class was found in
    classes::View view = classes::View::Bits64;
};
class WriteRegistry;

class ReadRegistry : public Window {
public:
    // Creates the window, hidden, with the ProgID list already filled.
    ReadRegistry();
    ~ReadRegistry() override;

    // Looks up a ProgID's CLSID and server. Returns the text the window shows
    // for it, and keeps both as the class the buttons act on.
    std::string findDescrForInProcServer(const std::string& sInProcServer);

    const std::string& lastClsid() const { return currentClsid; }
    const std::string& lastServer() const { return currentServer; }

private:
    // Controls, in tab order.
    windows::ListBox lstKeys;
    windows::Label lblDescription{{windows::Label::Align::Left, true, false}};
    windows::Button cmdWriteRegFile;
    windows::Button cmdQuit;
    windows::Label Label1;
    windows::Button cmdFindDLL;
    windows::TextBox txtDllName;
    windows::Label Label2;
    windows::Button cmdUnreg;

    // State.
    bool listReady = false;
    std::map<int, std::string> exactProgIds; // by row source, the listed names as stored (UTF-8) that are not their row's text
    std::string currentClsid;
    std::string currentServer;
    classes::View currentView = classes::View::Bits64; // the view currentServer was read in
    std::unique_ptr<WriteRegistry> regFileWindow; // created by the first "Write Reg File"
    std::unique_ptr<ReportWindow> reportWindow;   // created by the first "Check Registration..." or "Capture Registration..."

    // Handlers and the operations they run.
    void createControls();
    void buildProgIdList();
    void onListClick();
    void onFindDllClick();
    void onDllNameKeyUp(int keyCode, int shift);
    void searchForDll();
    void onUnregisterClick();
    void onWriteRegFileClick();
    RowClass rowClass() const;
    void onListMenu(POINT at);
    void captureRegistration(const RowClass& found);
    void onListKeyDown(int keyCode, int shift);
};

} // namespace windows
