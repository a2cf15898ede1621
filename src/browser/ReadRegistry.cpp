#include "browser/ReadRegistry.h"

#include "browser/ProgIdList.h"
#include "platform/Dialogs.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "registry/RegistryAPI.h"
#include "writer/WriteRegistry.h"

using platform::MsgButtons;
using platform::MsgIcon;

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr int kEnterKey = 13;

// Values shorter than these count as absent for the two buttons.
constexpr size_t kMinServerLength = 5;
constexpr size_t kMinClsidLength = 2;

std::string readDefaultString(const std::string& keyPath)
{
    return std::get<std::string>(
        RegistryAPI::readRegValue(HKEY_CLASSES_ROOT, keyPath, "", RegistryAPI::kString, std::string()));
}

} // namespace

ReadRegistry::ReadRegistry()
{
    createControls();
    buildProgIdList();
}

ReadRegistry::~ReadRegistry() = default;

void ReadRegistry::createControls()
{
    open({"Registry Functions Demo", 6780, 5415, {"MS Sans Serif", 9.75}},
         {
             {lstKeys, "", {120, 120, 6255, 2220}},
             {lblDescription, "", {120, 2520, 6255, 975}},
             {cmdWriteRegFile, "Write Reg File", {240, 3840, 1695, 615}},
             {cmdQuit, "Quit", {2280, 4560, 1575, 615}},
             {Label1, "20020102: qdx", {240, 4680, 1695, 255}},
             {cmdFindDLL, "Find DLL", {4560, 4560, 1695, 615}},
             {txtDllName, "", {4320, 3975, 2175, 480}},
             {Label2, "search for DLL:", {4440, 3600, 1815, 255}},
             {cmdUnreg, "Unregister", {2280, 3840, 1575, 615}},
         });
    lstKeys.onClick = [this] { onListClick(); };
    cmdQuit.onClick = [] { platform::endProgram(); };
    cmdFindDLL.onClick = [this] { onFindDllClick(); };
    txtDllName.onKeyUp = [this](int keyCode, int shift) { onDllNameKeyUp(keyCode, shift); };
    cmdUnreg.onClick = [this] { onUnregisterClick(); };
    cmdWriteRegFile.onClick = [this] { onWriteRegFileClick(); };
}

void ReadRegistry::buildProgIdList()
{
    std::vector<std::string> names = browser::listedProgIds(RegistryAPI::listSubKeys(HKEY_CLASSES_ROOT, ""));
    lstKeys.clear();
    for (const std::string& name : names) lstKeys.addItem(name);
    listReady = true;
}

std::string ReadRegistry::findDescrForInProcServer(const std::string& sInProcServer)
{
    currentClsid = readDefaultString(sInProcServer + "\\CLSID");
    if (currentClsid.empty()) {
        // No class: no server either, so the buttons never act on the server
        // of an earlier, unrelated ProgID.
        currentServer.clear();
        return "CLSID not found";
    }
    std::string text = "CLSID = " + currentClsid + kLineEnd;
    currentServer = readDefaultString("CLSID\\" + currentClsid + "\\InProcServer32");
    if (currentServer.empty()) currentServer = readDefaultString("CLSID\\" + currentClsid + "\\LocalServer32");
    if (!currentServer.empty()) text += "InProcServer = " + currentServer + kLineEnd;
    return text;
}

void ReadRegistry::onListClick()
{
    if (!listReady) return;
    lblDescription.setCaption(findDescrForInProcServer(lstKeys.selectedText()));
}

void ReadRegistry::onFindDllClick()
{
    if (txtDllName.text().empty()) {
        platform::showMessage(hwnd(), "Enter a value in 'Search for DLL' first", MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    searchForDll();
}

void ReadRegistry::onDllNameKeyUp(int keyCode, int /*shift*/)
{
    if (keyCode == kEnterKey && !txtDllName.text().empty()) searchForDll();
}

void ReadRegistry::searchForDll()
{
    platform::setMousePointer(platform::MousePointer::Hourglass);
    const std::string dllName = txtDllName.text();
    const int lastRow = lstKeys.count() - 1;
    for (int row = lstKeys.selectedIndex() + 1; row <= lastRow; ++row) {
        std::string description = findDescrForInProcServer(lstKeys.itemText(row));
        if (!description.empty() && platform::containsIgnoringCase(description, dllName)) {
            lstKeys.setSelectedIndex(row); // its click handling shows the lookup
            platform::setMousePointer(platform::MousePointer::Default);
            return;
        }
    }
    // The rows examined have left their own class behind: give the buttons
    // back the class of the row the window shows.
    if (std::string selected = lstKeys.selectedText(); lstKeys.selectedIndex() >= 0) {
        findDescrForInProcServer(selected);
    } else {
        currentClsid.clear();
        currentServer.clear();
    }
    platform::setMousePointer(platform::MousePointer::Default);
    platform::showMessage(hwnd(), std::string("DLL not found") + kLineEnd + "Select top of list to restart search",
                          MsgButtons::Ok, MsgIcon::Information);
}

void ReadRegistry::onUnregisterClick()
{
    if (currentServer.size() < kMinServerLength) return;
    if (!platform::startProgram(platform::commandWithPath("regsvr32.exe /u ", currentServer),
                                platform::ShowState::NormalNoFocus))
        platform::showMessage(hwnd(), "regsvr32 failed to execute");
}

void ReadRegistry::onWriteRegFileClick()
{
    if (!regFileWindow) regFileWindow = std::make_unique<WriteRegistry>();
    const bool hasServer = currentServer.size() >= kMinServerLength;
    regFileWindow->openFor(currentClsid.size() >= kMinClsidLength ? currentClsid : "{xxx-xxx}",
                           hasServer ? currentServer : "NoServer",
                           hasServer ? currentServer.substr(0, currentServer.size() - 3) + "reg" : "default.reg");
}
