// The main window of the real AddInReg.exe, driven from outside as a person
// would: it lists the ProgIDs of HKEY_CLASSES_ROOT, shows the class and server
// of the row picked with the mouse or the arrow keys, searches the rows for a
// DLL, and ends with "Quit".
//
// One program start serves the whole suite (a Wine start costs seconds). Each
// test first brings the window into the state it needs by clicking and
// typing; only "Quit" must come last.
#include "TestFiles.h"
#include "TestRegistry.h"
#include "ThirtyTwoBit.h"
#include "Ui.h"
#include "platform/Ansi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

const char kCaption[] = "Registry Functions Demo";
const char kTitle[] = "AddInReg";
const char kNotFound[] = "DLL not found\r\nSelect top of list to restart search";
const char kEnterValue[] = "Enter a value in 'Search for DLL' first";
const int kWaitMs = 30000;

// The main window's controls, in tab order.
enum Child { List, Description, WriteRegFile, Quit, Version, FindDll, DllName, SearchLabel, Unregister, ChildCount };

// ProgIDs of this test. Their sorted order ignores letter case: the
// lower-case "addinrege2e.beta.1" sorts between Alpha and Bravo.
const char kAlpha[] = "AddInRegE2E.Alpha.1";
const char kBeta[] = "addinrege2e.beta.1";
const char kBravo[] = "AddInRegE2E.Bravo.1";
const char kCharlie[] = "AddInRegE2E.Charlie.1"; // a local server only
const char kDelta[] = "AddInRegE2E.Delta.1";     // no CLSID
const char kEcho[] = "AddInRegE2E.Echo.1";       // a class without servers
const char kExtension[] = ".addinrege2e";        // a file extension: never listed
// Outside the code page (UTF-8): its row shows the nearest the code page has.
const char kOmega[] = "AddInRegE2E.\xCE\xA9mega.1";

const char kAlphaClsid[] = "{E2E0A11C-0000-4000-8000-00000000A001}";
const char kBetaClsid[] = "{E2E0A11C-0000-4000-8000-00000000B002}";
const char kBravoClsid[] = "{E2E0A11C-0000-4000-8000-00000000B003}";
const char kCharlieClsid[] = "{E2E0A11C-0000-4000-8000-00000000C004}";
const char kEchoClsid[] = "{E2E0A11C-0000-4000-8000-00000000E005}";
const char kExtensionClsid[] = "{E2E0A11C-0000-4000-8000-00000000F006}";
// The sample server's class, registered for x86 (its ProgID is shared by both views).
const char kSampleClsid[] = "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";
const char kSampleProgId[] = "AddInRegSample.Server.1";

const char kAlphaDll[] = "C:\\Program Files\\Sample Add-Ins\\e2eShared Alpha.dll";
const char kBetaDll[] = "C:\\Program Files\\Sample Add-Ins\\Beta Tools\\e2eShared Beta.dll";
const char kBravoDll[] = "C:\\Program Files\\Sample Add-Ins\\e2eBravo.dll";
const char kCharlieExe[] = "\"C:\\Program Files\\Sample Add-Ins\\e2eCharlie.exe\" /automation";

// Typed in other letter case than the DLL names: matches Alpha and beta only.
const char kSharedPart[] = "E2ESHARED";

// Names next to the ones the list leaves out, which it must keep.
const std::vector<std::string> kNearMisses = {"CLSIDx", "AppIDs", "Component Categories2", "*x", "CLSID.AddInRegE2E"};

std::vector<FakeClass> preparedClasses()
{
    std::vector<FakeClass> classes = {
        {kAlpha, kAlphaClsid, kAlphaDll, ""},
        {kBeta, kBetaClsid, kBetaDll, ""},
        {kBravo, kBravoClsid, kBravoDll, ""},
        {kCharlie, kCharlieClsid, "", kCharlieExe},
        {kDelta, "", "", ""},
        {kEcho, kEchoClsid, "", ""},
        {kExtension, kExtensionClsid, "C:\\Sample Add-Ins\\e2eShared Hidden.dll", ""},
        {kOmega, "", "", ""},
    };
    for (const std::string& name : kNearMisses) classes.push_back({name, "", "", ""});
    // The exact names the list leaves out, where the prefix lacks them. (A
    // name that differs from one of them only in letter case cannot exist
    // beside it: key names ignore case.)
    for (const char* name : {"*", "AppID", "Component Categories"})
        classes.push_back({name, "", "", "", REG_SZ, {}, {}, true});
    return classes;
}

std::string lookupText(const std::string& clsid, const std::string& server)
{
    std::string text = "CLSID = " + clsid + "\r\n";
    if (!server.empty()) text += "InProcServer = " + server + "\r\n";
    return text;
}

const std::string kAlphaText = lookupText(kAlphaClsid, kAlphaDll);
const std::string kBetaText = lookupText(kBetaClsid, kBetaDll);
const std::string kBravoText = lookupText(kBravoClsid, kBravoDll);
const std::string kCharlieText = lookupText(kCharlieClsid, kCharlieExe);
const std::string kDeltaText = "CLSID not found";
const std::string kEchoText = lookupText(kEchoClsid, "");

// Control characters made visible in failure messages.
std::string shown(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out + "\"";
}

// The names the list leaves out: exact and case-sensitive.
bool isDroppedName(const std::string& name)
{
    return (!name.empty() && name[0] == '.') || name == "*" || name == "CLSID" || name == "AppID" ||
           name == "Component Categories";
}

// Enough for the plain ASCII names of this test.
bool lessIgnoringCase(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

std::vector<std::string> classesRootNames()
{
    std::vector<std::string> names;
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof(name);
        LSTATUS status = RegEnumKeyExA(HKEY_CLASSES_ROOT, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS) names.emplace_back(name, length);
    }
    return names;
}

class BrowserWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        classes = new ScopedClasses(preparedClasses());
        // The x86 sample server, registered as its 32-bit installer would:
        // its class is in the 32-bit view only.
        if (runs32Bit() && CreateDirectoryA(x86Folder().c_str(), nullptr) &&
            CopyFileA((buildFolder() + "DoctorX86.dll").c_str(), x86Dll().c_str(), FALSE))
            x86Registered = runRegsvr32x86({"/s", x86Dll()}) == 0;
        app = new AppProcess();
        if (app->started()) mainWindow = app->waitForWindow(kCaption, 60000);
        if (mainWindow) children = childrenOf(mainWindow);
    }

    static void TearDownTestSuite()
    {
        delete app; // ends the program if a test left it running
        app = nullptr;
        if (x86Registered) runRegsvr32x86({"/u", "/s", x86Dll()});
        deleteTree(HKEY_LOCAL_MACHINE, std::string("Software\\Classes\\CLSID\\") + kSampleClsid, KEY_WOW64_32KEY);
        deleteTree(HKEY_CLASSES_ROOT, kSampleProgId);
        removeFolder(x86Folder());
        delete classes;
        classes = nullptr;
        mainWindow = nullptr;
        children.clear();
    }

    void SetUp() override
    {
        ASSERT_NE(app, nullptr);
        ASSERT_TRUE(app->started()) << "AddInReg.exe did not start";
        ASSERT_NE(mainWindow, nullptr) << "no visible window \"" << kCaption << "\"";
        ASSERT_TRUE(app->isRunning()) << "the program has ended";
        ASSERT_EQ(children.size(), size_t(ChildCount));
        // A box that an earlier, failed test left open would block the window.
        if (std::optional<SeenMessageBox> box = findMessageBox(app->pid())) {
            answerMessageBox(*box, IDOK);
            waitUntil([&] { return !findMessageBox(app->pid()); }, kWaitMs);
        }
    }

    static HWND child(Child which) { return children[size_t(which)]; }
    static HWND list() { return child(List); }
    static std::string description() { return windowText(child(Description)); }

    static int rowOf(const std::string& name)
    {
        std::vector<std::string> items = listItems(list());
        auto it = std::find(items.begin(), items.end(), name);
        return it == items.end() ? -1 : int(it - items.begin());
    }

    // Waits until the program has handled the input: the row is selected and
    // the label shows the expected text.
    static ::testing::AssertionResult shows(int row, const std::string& text)
    {
        if (waitUntil([&] { return listSelection(list()) == row && description() == text; }, kWaitMs))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "expected row " << row << " with " << shown(text) << ", but row "
                                             << listSelection(list()) << " is selected and the label shows "
                                             << shown(description());
    }

    // Clicks the top row: "*x", which sorts before every name of the prefix and names no class.
    static void clickTopRow()
    {
        clickListRow(list(), 0);
        ASSERT_EQ(listText(list(), 0), "*x");
        ASSERT_TRUE(shows(0, kDeltaText));
    }

    static void typeInSearchBox(const std::string& text)
    {
        clearText(child(DllName));
        typeText(child(DllName), text);
        ASSERT_TRUE(waitUntil([&] { return windowText(child(DllName)) == text; }, kWaitMs))
            << "the search box shows " << shown(windowText(child(DllName)));
    }

    static void expectInformationBox(const SeenMessageBox& box, const std::string& text)
    {
        EXPECT_EQ(box.title, kTitle);
        EXPECT_EQ(box.text, text) << shown(box.text);
        EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
        EXPECT_TRUE(box.hasIcon);
        // The pixels tell which icon it is; give the box time to paint.
        std::string icon;
        waitUntil([&] { return (icon = standardIconOf(box)) == "information"; }, 5000);
        EXPECT_EQ(icon, "information");
    }

    static void closeBox(const SeenMessageBox& box)
    {
        answerMessageBox(box, IDOK);
        EXPECT_TRUE(waitUntil([&] { return !findMessageBox(app->pid()); }, kWaitMs)) << "the box stays open";
    }

    // Picks the context menu's n-th entry (from 1) with the arrow keys and Enter.
    static void chooseMenuEntry(int n)
    {
        PostMessageA(list(), WM_CONTEXTMENU, WPARAM(list()), LPARAM(-1)); // as Shift+F10 or the menu key
        HWND menu = waitFor([] { return FindWindowA("#32768", nullptr); }, kWaitMs);
        ASSERT_NE(menu, nullptr) << "no context menu";
        for (int i = 0; i < n; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
        EXPECT_TRUE(waitUntil([] { return !IsWindowVisible(FindWindowA("#32768", nullptr)); }, kWaitMs));
    }

    // The report window of that caption, once it shows its five controls.
    static std::vector<HWND> reportParts(const std::string& caption)
    {
        HWND report = waitFor([&] { return FindWindowA(nullptr, caption.c_str()); }, kWaitMs);
        std::vector<HWND> parts;
        if (report) waitUntil([&] { return IsWindowVisible(report) && (parts = childrenOf(report)).size() == 5; }, kWaitMs);
        return parts;
    }

    static std::string x86Folder() { return buildFolder() + "e2e x86\\"; }
    static std::string x86Dll() { return x86Folder() + "e2eX86 Sample.dll"; }

    static ScopedClasses* classes;
    static bool x86Registered;
    static AppProcess* app;
    static HWND mainWindow;
    static std::vector<HWND> children;
};

ScopedClasses* BrowserWindow::classes = nullptr;
bool BrowserWindow::x86Registered = false;
AppProcess* BrowserWindow::app = nullptr;
HWND BrowserWindow::mainWindow = nullptr;
std::vector<HWND> BrowserWindow::children;

TEST_F(BrowserWindow, StartsWithNoRowSelectedAndAnEmptyLabel)
{
    EXPECT_EQ(listSelection(list()), LB_ERR);
    EXPECT_EQ(description(), "");
    EXPECT_EQ(windowText(child(DllName)), "");
}

TEST_F(BrowserWindow, HasItsControlsInTabOrder)
{
    const struct {
        const char* cls;
        const char* text;
    } expected[ChildCount] = {
        {"ListBox", nullptr},      {"Static", nullptr},  {"Button", "Write Reg File"},
        {"Button", "Quit"},        {"Static", "20020102: qdx"}, {"Button", "Find DLL"},
        {"Edit", nullptr},         {"Static", "search for DLL:"}, {"Button", "Unregister"},
    };
    for (int i = 0; i < ChildCount; ++i) {
        SCOPED_TRACE("child " + std::to_string(i));
        EXPECT_EQ(lstrcmpiA(className(children[size_t(i)]).c_str(), expected[i].cls), 0) << className(children[size_t(i)]);
        if (expected[i].text) {
            EXPECT_EQ(windowText(children[size_t(i)]), expected[i].text);
        }
    }
    const LONG_PTR listStyle = GetWindowLongPtrA(list(), GWL_STYLE);
    EXPECT_NE(listStyle & LBS_SORT, 0);
    EXPECT_EQ(listStyle & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL), 0);
    EXPECT_NE(GetWindowLongPtrA(child(Description), GWL_STYLE) & WS_BORDER, 0);
}

TEST_F(BrowserWindow, ListsTheClassesRootNamesButTheDroppedOnes)
{
    std::vector<std::string> items = listItems(list());
    ASSERT_EQ(int(items.size()), listCount(list()));

    // Exactly the subkeys of HKEY_CLASSES_ROOT less the dropped names.
    std::vector<std::string> expected = classesRootNames();
    std::erase_if(expected, isDroppedName);
    std::vector<std::string> listed = items;
    std::sort(expected.begin(), expected.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);

    for (const char* dropped : {kExtension, "*", "CLSID", "AppID", "Component Categories"})
        EXPECT_EQ(std::count(items.begin(), items.end(), dropped), 0) << dropped << " is listed";
    EXPECT_TRUE(std::none_of(items.begin(), items.end(), [](const std::string& s) { return !s.empty() && s[0] == '.'; }));
    for (const std::string& name : kNearMisses) EXPECT_EQ(std::count(items.begin(), items.end(), name), 1) << name;
}

TEST_F(BrowserWindow, SortsTheListIgnoringLetterCase)
{
    std::vector<std::string> items = listItems(list());
    // The whole list, by the comparison a sorted list box makes.
    for (size_t i = 1; i < items.size(); ++i) {
        EXPECT_NE(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, items[i - 1].c_str(), -1, items[i].c_str(), -1),
                  CSTR_GREATER_THAN)
            << items[i - 1] << " before " << items[i];
    }
    // This test's own names, in their order.
    const std::vector<std::string> ours = {kAlpha, kBeta, kBravo, kCharlie, kDelta, kEcho};
    std::vector<std::string> seen;
    std::copy_if(items.begin(), items.end(), std::back_inserter(seen), [&](const std::string& s) {
        return std::find(ours.begin(), ours.end(), s) != ours.end();
    });
    EXPECT_EQ(seen, ours);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end(), lessIgnoringCase));
    // Neighbours: nothing of the prefix sorts between them.
    int alpha = rowOf(kAlpha);
    ASSERT_GE(alpha, 0);
    for (size_t i = 0; i < ours.size(); ++i) EXPECT_EQ(rowOf(ours[i]), alpha + int(i)) << ours[i];
}

TEST_F(BrowserWindow, ClickingARowShowsItsClassAndServer)
{
    struct Case {
        const char* progId;
        const std::string& text;
    };
    for (const Case& c : {Case{kAlpha, kAlphaText}, Case{kDelta, kDeltaText}, Case{kCharlie, kCharlieText},
                          Case{kEcho, kEchoText}, Case{kBeta, kBetaText}}) {
        SCOPED_TRACE(c.progId);
        int row = rowOf(c.progId);
        ASSERT_GE(row, 0);
        clickListRow(list(), row);
        EXPECT_TRUE(shows(row, c.text));
    }
}

TEST_F(BrowserWindow, ArrowDownShowsTheNextRowsLookup)
{
    int row = rowOf(kAlpha);
    ASSERT_GE(row, 0);
    clickListRow(list(), row);
    ASSERT_TRUE(shows(row, kAlphaText));
    for (const std::string* text : {&kBetaText, &kBravoText, &kCharlieText, &kDeltaText, &kEchoText}) {
        pressKey(list(), VK_DOWN);
        ++row;
        EXPECT_TRUE(shows(row, *text)) << "after arrow down to " << listText(list(), row);
    }
    pressKey(list(), VK_UP);
    EXPECT_TRUE(shows(row - 1, kDeltaText)) << "after arrow up";
}

TEST_F(BrowserWindow, EnterSearchesFromMatchToMatchUntilNoneIsLeft)
{
    // Start at the top of the list, as the message asks: below it, Alpha and beta match, in that order.
    ASSERT_NO_FATAL_FAILURE(clickTopRow());
    ASSERT_NO_FATAL_FAILURE(typeInSearchBox(kSharedPart));

    pressKey(child(DllName), VK_RETURN);
    EXPECT_TRUE(shows(rowOf(kAlpha), kAlphaText)) << "first Enter";
    pressKey(child(DllName), VK_RETURN);
    EXPECT_TRUE(shows(rowOf(kBeta), kBetaText)) << "second Enter";

    pressKey(child(DllName), VK_RETURN);
    std::optional<SeenMessageBox> box = waitForMessageBox(app->pid(), kWaitMs);
    ASSERT_TRUE(box.has_value()) << "no message box after the third Enter";
    expectInformationBox(*box, kNotFound);
    EXPECT_EQ(listSelection(list()), rowOf(kBeta)) << "while the box is open";
    closeBox(*box);
    EXPECT_EQ(listSelection(list()), rowOf(kBeta));
    EXPECT_EQ(description(), kBetaText) << shown(description());
    EXPECT_EQ(windowText(child(DllName)), kSharedPart);
}

TEST_F(BrowserWindow, FindDllSearchesLikeEnter)
{
    ASSERT_NO_FATAL_FAILURE(clickTopRow());
    ASSERT_NO_FATAL_FAILURE(typeInSearchBox("sample add-ins\\E2EBRAVO"));
    clickButton(child(FindDll));
    EXPECT_TRUE(shows(rowOf(kBravo), kBravoText));
}

TEST_F(BrowserWindow, AnEmptySearchBoxAsksForAValueOnlyOnFindDll)
{
    int row = rowOf(kCharlie);
    ASSERT_GE(row, 0);
    clickListRow(list(), row);
    ASSERT_TRUE(shows(row, kCharlieText));
    clearText(child(DllName));
    ASSERT_EQ(windowText(child(DllName)), "");

    // Enter does nothing. The window handles its input in order, so the box
    // of the later click is the first to show if Enter started no search.
    pressKey(child(DllName), VK_RETURN);
    clickButton(child(FindDll));
    std::optional<SeenMessageBox> box = waitForMessageBox(app->pid(), kWaitMs);
    ASSERT_TRUE(box.has_value()) << "no message box after \"Find DLL\"";
    expectInformationBox(*box, kEnterValue);
    closeBox(*box);
    pumpMessages(500);
    EXPECT_FALSE(findMessageBox(app->pid()).has_value()) << "a second box";
    EXPECT_TRUE(shows(row, kCharlieText)) << "the selection moved";
}

// Last: it ends the program.
// The list's context menu, opened from the keyboard: the entries act on the
// row the window shows.
TEST_F(BrowserWindow, ContextMenuCopiesTheNamesAndOpensTheCheckAndCaptureReports)
{
    const auto chooseEntry = [](int n) { chooseMenuEntry(n); };
    auto clipboardText = [] {
        std::wstring text;
        if (!OpenClipboard(nullptr)) return text;
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const wchar_t* units = static_cast<const wchar_t*>(GlobalLock(data))) text = units;
            GlobalUnlock(data);
        }
        CloseClipboard();
        return text;
    };

    // "Copy ProgID": the name as stored, also where the row shows it otherwise.
    int row = rowOf(platform::ansiFromUtf8(kOmega));
    ASSERT_GE(row, 0);
    clickListRow(list(), row);
    ASSERT_TRUE(shows(row, kDeltaText));
    chooseEntry(1);
    EXPECT_TRUE(waitUntil([&] { return clipboardText() == wideOf(kOmega); }, kWaitMs));

    row = rowOf(kAlpha);
    ASSERT_GE(row, 0);
    clickListRow(list(), row);
    ASSERT_TRUE(shows(row, kAlphaText));
    chooseEntry(1);
    EXPECT_TRUE(waitUntil([&] { return clipboardText() == wideOf(kAlpha); }, kWaitMs));

    chooseEntry(2); // "Copy CLSID"
    EXPECT_TRUE(waitUntil([&] { return clipboardText() == wideOf(kAlphaClsid); }, kWaitMs));

    chooseEntry(5); // "Check Registration..."
    HWND report = waitFor([] { return FindWindowA(nullptr, "Check Registration - AddInRegE2E.Alpha.1"); }, kWaitMs);
    ASSERT_NE(report, nullptr) << "no report window";
    std::vector<HWND> parts;
    EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(report) && (parts = childrenOf(report)).size() == 5; }, kWaitMs));
    ASSERT_EQ(parts.size(), 5u);
    EXPECT_EQ(windowText(parts[1]), "Try Loading");
    EXPECT_EQ(windowText(parts[2]), platform::ansiFromUtf8("Save As\xE2\x80\xA6"));
    EXPECT_FALSE(IsWindowEnabled(parts[2])) << "a check report is no script";
    EXPECT_EQ(windowText(parts[3]), "Copy");
    EXPECT_EQ(windowText(parts[4]), "Close");
    const std::string text = windowText(parts[0]);
    EXPECT_NE(text.find(kAlphaClsid), std::string::npos) << text;
    EXPECT_NE(text.find("e2eShared Alpha.dll"), std::string::npos) << text;
    for (const char* item : {"  Exports      ", "  Dependencies "}) // their lines, whatever their verdicts
        EXPECT_NE(text.find(item), std::string::npos) << item << "\n" << text;
    // The trial runs only on its own click, and adds its line.
    EXPECT_EQ(text.find("Load trial"), std::string::npos) << text;
    clickButton(parts[1]);
    EXPECT_TRUE(waitUntil([&] { return windowText(parts[0]).find("Load trial") != std::string::npos; }, 60000))
        << windowText(parts[0]);
    clickButton(parts[4]);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(report); }, kWaitMs));
    EXPECT_TRUE(app->isRunning());

    // "Capture Registration...": asked first, since the server's code runs;
    // the script shows, and nothing of it is in the registry.
    const std::string sample = buildFolder() + "AddInRegSample.dll";
    const std::string alphaServer = std::string("CLSID\\") + kAlphaClsid + "\\InProcServer32";
    const auto setAlphaServer = [&](const std::string& path) {
        return RegSetKeyValueA(HKEY_CLASSES_ROOT, alphaServer.c_str(), nullptr, REG_SZ, path.c_str(),
                               DWORD(path.size() + 1));
    };
    ASSERT_EQ(setAlphaServer(sample), ERROR_SUCCESS);
    chooseEntry(6);
    std::optional<SeenMessageBox> question = waitForMessageBox(app->pid(), kWaitMs);
    ASSERT_TRUE(question.has_value()) << "no question before the capture";
    EXPECT_NE(question->text.find("runs the code of"), std::string::npos) << question->text;
    answerMessageBox(*question, IDYES);
    report = waitFor([] { return FindWindowA(nullptr, "Capture Registration - AddInRegE2E.Alpha.1"); }, kWaitMs);
    ASSERT_NE(report, nullptr) << "no capture report";
    EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(report) && (parts = childrenOf(report)).size() == 5; }, kWaitMs));
    ASSERT_EQ(parts.size(), 5u);
    // The helper runs beside the window; then the script shows.
    EXPECT_TRUE(waitUntil([&] { return windowText(parts[0]).rfind("REGEDIT4\r\n", 0) == 0; }, 60000));
    const std::string script = windowText(parts[0]);
    EXPECT_EQ(script.rfind("REGEDIT4\r\n", 0), 0u) << script;
    EXPECT_NE(script.find("[HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\InProcServer32]"),
              std::string::npos)
        << script;
    EXPECT_FALSE(IsWindowVisible(parts[1])) << "a captured script has no load trial";
    EXPECT_TRUE(IsWindowEnabled(parts[2])) << "a captured script can be saved";
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}"));

    // "Save As...": the script as shown, and its un-register script beside it.
    const std::string saved = buildFolder() + "e2e captured.reg";
    const std::string savedUnReg = buildFolder() + "UnReg-e2e captured.reg";
    DeleteFileA(saved.c_str());
    DeleteFileA(savedUnReg.c_str());
    PostMessageA(parts[2], BM_CLICK, 0, 0);
    HWND dialog = waitFor([] { return FindWindowA("#32770", nullptr); }, kWaitMs);
    ASSERT_NE(dialog, nullptr) << "no save dialog";
    // The file name box: the combo box cmb13 of the Explorer-style dialog, else the edit box edt1.
    HWND name = nullptr;
    EXPECT_TRUE(waitUntil(
        [&] {
            name = GetDlgItem(dialog, 0x47C);
            if (!name) name = GetDlgItem(dialog, 0x480);
            return name != nullptr && GetDlgItem(dialog, IDOK) != nullptr;
        },
        kWaitMs));
    ASSERT_NE(name, nullptr) << "no file name box";
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(saved.c_str()));
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(dialog); }, kWaitMs)) << "the save dialog stays";
    std::optional<SeenMessageBox> done = waitForMessageBox(app->pid(), kWaitMs);
    ASSERT_TRUE(done.has_value()) << "no message after the save";
    EXPECT_NE(done->text.find("Written: "), std::string::npos) << done->text;
    answerMessageBox(*done, IDOK);
    EXPECT_EQ(readFileBytes(saved).value_or(""), script);
    EXPECT_EQ(readFileBytes(savedUnReg).value_or("").rfind("REGEDIT4\r\n", 0), 0u);
    DeleteFileA(saved.c_str());
    DeleteFileA(savedUnReg.c_str());
    clickButton(parts[4]);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(report); }, kWaitMs));
    EXPECT_TRUE(app->isRunning());
    EXPECT_EQ(setAlphaServer(kAlphaDll), ERROR_SUCCESS);
}

// A class only the 32-bit view has is seen as a 32-bit program sees it: its
// server in the label and the search, judged and loaded in that view, its
// script's class keys where a 32-bit host reads them, and unregistered by
// the system's regsvr32, which hands the x86 DLL to its 32-bit twin.
TEST_F(BrowserWindow, AClassOfThe32BitViewIsShownCheckedWrittenAndUnregisteredAsA32BitProgramWould)
{
    if (!x86Registered) GTEST_SKIP() << kNo32Bit;
    const std::string text = lookupText(kSampleClsid, x86Dll());
    ASSERT_NO_FATAL_FAILURE(clickTopRow());
    ASSERT_NO_FATAL_FAILURE(typeInSearchBox("E2EX86 sample"));
    clickButton(child(FindDll));
    ASSERT_TRUE(shows(rowOf(kSampleProgId), text));

    chooseMenuEntry(5); // "Check Registration...", in the 32-bit view
    std::vector<HWND> parts = reportParts(std::string("Check Registration - ") + kSampleProgId);
    ASSERT_EQ(parts.size(), 5u) << "no report window";
    EXPECT_NE(windowText(parts[0]).find("in the 32-bit view (WOW6432Node), as a 32-bit host reads it"),
              std::string::npos)
        << windowText(parts[0]);
    clickButton(parts[1]); // "Try Loading", by the 32-bit helper
    EXPECT_TRUE(waitUntil([&] { return windowText(parts[0]).find("loaded by the 32-bit helper") != std::string::npos; },
                          60000))
        << windowText(parts[0]);
    clickButton(parts[4]);

    // Write Reg File: the class keys go to Wow6432Node; nothing is merged.
    const std::string script = x86Folder() + "e2eX86.reg";
    clickButton(child(WriteRegFile));
    // Without a template file beside it, the writer says so first.
    HWND writer = nullptr;
    waitUntil([&] { return findMessageBox(app->pid()) || (writer = FindWindowA(nullptr, "Write AddIn Reg File")); },
              kWaitMs);
    if (std::optional<SeenMessageBox> warned = findMessageBox(app->pid())) answerMessageBox(*warned, IDOK);
    writer = waitFor([] { return FindWindowA(nullptr, "Write AddIn Reg File"); }, kWaitMs);
    ASSERT_NE(writer, nullptr);
    std::vector<HWND> controls;
    ASSERT_TRUE(waitUntil([&] { return (controls = childrenOf(writer)).size() > 3; }, kWaitMs));
    SendMessageA(controls[2], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(script.c_str()));
    clickButton(controls[3]); // "Write"
    std::optional<SeenMessageBox> ask = waitForMessageBox(app->pid(), kWaitMs);
    ASSERT_TRUE(ask.has_value()) << "no \"Add to Registry?\"";
    answerMessageBox(*ask, IDNO);
    EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(writer); }, kWaitMs));
    const std::string written = readFileBytes(script).value_or("");
    EXPECT_NE(written.find(std::string("[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\") + kSampleClsid + "\\Settings]"),
              std::string::npos)
        << written;
    EXPECT_EQ(written.find("[HKEY_CLASSES_ROOT\\CLSID\\"), std::string::npos) << written;

    clickButton(child(Unregister));
    const std::string classKey = std::string("Software\\Classes\\CLSID\\") + kSampleClsid;
    EXPECT_TRUE(waitUntil([&] { return !keyExists(HKEY_LOCAL_MACHINE, classKey, KEY_WOW64_32KEY); }, 60000))
        << "regsvr32 /u left the class";
}

// A load trial that hangs leaves the window responding; the report window
// says it works and offers Cancel, which ends the helper at once.
TEST_F(BrowserWindow, TryLoadingRunsBesideTheWindowAndCancelEndsTheHelper)
{
    const std::string alphaServer = std::string("CLSID\\") + kAlphaClsid + "\\InProcServer32";
    const std::string hanging = buildFolder() + "TrialHANG.dll";
    ASSERT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, alphaServer.c_str(), nullptr, REG_SZ, hanging.c_str(),
                              DWORD(hanging.size() + 1)),
              ERROR_SUCCESS);
    const int row = rowOf(kAlpha);
    clickListRow(list(), row);
    ASSERT_TRUE(shows(row, lookupText(kAlphaClsid, hanging)));
    chooseMenuEntry(5);
    std::vector<HWND> parts = reportParts(std::string("Check Registration - ") + kAlpha);
    ASSERT_EQ(parts.size(), 5u);
    const std::string checked = windowText(parts[0]);
    clickButton(parts[1]);
    EXPECT_TRUE(waitUntil([&] { return windowText(parts[1]) == "Cancel"; }, kWaitMs)) << windowText(parts[1]);
    pumpMessages(3000); // the helper hangs in DllGetClassObject
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer), 0)
        << "the main window does not respond";
    EXPECT_NE(SendMessageTimeoutA(GetParent(parts[0]), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer), 0)
        << "the report window does not respond";
    clickButton(parts[1]); // Cancel: well before the trial's own 30 s limit
    EXPECT_TRUE(waitUntil([&] { return windowText(parts[0]).rfind("Cancelled", 0) == 0; }, 15000))
        << windowText(parts[0]);
    EXPECT_EQ(windowText(parts[1]), "Try Loading");
    EXPECT_EQ(checked.find("Load trial"), std::string::npos) << checked;
    clickButton(parts[4]);
    EXPECT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, alphaServer.c_str(), nullptr, REG_SZ, kAlphaDll,
                              DWORD(std::string(kAlphaDll).size() + 1)),
              ERROR_SUCCESS);
}

TEST_F(BrowserWindow, QuitEndsTheProcessAtOnce)
{
    auto start = std::chrono::steady_clock::now();
    clickButton(child(Quit));
    ASSERT_TRUE(app->waitForExit(5000)) << "still running 5 s after \"Quit\"";
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(app->exitCode(), 0u);
    EXPECT_FALSE(IsWindow(mainWindow));
    RecordProperty("quit_ms", std::to_string(elapsed.count()));
}

} // namespace
