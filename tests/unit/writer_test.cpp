// The reg-file writer: the scripts made from the template, the template
// load, the window and its hand-off from the main window, and Write with
// stand-ins for the two utilities.
#include "windows/ReadRegistry.h"
#include "scripts/RegScript.h"
#include "windows/WriteRegistry.h"
#include "platform/Ansi.h"
#include "platform/Files.h"
#include "platform/SafeWrite.h"
#include "platform/Template.h"

#include "TestFiles.h"
#include "TestRegistry.h"
#include "Ui.h"
#include "UtilityRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>


using namespace testing_support;
using windows::ReadRegistry;
using windows::WriteRegistry;
using scripts::fillRegTemplate;
using scripts::ScriptFields;
using scripts::unRegFileNameOf;
using scripts::unRegScriptOf;

namespace {

const char kZeroClsid[] = "{00000000-0000-0000-0000-000000000000}";

std::string joinLines(std::initializer_list<const char*> lines)
{
    std::string text;
    for (const char* line : lines) text += std::string(text.empty() ? "" : "\r\n") + line;
    return text;
}

// The worked example: the built-in template, the zero CLSID, the window's
// initial menu name and description, both check boxes set.
const std::string kWorkedExample = joinLines({
    "REGEDIT4",
    "[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}] ",
    "@=\"myAddInName\"",
    "[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}\\Description] ",
    "@=\"This AddIn creates Geometry\"",
    "[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}\\Implemented "
    "Categories\\{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}] ",
    "[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}\\Required Categories] ",
    "[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}\\Required "
    "Categories\\{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}] ",
    "[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}\\Settings] ",
    "\"LoadOnStartUp\"=\"1\"",
    "\"Type\"=\"Standard\"",
    "\"SupportedSoftwareVersionGreaterThan\" = \"5.3.2\"",
});
// Its un-register script: every key opened with "[-".
const std::string kWorkedUnReg = joinLines({
    "REGEDIT4",
    "[-HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}] ",
    "@=\"myAddInName\"",
    "[-HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}\\Description] ",
    "@=\"This AddIn creates Geometry\"",
    "[-HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}\\Implemented "
    "Categories\\{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}] ",
    "[-HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}\\Required Categories] ",
    "[-HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}\\Required "
    "Categories\\{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}] ",
    "[-HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000000}\\Settings] ",
    "\"LoadOnStartUp\"=\"1\"",
    "\"Type\"=\"Standard\"",
    "\"SupportedSoftwareVersionGreaterThan\" = \"5.3.2\"",
});

ScriptFields example(bool hostR6 = true, bool r6Specific = true)
{
    return {kZeroClsid, "myAddInName", "This AddIn creates Geometry", hostR6, r6Specific};
}

std::string readFile(const std::string& path) { return readFileBytes(path).value_or("<missing>"); }

std::string utf16Le(const std::string& ascii)
{
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += {c, '\0'};
    return out;
}

// --- The scripts -----------------------------------------------------------

TEST(RegScript, BuiltInTemplate)
{
    const std::string t = WriteRegistry::buildInRegTemplate();
    EXPECT_EQ(t.size(), 406u);
    EXPECT_EQ(t.rfind("REGEDIT4\r\n", 0), 0u);
    EXPECT_EQ(t.substr(t.size() - 11), "\r\n#SUPTDVER");
    EXPECT_EQ(t.find("\r\n\r\n"), std::string::npos);
    size_t keyLines = 0;
    for (size_t at = t.find("] \r\n"); at != std::string::npos; at = t.find("] \r\n", at + 1)) ++keyLines;
    EXPECT_EQ(keyLines, 6u);
}

TEST(RegScript, WorkedExampleAndItsVariantsByteForByte)
{
    const std::string tmpl = WriteRegistry::buildInRegTemplate();
    const std::string full = fillRegTemplate(tmpl, example());
    EXPECT_EQ(full, kWorkedExample);
    EXPECT_EQ(full.size(), 711u);
    EXPECT_EQ(unRegScriptOf(full).size(), 717u);
    EXPECT_EQ(unRegScriptOf(full), kWorkedUnReg);

    // Without the version line the script ends with the line before it and its line break.
    const std::string noVersion = fillRegTemplate(tmpl, example(true, false));
    EXPECT_EQ(noVersion, kWorkedExample.substr(0, kWorkedExample.rfind("\r\n") + 2));
    EXPECT_EQ(noVersion.size(), 664u);
    EXPECT_EQ(unRegScriptOf(noVersion).size(), 670u);

    // The older host: the other category, and the second box is not consulted.
    const std::string older = scripts::replaceAll(noVersion, "{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}",
                                                 "{E357129A-DB40-11D2-B783-0060B0F159EF}");
    EXPECT_EQ(fillRegTemplate(tmpl, example(false, true)), older);
    EXPECT_EQ(fillRegTemplate(tmpl, example(false, false)), older);
}

TEST(RegScript, SubstitutionInOnePassCaseSensitive)
{
    const std::string tmpl = "#Clsid|#MenuName|#Description|#clsid|#MENUNAME|#INVCLSID";
    // What is filled in is never read for placeholders again.
    EXPECT_EQ(fillRegTemplate(tmpl, {"C#MenuName", "M#Description#Clsid", "D#MenuName", false, false}),
              "C#MenuName|M#Description#Clsid|D#MenuName|#clsid|#MENUNAME|"
              "{E357129A-DB40-11D2-B783-0060B0F159EF}");
    EXPECT_EQ(fillRegTemplate("#Clsid #Clsid", {"#Clsid#Clsid", "", "", true, true}), "#Clsid#Clsid #Clsid#Clsid");
    EXPECT_EQ(fillRegTemplate("@=\"#MenuName\"\r\n#SUPTDVER", {"", "Menu #SUPTDVER", "", true, true}),
              "@=\"Menu #SUPTDVER\"\r\n\"SupportedSoftwareVersionGreaterThan\" = \"5.3.2\"");
    EXPECT_EQ(fillRegTemplate("@=\"#MenuName\"", {"", "", "", true, true}), "@=\"\"");
    EXPECT_EQ(scripts::replaceAll("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(scripts::replaceAll("abc", "", "x"), "abc");
}

TEST(RegScript, VersionPlaceholderInATemplateFile)
{
    const std::string tmpl = "A\r\n#SUPTDVER\r\nB\n#SUPTDVER\nC\r\n#SUPTDVER";
    // Removed: with its CR LF, and at the very end alone; a bare LF keeps it.
    EXPECT_EQ(fillRegTemplate(tmpl, {"", "", "", true, false}), "A\r\nB\n#SUPTDVER\nC\r\n");
    EXPECT_EQ(fillRegTemplate("x\r\n#SUPTDVER\r\n", {"", "", "", false, true}), "x\r\n");
    // Replaced: every one, the line breaks around it as they were.
    const std::string v = "\"SupportedSoftwareVersionGreaterThan\" = \"5.3.2\"";
    EXPECT_EQ(fillRegTemplate(tmpl, {"", "", "", true, true}), "A\r\n" + v + "\r\nB\n" + v + "\nC\r\n" + v);
}

TEST(RegScript, UnRegisterScriptAndFileName)
{
    EXPECT_EQ(unRegScriptOf("REGEDIT4\r\n[K]\r\n@=\"a[b\""), "REGEDIT4\r\n[-K]\r\n@=\"a[-b\"");
    EXPECT_EQ(unRegFileNameOf("C:\\AddIns\\Sample.reg"), "C:\\AddIns\\UnReg-Sample.reg");
    EXPECT_EQ(unRegFileNameOf("Sample.reg"), "UnReg-Sample.reg");
    EXPECT_EQ(unRegFileNameOf(""), "UnReg-");
    EXPECT_EQ(unRegFileNameOf("C:\\AddIns\\"), "C:\\AddIns\\UnReg-");
    // A forward slash separates folders too.
    EXPECT_EQ(unRegFileNameOf("C:\\a\\b/c.reg"), "C:\\a\\b/UnReg-c.reg");
    EXPECT_EQ(unRegFileNameOf("C:/p/x.reg"), "C:/p/UnReg-x.reg");
    EXPECT_EQ(unRegFileNameOf("C:/a\\b.reg"), "C:/a\\UnReg-b.reg");
}

// --- The window --------------------------------------------------------------

// The reg-file window's controls, in their tab order.
struct RegFileWindowUi {
    static HWND find() { return findTopLevel(GetCurrentProcessId(), "Write AddIn Reg File"); }
    explicit RegFileWindowUi(HWND window) : hwnd(window)
    {
        std::vector<HWND> c = childrenOf(window);
        EXPECT_EQ(c.size(), 17u);
        menu = c.at(0), description = c.at(1), regFileName = c.at(2), write = c.at(3), quit = c.at(4);
        clsid = c.at(5), server = c.at(11), r6 = c.at(13), r6Only = c.at(14), unRegFile = c.at(15);
        unRegFileLabel = c.at(16);
    }
    void setText(HWND edit, const std::string& text) const
    {
        SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void click(HWND control) const { SendMessageA(control, BM_CLICK, 0, 0); }
    HWND hwnd, menu, description, regFileName, write, quit, clsid, server, r6, r6Only, unRegFile, unRegFileLabel;
};

std::vector<FakeClass> handOffClasses()
{
    return {
        {"AddInRegWT.Alpha", "{B2B2B2B2-0000-4000-8000-000000000001}", "C:\\Program Files\\WT Add-Ins\\wtAlpha.dll",
         ""},
        {"AddInRegWT.NoServer", "{B2B2B2B2-0000-4000-8000-000000000002}", "", ""},
        {"AddInRegWT.Five", "{B2B2B2B2-0000-4000-8000-000000000003}", "C:\\ab", ""},
        {"AddInRegWT.Four", "{B2B2B2B2-0000-4000-8000-000000000004}", "C:\\a", ""},
        {"AddInRegWT.OneChar", "X", "", ""},
    };
}

class WriterWindowTest : public ::testing::Test {
protected:
    UtilityRecorder utilities; // also the current directory, without a template file
    ScopedClasses classes{handOffClasses()};
    std::function<void()> duringQuestion; // runs while "Add to Registry?" shows
    MessageBoxAnswerer answerer{[this](const SeenMessageBox& box) {
        if (box.title != "Add to Registry") return IDOK;
        if (duringQuestion) duringQuestion();
        return addAnswer;
    }};
    int addAnswer = IDYES;
    ReadRegistry mainWindow;
    HWND list = nullptr, writeRegFile = nullptr;

    void SetUp() override
    {
        mainWindow.show();
        std::vector<HWND> c = childrenOf(mainWindow.hwnd());
        list = c.at(0);
        writeRegFile = c.at(2);
    }
    void select(const std::string& progId)
    {
        int row = int(SendMessageA(list, LB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(progId.c_str())));
        ASSERT_GE(row, 0) << progId;
        clickListRow(list, row);
        pumpMessages(100);
    }
    RegFileWindowUi openRegFileWindow()
    {
        SendMessageA(writeRegFile, BM_CLICK, 0, 0);
        HWND window = waitFor(RegFileWindowUi::find, 10000);
        EXPECT_TRUE(window && IsWindowVisible(window));
        return RegFileWindowUi(window);
    }
    std::vector<std::string> messages() const
    {
        std::vector<std::string> texts;
        for (const SeenMessageBox& box : answerer.seen()) texts.push_back(box.text);
        return texts;
    }
};

TEST_F(WriterWindowTest, HandOffFillsTheFieldsOrTheirPlaceholders)
{
    // Before any lookup.
    RegFileWindowUi ui = openRegFileWindow();
    EXPECT_EQ(windowText(ui.clsid), "{xxx-xxx}");
    EXPECT_EQ(windowText(ui.server), "NoServer");
    EXPECT_EQ(windowText(ui.regFileName), "default.reg");
    EXPECT_EQ(windowText(ui.unRegFileLabel), "UnReg-default.reg");
    EXPECT_EQ(windowText(ui.menu), "myAddInName");
    EXPECT_EQ(windowText(ui.description), "This AddIn creates Geometry");
    EXPECT_TRUE(isChecked(ui.r6) && isChecked(ui.r6Only) && isChecked(ui.unRegFile));
    EXPECT_EQ(GetFocus(), ui.menu);

    // The creation of the window's instance loaded the template: no file here.
    ASSERT_EQ(answerer.seen().size(), 1u);
    SeenMessageBox box = answerer.seen().front();
    EXPECT_EQ(box.text, "Not Found or Empty file: " + utilities.folder() + "AddInTemplate.Reg\r\nusing built in default");
    EXPECT_EQ(box.title, "AddInReg");
    EXPECT_TRUE(box.hasIcon);

    // A hand-off into the open window refills the three fields and keeps the rest.
    ui.setText(ui.menu, "Kept menu");
    ui.setText(ui.description, "Kept description");
    ui.click(ui.r6Only);
    select("AddInRegWT.Alpha");
    RegFileWindowUi again = openRegFileWindow();
    EXPECT_EQ(again.hwnd, ui.hwnd);
    EXPECT_EQ(windowText(ui.clsid), "{B2B2B2B2-0000-4000-8000-000000000001}");
    EXPECT_EQ(windowText(ui.server), "C:\\Program Files\\WT Add-Ins\\wtAlpha.dll");
    EXPECT_EQ(windowText(ui.regFileName), "C:\\Program Files\\WT Add-Ins\\wtAlpha.reg");
    EXPECT_EQ(windowText(ui.unRegFileLabel), "C:\\Program Files\\WT Add-Ins\\UnReg-wtAlpha.reg");
    EXPECT_EQ(windowText(ui.menu), "Kept menu");
    EXPECT_EQ(windowText(ui.description), "Kept description");
    EXPECT_FALSE(isChecked(ui.r6Only));

    // A class without server; a path of five characters, one of four; a one-character CLSID.
    select("AddInRegWT.NoServer");
    openRegFileWindow();
    EXPECT_EQ(windowText(ui.clsid), "{B2B2B2B2-0000-4000-8000-000000000002}");
    EXPECT_EQ(windowText(ui.server), "NoServer");
    EXPECT_EQ(windowText(ui.regFileName), "default.reg");
    select("AddInRegWT.Five");
    openRegFileWindow();
    EXPECT_EQ(windowText(ui.server), "C:\\ab");
    EXPECT_EQ(windowText(ui.regFileName), "C:reg");
    EXPECT_EQ(windowText(ui.unRegFileLabel), "UnReg-C:reg");
    select("AddInRegWT.Four");
    openRegFileWindow();
    EXPECT_EQ(windowText(ui.server), "NoServer");
    select("AddInRegWT.OneChar");
    openRegFileWindow();
    EXPECT_EQ(windowText(ui.clsid), "{xxx-xxx}");

    // "Quit" closes the window; opening it again shows the initial values and no template message.
    ui.click(ui.quit);
    EXPECT_FALSE(IsWindow(ui.hwnd));
    EXPECT_TRUE(IsWindowVisible(mainWindow.hwnd()));
    select("AddInRegWT.Alpha");
    RegFileWindowUi reopened = openRegFileWindow();
    EXPECT_EQ(windowText(reopened.menu), "myAddInName");
    EXPECT_EQ(windowText(reopened.description), "This AddIn creates Geometry");
    EXPECT_TRUE(isChecked(reopened.r6) && isChecked(reopened.r6Only) && isChecked(reopened.unRegFile));
    EXPECT_EQ(windowText(reopened.unRegFileLabel), "C:\\Program Files\\WT Add-Ins\\UnReg-wtAlpha.reg");
    EXPECT_EQ(answerer.seen().size(), 1u);
}

TEST_F(WriterWindowTest, UnRegisterNameFollowsTheFileNameWhileTheBoxIsChecked)
{
    RegFileWindowUi ui = openRegFileWindow();
    ui.setText(ui.regFileName, "");
    typeText(ui.regFileName, "D:\\x\\a");
    pumpMessages(200);
    EXPECT_EQ(windowText(ui.unRegFileLabel), "D:\\x\\UnReg-a");

    // Unchecked: the last name stays, edits do not reach it.
    ui.click(ui.unRegFile);
    EXPECT_EQ(windowText(ui.unRegFileLabel), "D:\\x\\UnReg-a");
    ui.setText(ui.regFileName, "D:\\y\\b.reg");
    EXPECT_EQ(windowText(ui.unRegFileLabel), "D:\\x\\UnReg-a");
    // Checked again: derived from the current name at once.
    ui.click(ui.unRegFile);
    EXPECT_EQ(windowText(ui.unRegFileLabel), "D:\\y\\UnReg-b.reg");
}

TEST_F(WriterWindowTest, WriteMakesBothScriptsStartsBothUtilitiesAndCloses)
{
    select("AddInRegWT.Alpha");
    RegFileWindowUi ui = openRegFileWindow();
    const std::string regFile = utilities.folder() + "out file.reg";
    const std::string unRegFile = utilities.folder() + "UnReg-out file.reg";
    writeFileBytes(regFile, "REGEDIT4\r\n" + std::string(2000, 'o')); // an older, longer script
    ui.setText(ui.regFileName, regFile);
    SetWindowTextA(ui.clsid, kZeroClsid);
    answerer.forget();

    ui.click(ui.write);
    EXPECT_EQ(readFile(regFile), kWorkedExample);
    EXPECT_EQ(readFile(unRegFile), kWorkedUnReg);
    ASSERT_EQ(answerer.seen().size(), 1u);
    SeenMessageBox ask = answerer.seen().front();
    EXPECT_EQ(ask.text, "Add to Registry?");
    EXPECT_EQ(ask.title, "Add to Registry");
    EXPECT_EQ(ask.buttons, (std::vector<std::string>{"&Yes", "&No"}));
    EXPECT_FALSE(ask.hasIcon);
    std::vector<std::string> starts = utilities.starts();
    std::sort(starts.begin(), starts.end());
    EXPECT_EQ(starts, (std::vector<std::string>{
                          "regedit.exe /s \"" + regFile + "\"|2",
                          "regsvr32.exe /s \"C:\\Program Files\\WT Add-Ins\\wtAlpha.dll\"|4",
                      }));
    EXPECT_FALSE(IsWindow(ui.hwnd));

    // No: nothing starts, but the un-register script is written and the window closes.
    addAnswer = IDNO;
    ui = openRegFileWindow();
    ui.setText(ui.regFileName, utilities.folder() + "second.reg");
    ui.click(ui.r6);
    ui.click(ui.write);
    EXPECT_FALSE(IsWindow(ui.hwnd));
    EXPECT_EQ(utilities.starts().size(), 2u);
    EXPECT_TRUE(pathExists(utilities.folder() + "UnReg-second.reg"));
    EXPECT_NE(readFile(utilities.folder() + "second.reg").find("{E357129A-DB40-11D2-B783-0060B0F159EF}"),
              std::string::npos);

    // Without the un-register box, no un-register script.
    ui = openRegFileWindow();
    ui.setText(ui.regFileName, utilities.folder() + "third.reg");
    ui.click(ui.unRegFile);
    ui.click(ui.write);
    EXPECT_TRUE(pathExists(utilities.folder() + "third.reg"));
    EXPECT_FALSE(pathExists(utilities.folder() + "UnReg-third.reg"));
}

TEST_F(WriterWindowTest, EachUtilityThatCannotStartIsReportedAlone)
{
    select("AddInRegWT.Alpha");
    for (const char* missing : {"regsvr32.exe", "regedit.exe"}) {
        UtilityRecorder fresh; // a fresh folder, made the current directory
        fresh.makeUnstartable(missing);
        RegFileWindowUi ui = openRegFileWindow();
        ui.setText(ui.regFileName, fresh.folder() + "x.reg");
        answerer.forget();
        ui.click(ui.write);
        std::string other = std::string(missing) == "regsvr32.exe" ? "regedit.exe" : "regsvr32.exe";
        std::string name = std::string(missing).substr(0, std::string(missing).find('.'));
        EXPECT_EQ(messages(), (std::vector<std::string>{"Add to Registry?", name + " failed to execute"}));
        std::vector<std::string> starts = fresh.starts();
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0].rfind(other, 0), 0u) << starts[0];
        EXPECT_FALSE(IsWindow(ui.hwnd));
    }
}

TEST_F(WriterWindowTest, AFailedOpenEndsWriteAndKeepsTheWindowAndTheOldFile)
{
    select("AddInRegWT.Alpha");
    RegFileWindowUi ui = openRegFileWindow();
    answerer.forget();

    // No file name at all.
    ui.setText(ui.regFileName, "");
    ui.click(ui.write);
    EXPECT_EQ(messages(), std::vector<std::string>{"Failed to open: "});
    EXPECT_TRUE(IsWindowVisible(ui.hwnd));

    // A folder that does not exist, and a name with wildcards: nothing else happens.
    const std::string kept = utilities.folder() + "keep1.reg";
    writeFileBytes(kept, "old content");
    for (std::string bad : {utilities.folder() + "no folder\\x.reg", utilities.folder() + "keep?.reg",
                            utilities.folder() + "keep*.reg"}) {
        answerer.forget();
        ui.setText(ui.regFileName, bad);
        ui.click(ui.write);
        EXPECT_EQ(messages(), std::vector<std::string>{"Failed to open: " + bad});
    }
    EXPECT_EQ(readFile(kept), "old content");
    EXPECT_TRUE(utilities.starts().empty());

    // The un-register script cannot be written: the register script stays
    // written, the window open, and the run can be repeated with new values.
    const std::string regFile = utilities.folder() + "good.reg";
    CreateDirectoryA((utilities.folder() + "UnReg-good.reg").c_str(), nullptr);
    answerer.forget();
    addAnswer = IDNO;
    ui.setText(ui.regFileName, regFile);
    ui.click(ui.write);
    EXPECT_EQ(messages(), (std::vector<std::string>{"Add to Registry?", "Failed to open: " + utilities.folder() +
                                                                             "UnReg-good.reg"}));
    EXPECT_NE(readFile(regFile).find("@=\"myAddInName\""), std::string::npos);
    EXPECT_TRUE(IsWindowVisible(ui.hwnd));
    RemoveDirectoryA((utilities.folder() + "UnReg-good.reg").c_str());

    ui.setText(ui.menu, "Second try");
    ui.click(ui.write);
    EXPECT_NE(readFile(regFile).find("@=\"Second try\""), std::string::npos);
    EXPECT_FALSE(IsWindow(ui.hwnd));
}

TEST_F(WriterWindowTest, WriteNeverReplacesAFileItWouldLose)
{
    select("AddInRegWT.Alpha");
    RegFileWindowUi ui = openRegFileWindow();
    addAnswer = IDNO;
    const std::string dir = utilities.folder();
    const std::string old = "REGEDIT4\r\nold";
    writeFileBytes(dir + "ro.reg", old);
    SetFileAttributesA((dir + "ro.reg").c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string dll = std::string("MZ\x90\0\3\0\0\0", 8) + std::string(300, 'x');
    writeFileBytes(dir + "server.dll", dll);
    struct Refusal {
        std::string path, reason;
    };
    for (const Refusal& r : {Refusal{dir + "ro.reg", "The file is read-only and was left unchanged."},
                             Refusal{dir + "server.dll", "The file is not a registry script and was left unchanged."}}) {
        answerer.forget();
        ui.setText(ui.regFileName, r.path);
        ui.click(ui.write);
        EXPECT_EQ(messages(), std::vector<std::string>{"Failed to open: " + r.path + "\r\n" + r.reason});
        EXPECT_TRUE(IsWindowVisible(ui.hwnd));
    }
    EXPECT_EQ(readFile(dir + "ro.reg"), old);
    EXPECT_EQ(readFile(dir + "server.dll"), dll);
    EXPECT_FALSE(pathExists(dir + "UnReg-server.dll"));

    // A read-only un-register script: the register script is written, the
    // un-register one is kept.
    writeFileBytes(dir + "UnReg-pair.reg", old);
    SetFileAttributesA((dir + "UnReg-pair.reg").c_str(), FILE_ATTRIBUTE_READONLY);
    answerer.forget();
    ui.setText(ui.regFileName, dir + "pair.reg");
    ui.click(ui.write);
    EXPECT_EQ(messages(), (std::vector<std::string>{"Add to Registry?", "Failed to open: " + dir + "UnReg-pair.reg\r\n" +
                                                                            "The file is read-only and was left unchanged."}));
    EXPECT_EQ(readFile(dir + "UnReg-pair.reg"), old);
    EXPECT_NE(readFile(dir + "pair.reg").find("REGEDIT4"), std::string::npos);

    // An empty file and a UTF-16 script may be replaced.
    const std::string utf16 = std::string("\xFF\xFER\0E\0G\0E\0D\0I\0T\0" "4\0", 18);
    writeFileBytes(dir + "empty.reg", "");
    writeFileBytes(dir + "UnReg-empty.reg", utf16);
    ui.setText(ui.regFileName, dir + "empty.reg");
    ui.click(ui.write);
    EXPECT_FALSE(IsWindow(ui.hwnd));
    EXPECT_EQ(readFile(dir + "empty.reg").substr(0, 8), "REGEDIT4");
    EXPECT_EQ(readFile(dir + "UnReg-empty.reg").substr(0, 8), "REGEDIT4");

    for (const char* name : {"ro.reg", "UnReg-pair.reg"}) SetFileAttributesA((dir + name).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WriterWindowTest, TheQuestionHoldsEveryWindowAndWriteKeepsWhatItRead)
{
    select("AddInRegWT.Alpha");
    RegFileWindowUi ui = openRegFileWindow();
    const std::string regFile = utilities.folder() + "a.reg";
    const std::string other = utilities.folder() + "other\\";
    CreateDirectoryA(other.c_str(), nullptr);
    writeFileBytes(other + "UnReg-b.reg", "REGEDIT4\r\nkeep");
    ui.setText(ui.regFileName, regFile);
    bool mainEnabled = true, writerEnabled = true;
    duringQuestion = [&] {
        mainEnabled = IsWindowEnabled(mainWindow.hwnd());
        writerEnabled = IsWindowEnabled(ui.hwnd);
        // What another hand-off would put into the fields while the question shows.
        SendMessageA(ui.server, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("C:\\b\\b.dll"));
        ui.setText(ui.regFileName, other + "b.reg");
    };
    ui.click(ui.write);
    EXPECT_FALSE(mainEnabled);
    EXPECT_FALSE(writerEnabled);
    EXPECT_TRUE(IsWindowEnabled(mainWindow.hwnd()));
    std::vector<std::string> starts = utilities.starts();
    std::sort(starts.begin(), starts.end());
    EXPECT_EQ(starts, (std::vector<std::string>{
                          "regedit.exe /s \"" + regFile + "\"|2",
                          "regsvr32.exe /s \"C:\\Program Files\\WT Add-Ins\\wtAlpha.dll\"|4",
                      }));
    EXPECT_TRUE(pathExists(utilities.folder() + "UnReg-a.reg"));
    EXPECT_EQ(readFile(other + "UnReg-b.reg"), "REGEDIT4\r\nkeep");
    // Both utilities come from the system folders, whatever lies here.
    char system[MAX_PATH], windows[MAX_PATH];
    std::vector<std::string> apps = utilities.applications();
    std::sort(apps.begin(), apps.end());
    std::vector<std::string> expected = {
        std::string(system, GetSystemDirectoryA(system, MAX_PATH)) + "\\regsvr32.exe",
        std::string(windows, GetWindowsDirectoryA(windows, MAX_PATH)) + "\\regedit.exe"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(apps, expected);
}

TEST_F(WriterWindowTest, AMultiStringServerAndForwardSlashesLoseNoFile)
{
    const std::string dir = utilities.folder();
    const std::string dll = dir + "multi.dll";
    writeFileBytes(dll, "MZ the server");
    const std::string clsid = "{B2B2B2B2-0000-4000-8000-00000000000F}";
    const ScopedClasses multi{{{"AddInRegWT.Multi", clsid, dll + std::string("\0second.dll\0", 12), "", REG_MULTI_SZ}}};
    mainWindow.findDescrForInProcServer("AddInRegWT.Multi");
    RegFileWindowUi ui = openRegFileWindow();
    EXPECT_EQ(windowText(ui.server), dll);
    EXPECT_EQ(windowText(ui.regFileName), dir + "multi.reg");
    addAnswer = IDNO;
    ui.click(ui.write);
    EXPECT_EQ(readFile(dll), "MZ the server");
    EXPECT_TRUE(pathExists(dir + "multi.reg"));

    // "/" separates folders: the un-register script goes beside the script.
    std::string slashed = dir;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    ui = openRegFileWindow();
    ui.setText(ui.regFileName, slashed + "fs.reg");
    EXPECT_EQ(windowText(ui.unRegFileLabel), slashed + "UnReg-fs.reg");
    ui.click(ui.write);
    EXPECT_FALSE(IsWindow(ui.hwnd));
    EXPECT_TRUE(pathExists(dir + "UnReg-fs.reg"));
}

TEST_F(WriterWindowTest, FieldsGoIntoTheScriptAsAnsiText)
{
    RegFileWindowUi ui = openRegFileWindow();
    addAnswer = IDNO;
    const std::string regFile = utilities.folder() + "ansi \xE9.reg";
    ui.setText(ui.regFileName, regFile);
    ui.setText(ui.menu, "Caf\xE9 [Pro] \"Best\" C:\\x");
    ui.setText(ui.description, "");
    ui.click(ui.write);
    const std::string script = readFile(regFile);
    // Quotes and backslashes are escaped as string data, or regedit skips the line.
    EXPECT_NE(script.find("@=\"Caf\xE9 [Pro] \\\"Best\\\" C:\\\\x\"\r\n"), std::string::npos);
    EXPECT_NE(script.find("\\Description] \r\n@=\"\"\r\n"), std::string::npos);
    EXPECT_NE(readFile(utilities.folder() + "UnReg-ansi \xE9.reg").find("@=\"Caf\xE9 [-Pro] "), std::string::npos);
    // The window's ANSI name is the name on disk.
    const std::wstring unRegName = wideOf(platform::ansiToUtf8(utilities.folder())) + L"UnReg-ansi \u00E9.reg";
    EXPECT_NE(GetFileAttributesW(unRegName.c_str()), INVALID_FILE_ATTRIBUTES);
}

// --- The template load ---------------------------------------------------------

class TemplateLoadTest : public ::testing::Test {
protected:
    UtilityRecorder folder;
    std::string path = folder.folder() + "AddInTemplate.Reg";
    MessageBoxAnswerer answerer{[](const SeenMessageBox& box) { return box.title == "Add to Registry" ? IDNO : IDOK; }};

    // Closing the last window of the thread asks it to quit; a later message
    // box would take that request as its own.
    void SetUp() override { pumpMessages(10); }

    // What the template load said.
    std::vector<std::string> messages() const
    {
        std::vector<std::string> texts;
        for (const SeenMessageBox& box : answerer.seen())
            if (box.title != "Add to Registry") texts.push_back(box.text);
        return texts;
    }
    // A Write that runs to completion reloads the template.
    static void writeOnce(WriteRegistry& window, const std::string& regFile)
    {
        pumpMessages(10);
        window.openFor("{C}", "NoServer", regFile);
        RegFileWindowUi ui(window.hwnd());
        ui.click(ui.unRegFile);
        ui.click(ui.write);
    }
};

TEST_F(TemplateLoadTest, TheFileIsUsedByteForByteAndReadAgainAfterEachWrite)
{
    writeFileBytes(path, "REGEDIT4\r\nfirst #Clsid\n");
    WriteRegistry window;
    EXPECT_EQ(window.loadedTemplate(), "REGEDIT4\r\nfirst #Clsid\n");
    EXPECT_TRUE(messages().empty());

    writeFileBytes(path, "REGEDIT4\r\nsecond #Clsid\r\n");
    const std::string regFile = folder.folder() + "t.reg";
    writeOnce(window, regFile);
    EXPECT_EQ(readFile(regFile), "REGEDIT4\r\nfirst {C}\n");
    EXPECT_EQ(window.loadedTemplate(), "REGEDIT4\r\nsecond #Clsid\r\n");
    // Its own script is one the next Write replaces.
    writeOnce(window, regFile);
    EXPECT_EQ(readFile(regFile), "REGEDIT4\r\nsecond {C}\r\n");

    // The template in use is never written over.
    writeFileBytes(path, "REGEDIT4\r\n#Clsid");
    writeOnce(window, regFile); // loads it
    answerer.forget();
    writeOnce(window, path);
    EXPECT_EQ(messages(), std::vector<std::string>{"Failed to open: " + path + "\r\n" +
                                                   "The file is the template in use and was left unchanged."});
    EXPECT_EQ(readFile(path), "REGEDIT4\r\n#Clsid");
    window.close();
}

TEST_F(TemplateLoadTest, MissingOrEmptyFileWarnsOnceAndSilencesTheOpenWarning)
{
    const std::string missing = "Not Found or Empty file: " + path + "\r\nusing built in default";
    const std::string unopenable = "Failed to open: " + path + "\r\nusing build in default";

    writeFileBytes(path, "");
    WriteRegistry window;
    EXPECT_EQ(window.loadedTemplate(), WriteRegistry::buildInRegTemplate());
    ASSERT_TRUE(waitUntil([&] { return messages().size() == 1; }));
    EXPECT_EQ(messages(), std::vector<std::string>{missing});
    EXPECT_TRUE(answerer.seen().front().hasIcon);

    DeleteFileA(path.c_str());
    writeOnce(window, folder.folder() + "t.reg");
    // A file that cannot be opened now says nothing either.
    writeFileBytes(path, "locked");
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    writeOnce(window, folder.folder() + "t.reg");
    CloseHandle(lock);
    EXPECT_EQ(messages(), std::vector<std::string>{missing});
    EXPECT_EQ(window.loadedTemplate(), WriteRegistry::buildInRegTemplate());
}

TEST_F(TemplateLoadTest, UnopenableFileWarnsAtEveryLoadUntilOneIsMissing)
{
    const std::string unopenable = "Failed to open: " + path + "\r\nusing build in default";
    writeFileBytes(path, "locked");
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    WriteRegistry window;
    EXPECT_EQ(window.loadedTemplate(), WriteRegistry::buildInRegTemplate());
    writeOnce(window, folder.folder() + "t.reg");
    EXPECT_EQ(messages(), (std::vector<std::string>{unopenable, unopenable}));
    CloseHandle(lock);

    DeleteFileA(path.c_str());
    writeOnce(window, folder.folder() + "t.reg");
    writeFileBytes(path, "locked");
    lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    writeOnce(window, folder.folder() + "t.reg");
    CloseHandle(lock);
    EXPECT_EQ(messages().size(), 3u);
    EXPECT_EQ(messages().back(), "Not Found or Empty file: " + path + "\r\nusing built in default");
}

TEST_F(TemplateLoadTest, ATemplateThatIsNotAnAnsiScriptIsRefusedAndTheBuiltInOneUsed)
{
    struct Case {
        std::string bytes, says;
    } cases[] = {
        {utf16Le("REGEDIT4\r\n[HKEY_CLASSES_ROOT\\CLSID\\#Clsid]\r\n"), "It is UTF-16 text"},
        {"\xEF\xBB\xBFREGEDIT4\r\n", "It is UTF-8 text with a byte-order mark"},
        {std::string("MZ\x90\0\3\0\0\0#Clsid", 14), "It does not begin with REGEDIT4"},
        {std::string("REGEDIT4\r\n\0\x01#Clsid", 18), "It holds NUL bytes"},
    };
    for (const Case& c : cases) {
        writeFileBytes(path, c.bytes);
        pumpMessages(10); // the last window's request to quit
        answerer.forget();
        WriteRegistry window;
        EXPECT_EQ(window.loadedTemplate(), WriteRegistry::buildInRegTemplate());
        const std::vector<std::string> said = messages();
        ASSERT_EQ(said.size(), 1u) << c.says;
        EXPECT_EQ(said[0].rfind("Not an ANSI registry script: " + path + "\r\n" + c.says, 0), 0u) << said[0];
        EXPECT_EQ(said[0].substr(said[0].size() - 24), "\r\nusing built in default");
        // What is written is the built-in template filled in, a valid script.
        const std::string regFile = folder.folder() + "t.reg";
        writeOnce(window, regFile);
        EXPECT_EQ(readFile(regFile).rfind("REGEDIT4\r\n[HKEY_CLASSES_ROOT\\CLSID\\{C}] \r\n", 0), 0u);
        EXPECT_EQ(readFile(path), c.bytes);
    }
}

// --- The file layer ------------------------------------------------------------

// Folders and names made through the wide calls at any length, apart from the
// program's file layer.
std::wstring verbatim(const std::string& utf8Path) { return L"\\\\?\\" + wideOf(utf8Path); }

std::string bytesAt(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(1 << 16, '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes.substr(0, read);
}

void putBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

const std::string kLodz = "\xC5\x81\xC3\xB3" "d\xC5\xBA"; // "Łódź" in UTF-8: outside the code page

class FileLayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        removeTree(root);
        ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    }
    void TearDown() override { removeTree(root); }
    platform::WriteReport write(const std::string& path) { return platform::writeScriptFile(path, kScript, ""); }

    const std::string dir = buildFolder() + "file layer"; // ASCII: the same in UTF-8
    const std::wstring root = verbatim(dir);
    const std::string kScript = "REGEDIT4\r\n[HKEY_CLASSES_ROOT\\CLSID\\{C}]\r\n";
};

TEST_F(FileLayerTest, PathsPastTwoHundredSixtyWorkAndPastTheSystemsLimitTheReasonIsTrue)
{
    // Every folder length around the old limit, where a write crashed or
    // gave a false reason, and a path four times as long.
    std::vector<std::string> folders;
    for (size_t length = 245; length <= 270; ++length) folders.push_back(dir + "\\" + std::string(length - dir.size() - 1, 'f'));
    folders.push_back(dir + "\\" + std::string(250, 'a') + "\\" + std::string(250, 'b') + "\\" + std::string(250, 'c'));
    for (const std::string& folder : folders) {
        std::string made;
        for (size_t at = folder.find('\\', dir.size()); at != std::string::npos; at = folder.find('\\', at + 1))
            CreateDirectoryW(verbatim(folder.substr(0, at)).c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryW(verbatim(folder).c_str(), nullptr)) << folder.size();
        for (int round = 0; round < 2; ++round) { // made, then replaced
            const platform::WriteReport report = write(folder + "\\AddIn.reg");
            EXPECT_TRUE(report.written()) << folder.size() << ": " << platform::reasonSentence(report);
        }
        EXPECT_EQ(namesIn(verbatim(folder)), std::vector<std::wstring>{L"AddIn.reg"}) << folder.size();
        EXPECT_EQ(bytesAt(verbatim(folder + "\\AddIn.reg")), kScript);
    }

    // Past what the system allows: a name of 256 characters, a path of 33,000.
    std::string huge = dir;
    while (huge.size() < 33000) huge += "\\" + std::string(200, 'h');
    for (const std::string& tooLong : {dir + "\\" + std::string(252, 'n') + ".reg", huge + "\\x.reg"}) {
        const platform::WriteReport report = write(tooLong);
        EXPECT_EQ(report.result, platform::WriteResult::OpenFailed);
        EXPECT_EQ(platform::reasonSentence(report).rfind("Its path is longer than the system allows", 0), 0u)
            << platform::reasonSentence(report);
    }
    // A long folder that is not there is said to be missing: it is.
    EXPECT_EQ(platform::reasonSentence(write(dir + "\\" + std::string(240, 'm') + "\\x.reg")), "Its folder does not exist.");
    EXPECT_EQ(namesIn(root).size(), folders.size()); // the folders made, no file, no temp
}

TEST_F(FileLayerTest, EachRefusalByTheSystemNamesItsTrueReason)
{
    ASSERT_TRUE(CreateDirectoryW((root + L"\\a folder.reg").c_str(), nullptr));
    putBytes(root + L"\\held.reg", "REGEDIT4\r\nheld");
    putBytes(root + L"\\shared.reg", "REGEDIT4\r\nshared");
    HANDLE held = CreateFileW((root + L"\\held.reg").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    // As an editor holds a file: others may read it, not replace it.
    HANDLE shared = CreateFileW((root + L"\\shared.reg").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    struct Case {
        std::string path, reason;
    } cases[] = {
        {"", "No file name was given."},
        {dir + "\\a folder.reg", "It is a folder."},
        {dir + "\\no folder\\x.reg", "Its folder does not exist."},
        {dir + "\\held.reg", "Another program holds it open."},
        {dir + "\\shared.reg", "Another program holds it open."},
        {dir + "\\wild*.reg", "Its name holds characters a file name cannot hold."},
    };
    for (const Case& c : cases) {
        const platform::WriteReport report = write(c.path);
        EXPECT_EQ(report.result, platform::WriteResult::OpenFailed) << c.path;
        EXPECT_EQ(platform::reasonSentence(report), c.reason) << c.path;
    }
    CloseHandle(held);
    CloseHandle(shared);
    EXPECT_EQ(bytesAt(root + L"\\held.reg"), "REGEDIT4\r\nheld");
    EXPECT_EQ(bytesAt(root + L"\\shared.reg"), "REGEDIT4\r\nshared");
    EXPECT_EQ(namesIn(root), (std::vector<std::wstring>{L"a folder.reg", L"held.reg", L"shared.reg"}));
}

TEST_F(FileLayerTest, NamesOutsideTheCodePageAreTheNamesGiven)
{
    putBytes(root + L"\\Lodz.reg", "REGEDIT4\r\nanother add-in");
    putBytes(root + L"\\L\u00F3dz.reg", "REGEDIT4\r\nanother add-in");
    ASSERT_TRUE(write(dir + "\\" + kLodz + ".reg").written());
    EXPECT_EQ(bytesAt(root + L"\\\u0141\u00F3d\u017A.reg"), kScript);
    EXPECT_EQ(bytesAt(root + L"\\Lodz.reg"), "REGEDIT4\r\nanother add-in");
    EXPECT_EQ(bytesAt(root + L"\\L\u00F3dz.reg"), "REGEDIT4\r\nanother add-in");
    EXPECT_EQ(namesIn(root).size(), 3u);

    // The template and the same-file test take the same names.
    const std::string tmpl = dir + "\\" + kLodz + " template.reg";
    putBytes(verbatim(tmpl), "REGEDIT4\r\n#Clsid");
    const platform::TemplateLoad load = platform::loadTemplate(tmpl);
    EXPECT_EQ(load.source, platform::TemplateLoad::Source::File);
    EXPECT_EQ(load.text, "REGEDIT4\r\n#Clsid");
    EXPECT_EQ(platform::writeScriptFile(tmpl, kScript, tmpl).result, platform::WriteResult::IsTemplate);
    // Bytes that are not UTF-8 name no file at all, not a look-alike.
    EXPECT_EQ(write(dir + "\\L\xF3" "dz.reg").result, platform::WriteResult::OpenFailed);
    EXPECT_EQ(bytesAt(root + L"\\L\u00F3dz.reg"), "REGEDIT4\r\nanother add-in");
}

TEST_F(FileLayerTest, OneFileInAnySpelling)
{
    // The case of letters beyond ASCII by the system's rule: "łÓDŹ" is "Łódź".
    EXPECT_TRUE(platform::namesSameFile(dir + "\\" + kLodz + ".reg", dir + "/\xC5\x82\xC3\x93" "D\xC5\xB9.REG"));
    EXPECT_FALSE(platform::namesSameFile(dir + "\\same.reg", dir + "\\same.reg2"));
    // Another name of the file, a hard link, is the file.
    putBytes(root + L"\\linked.reg", "REGEDIT4");
    ASSERT_TRUE(CreateHardLinkW((root + L"\\link.reg").c_str(), (root + L"\\linked.reg").c_str(), nullptr));
    EXPECT_TRUE(platform::namesSameFile(dir + "\\link.reg", dir + "\\linked.reg"));
}

TEST_F(FileLayerTest, AWriteRemovesOnlyItsOwnLeftovers)
{
    // Left by a run that stopped with the machine, and a run still writing.
    const std::wstring stale = L"~AddInReg-0000ABCD-00000001.tmp";
    const std::wstring live = L"~AddInReg-0000ABCD-00000002.tmp";
    const std::vector<std::wstring> others = {L"arg1A2B.tmp", L"~AddInReg-0000ABCD-00000001.tmp.txt",
                                              L"~AddInReg-notes.tmp", L"~AddInReg-0000abcd-00000003.tmp"};
    for (const std::wstring& name : others) putBytes(root + L"\\" + name, "not this program's");
    putBytes(root + L"\\" + stale, "REGEDIT4\r\nhalf");
    putBytes(root + L"\\" + live, "REGEDIT4\r\nhalf");
    HANDLE writing = CreateFileW((root + L"\\" + live).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(write(dir + "\\x.reg").written());
    CloseHandle(writing);
    std::vector<std::wstring> expected = others;
    expected.push_back(live);
    expected.push_back(L"x.reg");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(root), expected);
}

} // namespace
