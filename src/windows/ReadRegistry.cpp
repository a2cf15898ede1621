#include "windows/ReadRegistry.h"

#include "classes/ClassLookup.h"
#include "classes/HandOff.h"
#include "windows/ReportWindow.h"
#include "classes/ProgIdList.h"
#include "platform/CaptureRun.h"
#include "platform/DoctorMachine.h"
#include "classes/Arguments.h"
#include "windows/Dialogs.h"
#include "platform/Process.h"
#include "platform/Ansi.h"
#include "platform/Locale.h"
#include "platform/RegistryAPI.h"
#include "platform/RegistryReader.h"
#include "platform/ServerFiles.h"
#include "text/Text.h"
#include "text/Utf.h"
#include "windows/WriteRegistry.h"

namespace windows {

using windows::MsgButtons;
using windows::MsgIcon;

namespace {

// The window's reads of HKEY_CLASSES_ROOT in one view: its own (0), or the
// 32-bit one (KEY_WOW64_32KEY).
classes::ViewReads classesRootReads(REGSAM view)
{
    return {[view](const std::string& keyPath) {
                return std::get<std::string>(
                    RegistryAPI::readRegValue(HKEY_CLASSES_ROOT, keyPath, "", RegistryAPI::kString, std::string(), view));
            },
            [view](const std::string& keyPath) { return RegistryAPI::keyExists(HKEY_CLASSES_ROOT, keyPath, view); }};
}

// The lookup as a program of either bitness finds the class.
classes::ClassLookup lookUpRow(const std::string& progId)
{
    return classes::lookUpClassInEitherView(progId, classesRootReads(0), classesRootReads(KEY_WOW64_32KEY));
}

// The view the doctor is asked to judge a class in: the 32-bit one for a
// class found there, else its own choice.
int doctorViewOf(classes::View view) { return view == classes::View::Bits32 ? 32 : 0; }

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
    cmdQuit.onClick = [] { windows::endProgram(); };
    cmdFindDLL.onClick = [this] { onFindDllClick(); };
    txtDllName.onKeyUp = [this](int keyCode, int shift) { onDllNameKeyUp(keyCode, shift); };
    cmdUnreg.onClick = [this] { onUnregisterClick(); };
    cmdWriteRegFile.onClick = [this] { onWriteRegFileClick(); };
    lstKeys.onMenu = [this](POINT at) { onListMenu(at); };
    lstKeys.onKeyDown = [this](int keyCode, int shift) { onListKeyDown(keyCode, shift); };
}

void ReadRegistry::buildProgIdList()
{
    // The rows show the ANSI names; the context menu acts on the exact ones.
    // Those are kept only where they are not the row's text already (a name
    // outside ASCII, say): one copy of each name is held, the list box's.
    std::vector<std::string> rows;
    exactProgIds.clear();
    {
        std::vector<std::string> exact;
        rows = RegistryAPI::listSubKeys(HKEY_CLASSES_ROOT, "", &exact);
        size_t listed = 0;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (!classes::isListedProgId(rows[i])) continue;
            if (exact[i] != rows[i]) exactProgIds.emplace(int(listed), std::move(exact[i]));
            if (listed != i) rows[listed] = std::move(rows[i]);
            ++listed;
        }
        rows.resize(listed);
    }
    lstKeys.setRows(std::move(rows));
    listReady = true;
}

std::string ReadRegistry::findDescrForInProcServer(const std::string& sInProcServer)
{
    // No class gives no server either, so the buttons never act on the
    // server of an earlier, unrelated ProgID.
    classes::ClassLookup found = lookUpRow(sInProcServer);
    currentClsid = std::move(found.clsid);
    currentServer = std::move(found.server);
    currentView = found.view;
    return std::move(found.text);
}

void ReadRegistry::onListClick()
{
    if (!listReady) return;
    lblDescription.setCaption(findDescrForInProcServer(lstKeys.selectedText()));
}

void ReadRegistry::onFindDllClick()
{
    if (txtDllName.text().empty()) {
        windows::showMessage(hwnd(), "Enter a value in 'Search for DLL' first", MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    searchForDll();
}

void ReadRegistry::onDllNameKeyUp(int keyCode, int /*shift*/)
{
    if (keyCode == VK_RETURN && !txtDllName.text().empty()) searchForDll();
}

void ReadRegistry::searchForDll()
{
    {
        windows::WaitCursor wait;
        const std::string dllName = txtDllName.text();
        const int lastRow = lstKeys.count() - 1;
        for (int row = lstKeys.selectedIndex() + 1; row <= lastRow; ++row) {
            std::string description = findDescrForInProcServer(lstKeys.itemText(row));
            if (platform::lookupTextMatches(description, dllName)) {
                lstKeys.setSelectedIndex(row); // its click handling shows the lookup, under the hourglass
                return;
            }
        }
        // The rows examined have left their own class behind: give the
        // buttons back the class of the row the window shows.
        if (std::string selected = lstKeys.selectedText(); lstKeys.selectedIndex() >= 0) {
            findDescrForInProcServer(selected);
        } else {
            currentClsid.clear();
            currentServer.clear();
        }
    } // the default pointer is back before the message
    windows::showMessage(hwnd(), std::string("DLL not found") + text::kCrLf + "Select top of list to restart search",
                          MsgButtons::Ok, MsgIcon::Information);
}

void ReadRegistry::onUnregisterClick()
{
    if (!classes::windowsActOnServer(currentServer)) return;
    // The file the loader loads; regsvr32 of the system folder hands a 32-bit
    // DLL to its 32-bit twin itself.
    const platform::WindowServer server = platform::windowServerOf(
        currentClsid, currentView, platform::ansiToUtf8(classes::pathOfServerValue(currentServer)));
    if (!platform::startUtility(platform::kRegsvr32, "/u", server.path, platform::ShowState::NormalNoFocus))
        windows::showMessage(hwnd(), "regsvr32 failed to execute");
}

void ReadRegistry::onWriteRegFileClick()
{
    if (!regFileWindow) regFileWindow = std::make_unique<WriteRegistry>();
    const classes::HandOff handOff = classes::handOffFor(currentClsid, currentServer);
    regFileWindow->openFor(handOff.clsid, handOff.server, handOff.regFileName, currentView);
}

RowClass ReadRegistry::rowClass() const
{
    // The row's exact ProgID, as stored, and its class read with the wide
    // calls: no name that the ANSI row text stands for is taken for another.
    RowClass found;
    const int row = lstKeys.selectedIndex();
    const int source = row < 0 ? -1 : lstKeys.rowSource(row);
    if (source < 0) return found;
    const auto exact = exactProgIds.find(source);
    found.progId = exact != exactProgIds.end() ? exact->second : lstKeys.itemText(row);
    const platform::ServerLookup lookup = platform::lookUpServerInEitherView(classes::Hive::ClassesRoot, found.progId);
    found.clsid = lookup.lookup.clsid;
    found.view = lookup.lookup.view;
    found.server = platform::resolveServerFile(lookup.serverValue, found.view, lookup.lookup.localServer);
    return found;
}

void ReadRegistry::onListMenu(POINT at)
{
    // The entries act on the row the window shows, looked up afresh; the
    // class the buttons act on stays as it is.
    const RowClass found = rowClass();
    const std::string serverPath = found.server.found() ? found.server.file : found.server.path;
    // While a helper runs for the report window, no second request starts.
    const bool idle = !reportWindow || !reportWindow->busy();
    enum Entry { CopyProgId, CopyClsid, CopyServerPath, OpenServerFolder, CheckRegistration, CaptureRegistration };
    const std::optional<size_t> chosen = windows::showPopupMenu(
        hwnd(), at,
        {
            {"Copy ProgID", !found.progId.empty()},
            {"Copy CLSID", !found.clsid.empty()},
            {"Copy Server Path", !serverPath.empty()},
            {"Open Server Folder", platform::canShowInFolder(serverPath)},
            {platform::ansiFromUtf8("Check Registration\xE2\x80\xA6"), idle && !found.progId.empty()},
            {platform::ansiFromUtf8("Capture Registration\xE2\x80\xA6"),
             idle && found.server.found() && found.server.kind == classes::ServerKind::InProc},
        });
    if (!chosen) return;
    switch (Entry(*chosen)) {
    case CopyProgId: windows::copyUnicodeToClipboard(hwnd(), found.progId); break;
    case CopyClsid: windows::copyUnicodeToClipboard(hwnd(), found.clsid); break;
    case CopyServerPath: windows::copyUnicodeToClipboard(hwnd(), serverPath); break;
    case OpenServerFolder:
        if (!platform::showInFolder(serverPath)) windows::showMessage(hwnd(), "explorer failed to execute");
        break;
    case CheckRegistration: {
        windows::WaitCursor wait;
        // A class found in the 32-bit view is judged there, as a 32-bit host would.
        const int view = doctorViewOf(found.view);
        const std::string report = platform::checkReport(found.progId, doctor::Host::Any, false, view);
        if (!reportWindow) reportWindow = std::make_unique<ReportWindow>();
        // The load trial runs the add-in's code: only on its own click, in
        // the helper, while the window goes on.
        const std::string progId = found.progId;
        reportWindow->showReport("Check Registration - " + progId, {report, std::nullopt},
                                 {"Try Loading", [progId, view] {
                                      return ReportWindow::Report{
                                          platform::checkReport(progId, doctor::Host::Any, true, view), std::nullopt};
                                  }});
        break;
    }
    case CaptureRegistration: captureRegistration(found); break;
    }
}

void ReadRegistry::captureRegistration(const RowClass& found)
{
    // The question names the file exactly, as the capture gets it.
    const std::string question =
        "Capture Registration runs the code of" + std::string(text::kCrLf) + found.server.file + text::kCrLf +
        "(its DllRegisterServer, as regsvr32 does) in a helper process, with the registry redirected into a "
        "scratch key." + text::kCrLf + text::kCrLf + "Run it?";
    if (windows::showExactMessage(hwnd(), question, MsgButtons::YesNo, MsgIcon::None, "Capture Registration") !=
        windows::MsgResult::Yes)
        return;
    if (!reportWindow) reportWindow = std::make_unique<ReportWindow>();
    const std::string dll = found.server.file;
    reportWindow->showWork(
        "Capture Registration - " + found.progId,
        "Capturing the registration of" + std::string(text::kCrLf) + dll + text::kCrLf +
            "The helper process runs its DllRegisterServer." + text::kCrLf,
        [dll] {
            const platform::CapturedScripts captured =
                platform::captureScripts(dll, "", false, platform::kDefaultCaptureTimeout);
            ReportWindow::Report report;
            for (const std::string& line : captured.notes) report.text += line + text::kCrLf;
            if (!captured.clean) {
                for (const std::string& line : captured.problems) report.text += line + text::kCrLf;
                report.text += std::string("No script was written.") + text::kCrLf;
                return report;
            }
            // A Version 5.00 script is UTF-16 behind its byte-order mark; the report shows UTF-8.
            const std::string& bytes = captured.registerScript;
            report.text += text::startsWithUtf16Mark(bytes) ? text::utf8FromUtf16(text::utf16Units(bytes.substr(2)))
                                                           : bytes;
            report.scripts = ReportScripts{bytes, captured.unRegisterScript,
                                           classes::regFileNameOf(std::string(text::fileNameOf(dll)))};
            return report;
        });
}

void ReadRegistry::onListKeyDown(int keyCode, int shift)
{
    // Ctrl+C: the lookup text of the row the window shows.
    if (keyCode == 'C' && shift == 2 && lstKeys.selectedIndex() >= 0)
        windows::copyToClipboard(hwnd(), lookUpRow(lstKeys.selectedText()).text);
}

} // namespace windows
