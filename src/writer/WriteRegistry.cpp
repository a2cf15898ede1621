#include "writer/WriteRegistry.h"

#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "writer/RegScript.h"

using platform::MsgButtons;
using platform::MsgIcon;

namespace {
constexpr char kTemplateFileName[] = "AddInTemplate.Reg";
constexpr char kLineEnd[] = "\r\n";
} // namespace

WriteRegistry::WriteRegistry() { loadRegTemplate(); }

std::string WriteRegistry::buildInRegTemplate()
{
    static const char* const lines[] = {
        "REGEDIT4",
        "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid] ",
        "@=\"#MenuName\"",
        "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid\\Description] ",
        "@=\"#Description\"",
        "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid\\Implemented Categories\\#INVCLSID] ",
        "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid\\Required Categories] ",
        "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid\\Required Categories\\#INVCLSID] ",
        "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid\\Settings] ",
        "\"LoadOnStartUp\"=\"1\"",
        "\"Type\"=\"Standard\"",
        "#SUPTDVER",
    };
    std::string text;
    for (const char* line : lines) {
        if (!text.empty()) text += kLineEnd;
        text += line;
    }
    return text;
}

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

void WriteRegistry::openFor(const std::string& clsid, const std::string& inProcServer, const std::string& regFileName)
{
    if (!isOpen()) createControls();
    lblClsId.setCaption(clsid);
    lblInProcServer.setCaption(inProcServer);
    tbRegFileName.setText(regFileName); // derives the un-register name
    show();
}

void WriteRegistry::loadRegTemplate()
{
    const std::string path = platform::currentDirectory() + "\\" + kTemplateFileName;
    const std::optional<long long> length = platform::fileLength(path);
    if (!length || *length < 1) {
        if (!templateWarned)
            platform::showMessage(hwnd(), "Not Found or Empty file: " + path + kLineEnd + "using built in default",
                                  MsgButtons::Ok, MsgIcon::Critical);
        templateText = buildInRegTemplate();
        templateWarned = true;
        return;
    }
    std::optional<std::string> text = platform::readFileText(path, size_t(*length));
    if (!text) {
        if (!templateWarned)
            platform::showMessage(hwnd(), "Failed to open: " + path + kLineEnd + "using build in default",
                                  MsgButtons::Ok, MsgIcon::Critical);
        templateText = buildInRegTemplate();
        return;
    }
    templateText = std::move(*text);
}

void WriteRegistry::deriveUnRegFileName()
{
    if (!chkUnRegFile.isChecked()) return;
    lblUnRegFile.setCaption(writer::unRegFileNameOf(tbRegFileName.text()));
}

bool WriteRegistry::writeScript(const std::string& path, const std::string& text)
{
    switch (platform::replaceFileText(path, text)) {
    case platform::WriteOutcome::Written: return true;
    case platform::WriteOutcome::OpenFailed: platform::showMessage(hwnd(), "Failed to open: " + path); return false;
    case platform::WriteOutcome::WriteFailed: platform::showMessage(hwnd(), "Failed to write: " + path); return false;
    }
    return false;
}

void WriteRegistry::writeRegFile()
{
    const std::string script = writer::fillRegTemplate(
        templateText,
        {lblClsId.caption(), tbMenu.text(), tbDescription.text(), chkR6.isChecked(), chkR6Only.isChecked()});
    const std::string regFileName = tbRegFileName.text();
    if (!writeScript(regFileName, script)) return;

    if (platform::showMessage(hwnd(), "Add to Registry?", MsgButtons::YesNo, MsgIcon::None, "Add to Registry") ==
        platform::MsgResult::Yes) {
        if (!platform::startProgram(platform::commandWithPath("regsvr32.exe /s ", lblInProcServer.caption()),
                                    platform::ShowState::NormalNoFocus))
            platform::showMessage(hwnd(), "regsvr32 failed to execute");
        if (!platform::startProgram(platform::commandWithPath("regedit.exe /s ", regFileName),
                                    platform::ShowState::MinimizedFocus))
            platform::showMessage(hwnd(), "regedit failed to execute");
    }

    if (chkUnRegFile.isChecked() && !writeScript(lblUnRegFile.caption(), writer::unRegScriptOf(script))) return;

    loadRegTemplate();
    close();
}
