// The main window in this process, on a prepared set of ProgIDs in the
// prefix's real registry: the list it builds, the lookup, the search and
// "Unregister".
#include "classes/ProgIdList.h"
#include "windows/ReadRegistry.h"
#include "classes/Arguments.h"
#include "windows/Dialogs.h"
#include "platform/Ansi.h"
#include "platform/Process.h"

#include "ChildProcess.h"
#include "TestRegistry.h"
#include "Ui.h"
#include "UtilityRecorder.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <shellapi.h>

#include <algorithm>
#include <random>
#include <random>

using namespace testing_support;
using windows::ReadRegistry;

namespace {

const char kAlphaClsid[] = "{A1A1A1A1-0000-4000-8000-000000000001}";
const char kAlphaServer[] = "C:\\Program Files\\UT Add-Ins\\utAlpha.dll";

std::vector<FakeClass> preparedClasses()
{
    return {
        {"AddInRegUT.Alpha.1", kAlphaClsid, kAlphaServer, ""},
        {"AddInRegUT.Beta", "{A1A1A1A1-0000-4000-8000-000000000002}", "C:\\UT\\utBeta.DLL", "C:\\UT\\unused.exe"},
        {"AddInRegUT.Delta", "", "", ""},
        {"AddInRegUT.Epsilon", "{A1A1A1A1-0000-4000-8000-000000000005}", "", ""},
        {"AddInRegUT.Gamma", "{A1A1A1A1-0000-4000-8000-000000000003}", "", "C:\\UT\\utGammaServer.exe"},
        {"AddInRegUT.Short", "{A1A1A1A1-0000-4000-8000-000000000007}", "C:\\ab", ""},
        {"AddInRegUT.Tiny", "{A1A1A1A1-0000-4000-8000-000000000008}", "C:\\a", ""},
        // Server values that must reach regsvr32 as one argument, or not at all.
        {"AddInRegUT.Inject", "{A1A1A1A1-0000-4000-8000-000000000009}", "\"C:\\x.dll\" /u /i:evil C:\\victim.dll", ""},
        {"AddInRegUT.Trailing", "{A1A1A1A1-0000-4000-8000-00000000000A}", "C:\\dir\\", ""},
        {"AddInRegUT.Quote", "{A1A1A1A1-0000-4000-8000-00000000000B}", "C:\\a\"b.dll", ""},
        {"AddInRegUT.Switch", "{A1A1A1A1-0000-4000-8000-00000000000C}", "/i:evil.dll", ""},
        // A class key whose in-process server key exists but holds nothing.
        {"AddInRegUT.Zeta", "{A1A1A1A1-0000-4000-8000-000000000006}", "", "C:\\UT\\zeta.exe", REG_SZ,
         {{"InProcServer32", "", ""}}},
    };
}

// Drives the window through its controls, as a person would.
struct MainWindowUi {
    explicit MainWindowUi(HWND main)
    {
        std::vector<HWND> c = childrenOf(main);
        EXPECT_EQ(c.size(), 9u);
        list = c.at(0), label = c.at(1), writeRegFile = c.at(2), quit = c.at(3), findDll = c.at(5);
        dllName = c.at(6), unregister = c.at(8);
    }
    int rowOf(const std::string& text) const
    {
        return int(SendMessageA(list, LB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(text.c_str())));
    }
    void select(const std::string& progId) const
    {
        clickListRow(list, rowOf(progId));
        pumpMessages(100);
    }
    void search(const std::string& text) const
    {
        SendMessageA(dllName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        pressKey(dllName, VK_RETURN);
        pumpMessages(100);
    }
    std::string selectedRow() const { return listSelection(list) < 0 ? "" : listText(list, listSelection(list)); }
    HWND list, label, writeRegFile, quit, findDll, dllName, unregister;
};

class BrowserTest : public ::testing::Test {
protected:
    ScopedClasses classes{preparedClasses()};
};

TEST(ProgIdList, DropsExactlyTheNamesThatAreNoProgIds)
{
    for (const char* name : {".", ".txt", "..x", "*", "CLSID", "AppID", "Component Categories"})
        EXPECT_FALSE(classes::isListedProgId(name)) << name;
    for (const char* name : {"clsid", "CLSIDx", "xCLSID", "AppIDs", "appid", "Component categories", "**", "*.x",
                             "Word.Application.8", "a.", "Component Categories "})
        EXPECT_TRUE(classes::isListedProgId(name)) << name;
    EXPECT_EQ(classes::listedProgIds({"b", ".b", "CLSID", "a", "*", "c.1"}),
              (std::vector<std::string>{"b", "a", "c.1"}));
    EXPECT_TRUE(classes::listedProgIds({".a", "AppID"}).empty());
}

TEST_F(BrowserTest, ListShowsTheProgIdsOfTheRegistrySortedWithoutTheOthers)
{
    const ScopedClasses names{{{".addinregut", "", "", ""}, {"CLSIDaddinregut", "", "", ""}}};
    ReadRegistry window;
    MainWindowUi ui(window.hwnd());

    std::vector<std::string> rows;
    for (int i = 0; i < listCount(ui.list); ++i) rows.push_back(listText(ui.list, i));
    auto has = [&](const std::string& name) { return std::find(rows.begin(), rows.end(), name) != rows.end(); };
    for (const char* name : {"AddInRegUT.Alpha.1", "AddInRegUT.Delta", "AddInRegUT.Zeta", "CLSIDaddinregut"})
        EXPECT_TRUE(has(name)) << name;
    for (const char* name : {".addinregut", "*", "CLSID", "AppID", "Component Categories", ".txt"})
        EXPECT_FALSE(has(name)) << name;
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](const std::string& a, const std::string& b) {
        return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_LESS_THAN;
    }));
    EXPECT_EQ(listSelection(ui.list), -1);
    EXPECT_EQ(windowText(ui.label), "");
}

TEST_F(BrowserTest, LookupGivesTheClassAndItsServer)
{
    ReadRegistry window;
    EXPECT_EQ(window.findDescrForInProcServer("AddInRegUT.Alpha.1"),
              std::string("CLSID = ") + kAlphaClsid + "\r\nInProcServer = " + kAlphaServer + "\r\n");
    EXPECT_EQ(window.lastClsid(), kAlphaClsid);
    EXPECT_EQ(window.lastServer(), kAlphaServer);

    // The in-process server wins over the local one.
    window.findDescrForInProcServer("AddInRegUT.Beta");
    EXPECT_EQ(window.lastServer(), "C:\\UT\\utBeta.DLL");

    // No in-process server, or an empty one: the local server, under the same label.
    EXPECT_EQ(window.findDescrForInProcServer("AddInRegUT.Gamma"),
              "CLSID = {A1A1A1A1-0000-4000-8000-000000000003}\r\nInProcServer = C:\\UT\\utGammaServer.exe\r\n");
    EXPECT_EQ(window.findDescrForInProcServer("AddInRegUT.Zeta"),
              "CLSID = {A1A1A1A1-0000-4000-8000-000000000006}\r\nInProcServer = C:\\UT\\zeta.exe\r\n");

    // No server at all: the first line alone.
    EXPECT_EQ(window.findDescrForInProcServer("AddInRegUT.Epsilon"),
              "CLSID = {A1A1A1A1-0000-4000-8000-000000000005}\r\n");
    EXPECT_EQ(window.lastServer(), "");

    // No class: nothing of an earlier lookup stays behind.
    window.findDescrForInProcServer("AddInRegUT.Alpha.1");
    EXPECT_EQ(window.findDescrForInProcServer("AddInRegUT.Delta"), "CLSID not found");
    EXPECT_EQ(window.lastClsid(), "");
    EXPECT_EQ(window.lastServer(), "");
    EXPECT_EQ(window.findDescrForInProcServer("AddInRegUT.NotThere"), "CLSID not found");
}

TEST_F(BrowserTest, SelectingARowShowsItsLookup)
{
    ReadRegistry window;
    window.show();
    MainWindowUi ui(window.hwnd());

    ui.select("AddInRegUT.Alpha.1");
    EXPECT_EQ(windowText(ui.label),
              std::string("CLSID = ") + kAlphaClsid + "\r\nInProcServer = " + kAlphaServer + "\r\n");
    // The arrow keys move the selection and show each row, as a click does.
    pressKey(ui.list, VK_DOWN);
    pumpMessages(100);
    EXPECT_EQ(ui.selectedRow(), "AddInRegUT.Beta");
    EXPECT_EQ(windowText(ui.label),
              "CLSID = {A1A1A1A1-0000-4000-8000-000000000002}\r\nInProcServer = C:\\UT\\utBeta.DLL\r\n");
    pressKey(ui.list, VK_DOWN);
    pumpMessages(100);
    EXPECT_EQ(windowText(ui.label), "CLSID not found");
}

TEST_F(BrowserTest, SearchWalksFromMatchToMatchAndReportsTheEnd)
{
    MessageBoxAnswerer answerer([](const SeenMessageBox&) { return IDOK; });
    ReadRegistry window;
    window.show();
    MainWindowUi ui(window.hwnd());

    // Case is ignored; the local server's path counts as much as an in-process one.
    ui.search("c:\\ut\\");
    EXPECT_EQ(ui.selectedRow(), "AddInRegUT.Beta");
    EXPECT_EQ(windowText(ui.label),
              "CLSID = {A1A1A1A1-0000-4000-8000-000000000002}\r\nInProcServer = C:\\UT\\utBeta.DLL\r\n");
    ui.search("c:\\ut\\");
    EXPECT_EQ(ui.selectedRow(), "AddInRegUT.Gamma");
    ui.search("c:\\ut\\");
    EXPECT_EQ(ui.selectedRow(), "AddInRegUT.Zeta");
    EXPECT_TRUE(answerer.seen().empty());
    EXPECT_EQ(windows::mousePointer(), windows::MousePointer::Default);

    ui.search("c:\\ut\\");
    ASSERT_TRUE(waitUntil([&] { return !answerer.seen().empty(); }));
    SeenMessageBox box = answerer.seen().front();
    EXPECT_EQ(box.text, "DLL not found\r\nSelect top of list to restart search");
    EXPECT_EQ(box.title, "AddInReg");
    EXPECT_TRUE(box.hasIcon);
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(windows::mousePointer(), windows::MousePointer::Default);

    // The selection and the label stay, and so does the class the buttons
    // act on, though the search looked up every row after it.
    EXPECT_EQ(ui.selectedRow(), "AddInRegUT.Zeta");
    EXPECT_EQ(windowText(ui.label),
              "CLSID = {A1A1A1A1-0000-4000-8000-000000000006}\r\nInProcServer = C:\\UT\\zeta.exe\r\n");
    EXPECT_EQ(window.lastClsid(), "{A1A1A1A1-0000-4000-8000-000000000006}");
    EXPECT_EQ(window.lastServer(), "C:\\UT\\zeta.exe");

    // A part of a CLSID finds its class.
    answerer.forget();
    ui.select("AddInRegUT.Alpha.1");
    ui.search("000000000005}");
    EXPECT_EQ(ui.selectedRow(), "AddInRegUT.Epsilon");
    // The search starts after the selected row: the selected row itself is not found again.
    ui.search("utAlpha");
    ASSERT_TRUE(waitUntil([&] { return !answerer.seen().empty(); }));
    EXPECT_EQ(ui.selectedRow(), "AddInRegUT.Epsilon");
}

TEST_F(BrowserTest, SearchWithoutSelectionOrTextOrMatch)
{
    MessageBoxAnswerer answerer;
    ReadRegistry window;
    window.show();
    MainWindowUi ui(window.hwnd());

    // "Find DLL" with nothing typed asks for a name and changes nothing.
    SendMessageA(ui.findDll, BM_CLICK, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return !answerer.seen().empty(); }));
    EXPECT_EQ(answerer.seen().front().text, "Enter a value in 'Search for DLL' first");
    EXPECT_TRUE(answerer.seen().front().hasIcon);
    EXPECT_EQ(listSelection(ui.list), -1);

    // Enter with nothing typed does nothing at all.
    answerer.forget();
    pressKey(ui.dllName, VK_RETURN);
    pumpMessages(500);
    EXPECT_TRUE(answerer.seen().empty());

    // No row selected: the first row is examined too; no match leaves no class behind.
    window.findDescrForInProcServer("AddInRegUT.Alpha.1");
    ui.search("no such server anywhere");
    ASSERT_TRUE(waitUntil([&] { return !answerer.seen().empty(); }));
    EXPECT_EQ(listSelection(ui.list), -1);
    EXPECT_EQ(window.lastClsid(), "");
    EXPECT_EQ(window.lastServer(), "");

    // "Find DLL" runs the same search as Enter.
    answerer.forget();
    SendMessageA(ui.dllName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("UTALPHA.DLL"));
    SendMessageA(ui.findDll, BM_CLICK, 0, 0);
    EXPECT_EQ(ui.selectedRow(), "AddInRegUT.Alpha.1");
    EXPECT_TRUE(answerer.seen().empty());

    // With the last row selected nothing is examined.
    SendMessageA(ui.list, LB_SETCURSEL, WPARAM(listCount(ui.list) - 1), 0);
    ui.search("CLSID");
    ASSERT_TRUE(waitUntil([&] { return !answerer.seen().empty(); }));
    EXPECT_EQ(answerer.seen().front().text, "DLL not found\r\nSelect top of list to restart search");
}

TEST_F(BrowserTest, UnregisterStartsTheUtilityOnTheLastServerOnly)
{
    UtilityRecorder utilities;
    MessageBoxAnswerer answerer;
    ReadRegistry window;
    window.show();
    MainWindowUi ui(window.hwnd());

    // Before any lookup, after a class without server, after a ProgID without
    // class (even right after one with a server), and for a path of four
    // characters: nothing starts.
    SendMessageA(ui.unregister, BM_CLICK, 0, 0);
    ui.select("AddInRegUT.Epsilon");
    SendMessageA(ui.unregister, BM_CLICK, 0, 0);
    ui.select("AddInRegUT.Alpha.1");
    ui.select("AddInRegUT.Delta");
    SendMessageA(ui.unregister, BM_CLICK, 0, 0);
    ui.select("AddInRegUT.Tiny");
    SendMessageA(ui.unregister, BM_CLICK, 0, 0);
    EXPECT_TRUE(utilities.starts().empty());

    // The path is one quoted argument, blanks and all; five characters count.
    ui.select("AddInRegUT.Alpha.1");
    SendMessageA(ui.unregister, BM_CLICK, 0, 0);
    ui.select("AddInRegUT.Short");
    SendMessageA(ui.unregister, BM_CLICK, 0, 0);
    EXPECT_EQ(utilities.starts(), (std::vector<std::string>{
                                       std::string("regsvr32.exe /u \"") + kAlphaServer + "\"|4",
                                       "regsvr32.exe /u \"C:\\ab\"|4",
                                   }));
    EXPECT_TRUE(answerer.seen().empty());

    // A utility that cannot be started is reported, and the program goes on.
    utilities.makeUnstartable("regsvr32.exe");
    SendMessageA(ui.unregister, BM_CLICK, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return !answerer.seen().empty(); }));
    SeenMessageBox box = answerer.seen().front();
    EXPECT_EQ(box.text, "regsvr32 failed to execute");
    EXPECT_EQ(box.title, "AddInReg");
    EXPECT_FALSE(box.hasIcon);
    EXPECT_TRUE(IsWindow(window.hwnd()));
}

TEST_F(BrowserTest, UnregisterPassesTheServerAsOneArgumentToTheSystemUtility)
{
    UtilityRecorder utilities;
    MessageBoxAnswerer answerer;
    ReadRegistry window;
    window.show();
    MainWindowUi ui(window.hwnd());

    for (const char* progId : {"AddInRegUT.Inject", "AddInRegUT.Trailing"}) {
        ui.select(progId);
        SendMessageA(ui.unregister, BM_CLICK, 0, 0);
    }
    EXPECT_EQ(utilities.starts(), (std::vector<std::string>{
                                      "regsvr32.exe /u \"C:\\x.dll\"|4",
                                      "regsvr32.exe /u \"C:\\dir\\\\\"|4",
                                  }));
    // Never a regsvr32.exe from this program's folder or the current one.
    char system[MAX_PATH];
    const std::string expected = std::string(system, GetSystemDirectoryA(system, MAX_PATH)) + "\\regsvr32.exe";
    EXPECT_EQ(utilities.applications(), std::vector<std::string>(2, expected));
    EXPECT_TRUE(answerer.seen().empty());

    // A path with a quote in it, or one that reads as a switch, starts nothing.
    for (const char* progId : {"AddInRegUT.Quote", "AddInRegUT.Switch"}) {
        answerer.forget();
        ui.select(progId);
        SendMessageA(ui.unregister, BM_CLICK, 0, 0);
        ASSERT_TRUE(waitUntil([&] { return !answerer.seen().empty(); })) << progId;
        EXPECT_EQ(answerer.seen().front().text, "regsvr32 failed to execute");
    }
    EXPECT_EQ(utilities.starts().size(), 2u);
}

// regsvr32 gets the file the loader loads: a REG_EXPAND_SZ value expanded,
// not passed as stored.
TEST_F(BrowserTest, UnregisterPassesTheFileTheLoaderLoads)
{
    const char clsid[] = "{A1A1A1A1-0000-4000-8000-00000000000D}";
    const ScopedClasses expand{{{"AddInRegUT.Expand", clsid, "%SystemRoot%\\system32\\ole32.dll", "", REG_EXPAND_SZ}}};
    UtilityRecorder utilities;
    MessageBoxAnswerer answerer;
    ReadRegistry window;
    window.show();
    MainWindowUi ui(window.hwnd());
    ui.select("AddInRegUT.Expand");
    SendMessageA(ui.unregister, BM_CLICK, 0, 0);
    char system[MAX_PATH];
    const std::string file = std::string(system, GetSystemDirectoryA(system, MAX_PATH)) + "\\ole32.dll";
    EXPECT_EQ(utilities.starts(), std::vector<std::string>{"regsvr32.exe /u \"" + file + "\"|4"});
}

// Every path the quoting accepts comes back from the system's own parser as
// exactly one argument, unchanged; it refuses exactly the unsafe shapes.
TEST(ArgumentQuoting, TheSystemParserGetsBackEveryPathAlone)
{
    const std::string alphabet("ab Z:\\\\\\.&%^()\t/-'\x80\xE9\xFF\"");
    std::mt19937 random(20261207);
    int accepted = 0;
    for (int i = 0; i < 100000; ++i) {
        std::string path(random() % 12, ' ');
        for (char& c : path) c = alphabet[random() % alphabet.size()];
        if (i % 3 == 0) path += std::string(random() % 4, '\\'); // runs of trailing backslashes
        const std::optional<std::string> quoted = classes::quotedArgument(path);
        const bool unsafe =
            path.empty() || path.front() == '/' || path.front() == '-' || path.find('"') != std::string::npos;
        ASSERT_EQ(quoted.has_value(), !unsafe) << path;
        if (!quoted) continue;
        ++accepted;
        const std::string line = "regsvr32.exe /u " + *quoted;
        int argc = 0;
        LPWSTR* argv = CommandLineToArgvW(platform::wideFromAnsi(line).c_str(), &argc);
        ASSERT_NE(argv, nullptr);
        const bool same = argc == 3 && platform::wideFromAnsi(path) == argv[2];
        LocalFree(argv);
        ASSERT_TRUE(same) << line;
    }
    EXPECT_GT(accepted, 50000);
}

// The line a utility's run shows (the command line prints it) is the one
// the started program gets, and it splits back into the name, the switch and
// the path; a path that cannot be one argument starts nothing and shows no
// line. A real program echoes the rest of its line back.
TEST(ArgumentQuoting, TheShownCommandLineIsTheOneTheProgramGets)
{
    std::vector<std::string> shown;
    {
        UtilityRecorder utilities;
        for (const std::string path : {"C:\\Add Ins\\x.reg", "C:\\dir\\", "-x.reg"}) {
            const platform::ProcessRun run = platform::runUtility(platform::kReg, "import", path);
            if (run.commandLine.empty()) continue;
            shown.push_back(run.commandLine + "|" + std::to_string(SW_HIDE));
            int argc = 0;
            LPWSTR* argv = CommandLineToArgvW(platform::wideOf(run.commandLine).c_str(), &argc);
            ASSERT_NE(argv, nullptr);
            const std::vector<std::wstring> arguments(argv, argv + argc);
            LocalFree(argv);
            EXPECT_EQ(arguments, (std::vector<std::wstring>{L"reg.exe", L"import", platform::wideOf(path)})) << run.commandLine;
        }
        EXPECT_EQ(shown.size(), 2u);
        EXPECT_EQ(utilities.starts(), shown);
    }
    const platform::Utility cmd{platform::SystemFolder::System, "cmd.exe"};
    const std::string echo = "cmd.exe /c echo ";
    const platform::ProcessRun run = platform::runProgram(
        platform::utilityPath(cmd), platform::utilityCommandLine(cmd, "/c echo", "C:\\Add Ins\\dir\\"),
        {platform::ShowState::Hidden, true}, 60);
    ASSERT_EQ(run.outcome, platform::ProcessRun::Outcome::Exited) << run.output;
    ASSERT_EQ(run.commandLine.rfind(echo, 0), 0u) << run.commandLine;
    EXPECT_EQ(run.output, run.commandLine.substr(echo.size()) + "\r\n");
}

} // namespace

namespace {

// More ProgIDs than a 16-bit row number can count, the last one a class
// with a server.
class ManyProgIds {
public:
    static constexpr int kCount = 33000;
    ManyProgIds()
    {
        removeAll();
        for (int i = 0; i < kCount; ++i) {
            HKEY key;
            if (RegCreateKeyExA(HKEY_CLASSES_ROOT, name(i).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                nullptr) == ERROR_SUCCESS)
                RegCloseKey(key);
        }
    }
    ~ManyProgIds() { removeAll(); }
    ManyProgIds(const ManyProgIds&) = delete;
    ManyProgIds& operator=(const ManyProgIds&) = delete;

    static std::string name(int i)
    {
        char text[32];
        snprintf(text, sizeof(text), "zzAddInRegUT.Many.%05d", i);
        return text;
    }

private:
    static void removeAll()
    {
        for (int i = 0; i < kCount; ++i) RegDeleteKeyA(HKEY_CLASSES_ROOT, name(i).c_str());
    }
};

TEST(BrowserLongList, ListsAndSearchesMoreThan32767Rows)
{
    ManyProgIds many;
    ScopedClasses last({{"zzAddInRegUT.Many.Last", "{A1A1A1A1-0000-4000-8000-0000000000FF}", "C:\\UT\\lastRow.dll", ""}});
    MessageBoxAnswerer answerer;
    ReadRegistry window;
    window.show();
    MainWindowUi ui(window.hwnd());

    EXPECT_GT(listCount(ui.list), ManyProgIds::kCount);
    const int lastRow = ui.rowOf("zzAddInRegUT.Many.Last");
    EXPECT_GT(lastRow, 32767);
    ui.search("LASTROW.DLL");
    EXPECT_EQ(listSelection(ui.list), lastRow);
    EXPECT_EQ(windowText(ui.label),
              "CLSID = {A1A1A1A1-0000-4000-8000-0000000000FF}\r\nInProcServer = C:\\UT\\lastRow.dll\r\n");
    EXPECT_TRUE(answerer.seen().empty());
}

} // namespace
