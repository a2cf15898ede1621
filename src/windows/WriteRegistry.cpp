#include "windows/WriteRegistry.h"

#include "windows/Dialogs.h"
#include "platform/Ansi.h"
#include "platform/Files.h"
#include "classes/Arguments.h"
#include "platform/Process.h"
#include "scripts/CapturedRegistration.h"
#include "scripts/RegScript.h"
#include "platform/ServerFiles.h"
#include "platform/SafeWrite.h"
#include "platform/Template.h"
#include "text/Text.h"

namespace windows {

using windows::MsgButtons;
using windows::MsgIcon;

WriteRegistry::WriteRegistry() { loadRegTemplate(); }

std::string WriteRegistry::buildInRegTemplate() { return scripts::builtInTemplate(); }

void WriteRegistry::createControls()
{
    open({"Write AddIn Reg File", 6660, 4695, {}},
         {
             {tbMenu, "myAddInName", {1380, 1140, 5055, 350}},
             {tbDescription, "This AddIn creates Geometry", {1380, 1620, 5055, 705}},
             {tbRegFileName, "", {1380, 2460, 5055, 350}},
             {cmdWrite, "Write", {240, 3720, 1575, 615}},
             {cmdQuit, "Quit", {2040, 3720, 1695, 615}},
             {lblClsId, "", {1440, 120, 4995, 300}},
             {Label1, "ClsId", {600, 180, 675, 315}},
             {Label2, "Description", {60, 1680, 1215, 315}},
             {Label3, "Menu", {60, 1200, 1215, 315}},
             {Label4, "RegFileName", {120, 2520, 1200, 300}},
             {Label5, "InProcServer", {240, 600, 1095, 375}},
             {lblInProcServer, "", {1440, 600, 4995, 300}},
             {Label6, "20011223: qdx", {240, 4440, 2895, 255}},
             {chkR6, "Host R6  + Class ID", {4020, 3660, 2175, 315}},
             {chkR6Only, "R6 + Specific", {4020, 4020, 2295, 315}},
             {chkUnRegFile, "Create Un-Register File", {120, 2820, 1995, 375}},
             {lblUnRegFile, "Un Reg File", {120, 3180, 6315, 495}},
         });
    chkR6.setChecked(true);
    chkR6Only.setChecked(true);
    chkUnRegFile.setChecked(true);
    chkUnRegFile.onClick = [this] { deriveUnRegFileName(); };
    tbRegFileName.onChange = [this] { deriveUnRegFileName(); };
    cmdWrite.onClick = [this] { writeRegFile(); };
    cmdQuit.onClick = [this] { close(); };
}

void WriteRegistry::openFor(const std::string& clsid, const std::string& inProcServer, const std::string& regFileName,
                            classes::View view)
{
    if (!isOpen()) createControls();
    serverView = view;
    lblClsId.setCaption(clsid);
    lblInProcServer.setCaption(inProcServer);
    tbRegFileName.setText(regFileName); // derives the un-register name
    show();
}

void WriteRegistry::loadRegTemplate()
{
    // The file layer takes UTF-8; the window shows ANSI.
    const std::string path = platform::templatePathIn(platform::currentDirectory());
    const std::string shown = platform::ansiFromUtf8(path);
    platform::TemplateLoad load = platform::loadTemplate(path);
    templateText = std::move(load.text);
    templateFile = load.source == platform::TemplateLoad::Source::File ? path : std::string();
    if (load.source == platform::TemplateLoad::Source::MissingOrEmpty) {
        if (!templateWarned)
            windows::showMessage(hwnd(), "Not Found or Empty file: " + shown + text::kCrLf + "using built in default",
                                  MsgButtons::Ok, MsgIcon::Critical);
        templateWarned = true;
    } else if (load.source == platform::TemplateLoad::Source::OpenFailed && !templateWarned) {
        windows::showMessage(hwnd(), "Failed to open: " + shown + text::kCrLf + "using build in default",
                              MsgButtons::Ok, MsgIcon::Critical);
    } else if (load.source == platform::TemplateLoad::Source::NotAnsiScript && !templateWarned) {
        // Filled, it would give a broken script: the built-in one is used.
        windows::showMessage(hwnd(),
                              "Not an ANSI registry script: " + shown + text::kCrLf +
                                  platform::ansiFromUtf8(platform::templateKindSentence(load.kind)) + text::kCrLf +
                                  "using built in default",
                              MsgButtons::Ok, MsgIcon::Critical);
    }
}

void WriteRegistry::deriveUnRegFileName()
{
    if (!chkUnRegFile.isChecked()) return;
    lblUnRegFile.setCaption(scripts::unRegFileNameOf(tbRegFileName.text()));
}

bool WriteRegistry::writeScript(const std::string& path, const std::string& text)
{
    const platform::WriteResult result = platform::writeScriptFile(platform::ansiToUtf8(path), text, templateFile).result;
    switch (result) {
    case platform::WriteResult::Written: return true;
    case platform::WriteResult::WriteFailed: windows::showMessage(hwnd(), "Failed to write: " + path); return false;
    case platform::WriteResult::OpenFailed: windows::showMessage(hwnd(), "Failed to open: " + path); return false;
    default:
        windows::showMessage(hwnd(), "Failed to open: " + path + text::kCrLf + platform::refusalSentence(result));
        return false;
    }
}

void WriteRegistry::writeRegFile()
{
    // Everything this run writes or starts is read now, before any question:
    // what happens in the windows while a message box shows cannot change it.
    std::string script = scripts::fillRegTemplate(
        templateText,
        {lblClsId.caption(), tbMenu.text(), tbDescription.text(), chkR6.isChecked(), chkR6Only.isChecked()});
    const std::string regFileName = tbRegFileName.text();
    // The file the loader loads for the class, as regsvr32 gets it; an x86
    // DLL's class keys go where a 32-bit host reads them.
    const platform::WindowServer server = platform::windowServerOf(
        lblClsId.caption(), serverView, platform::ansiToUtf8(classes::pathOfServerValue(lblInProcServer.caption())));
    if (server.bits == 32) script = scripts::scriptForTarget(script, {32, false});
    const bool unRegWanted = chkUnRegFile.isChecked();
    const std::string unRegFileName = lblUnRegFile.caption();

    if (!writeScript(regFileName, script)) return;

    if (windows::showMessage(hwnd(), "Add to Registry?", MsgButtons::YesNo, MsgIcon::None, "Add to Registry") ==
        windows::MsgResult::Yes) {
        if (!platform::startUtility(platform::kRegsvr32, "/s", server.path, platform::ShowState::NormalNoFocus))
            windows::showMessage(hwnd(), "regsvr32 failed to execute");
        if (!platform::startUtility(platform::kRegedit, "/s", platform::ansiToUtf8(regFileName),
                                    platform::ShowState::MinimizedFocus))
            windows::showMessage(hwnd(), "regedit failed to execute");
    }

    if (unRegWanted && !writeScript(unRegFileName, scripts::unRegScriptOf(script))) return;

    loadRegTemplate();
    close();
}

} // namespace windows
