// The reg-file writer end to end, as a user works with it: a real in-process
// server registered with the system's regsvr32, found in the main window by
// part of its file name, its add-in script written, merged with the system's
// regedit and the server unregistered again. Also how the two windows end the
// program.
#include "CliProcess.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "Ui.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

const std::string kClsid = "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";
const std::string kClassKey = "CLSID\\" + kClsid;
const std::string kProgId = "AddInRegSample.Server.1";
const std::string kCategory = "{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}";
constexpr char kMainCaption[] = "Registry Functions Demo";
constexpr char kRegFileCaption[] = "Write AddIn Reg File";

// regsvr32 and regedit can take long to start under a fresh session.
constexpr int kSlowMs = 60000;

std::string withoutAccelerators(std::string caption)
{
    caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
    return caption;
}

std::vector<std::string> buttonCaptions(const SeenMessageBox& box)
{
    std::vector<std::string> captions;
    for (const std::string& caption : box.buttons) captions.push_back(withoutAccelerators(caption));
    return captions;
}

// The programs that the application starts and does not wait for (regsvr32,
// regedit and whatever they start in turn). Each is held by a handle from the
// moment it is seen, so that the test can wait for it and end it if need be.
class StartedPrograms {
public:
    StartedPrograms() = default;
    StartedPrograms(const StartedPrograms&) = delete;
    StartedPrograms& operator=(const StartedPrograms&) = delete;
    ~StartedPrograms()
    {
        for (const Entry& e : entries_) CloseHandle(e.handle);
    }

    // Takes in the running processes started by `parent` or by one already
    // known.
    void collect(DWORD parent)
    {
        struct Seen {
            DWORD pid, parent;
            std::string exe;
        };
        std::vector<Seen> running;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return;
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
            running.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
        CloseHandle(snapshot);

        for (bool added = true; added;) {
            added = false;
            for (const Seen& p : running) {
                if (p.pid == parent || knows(p.pid) || (p.parent != parent && !knows(p.parent))) continue;
                HANDLE handle = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                            p.pid);
                if (!handle) continue;
                entries_.push_back({p.pid, p.exe, handle});
                added = true;
            }
        }
    }

    std::vector<std::string> stillRunning() const
    {
        std::vector<std::string> running;
        for (const Entry& e : entries_)
            if (WaitForSingleObject(e.handle, 0) == WAIT_TIMEOUT) running.push_back(e.exe);
        return running;
    }

    // Answers, as a user would, a message box that one of them shows.
    void answerMessageBoxes()
    {
        for (const Entry& e : entries_) {
            if (WaitForSingleObject(e.handle, 0) != WAIT_TIMEOUT) continue;
            std::optional<SeenMessageBox> box = findMessageBox(e.pid);
            if (box && !box->buttons.empty() &&
                std::find(answered_.begin(), answered_.end(), box->hwnd) == answered_.end()) {
                answered_.push_back(box->hwnd);
                std::cout << "[ note ] " << e.exe << " showed \"" << box->title << "\": " << box->text << "\n";
                answerMessageBox(*box, GetDlgItem(box->hwnd, IDOK) ? IDOK : IDYES);
            }
        }
    }

    bool waitForAll(int timeoutMs)
    {
        return waitUntil(
            [&] {
                answerMessageBoxes();
                return stillRunning().empty();
            },
            timeoutMs);
    }

    void endAll()
    {
        for (const Entry& e : entries_) {
            if (WaitForSingleObject(e.handle, 0) != WAIT_TIMEOUT) continue;
            TerminateProcess(e.handle, 1);
            WaitForSingleObject(e.handle, 10000);
        }
    }

private:
    struct Entry {
        DWORD pid;
        std::string exe;
        HANDLE handle;
    };
    bool knows(DWORD pid) const
    {
        return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.pid == pid; });
    }
    std::vector<Entry> entries_;
    std::vector<HWND> answered_;
};

std::string joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
    return text;
}

class WriterEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = buildFolder() + "e2e writer\\";
        addIns_ = root_ + "Sample Add-Ins\\";
        workDir_ = root_ + "work";
        // Leftovers of an earlier, aborted run.
        removeFolder(root_);
        removeRegistration();
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr)) << root_;
        ASSERT_TRUE(CreateDirectoryA(addIns_.c_str(), nullptr)) << addIns_;
        ASSERT_TRUE(CreateDirectoryA(workDir_.c_str(), nullptr)) << workDir_;
    }

    void TearDown() override
    {
        if (app_) {
            const DWORD pid = app_->pid();
            programs_.collect(pid);
            app_.reset(); // ends it if it still runs
            programs_.collect(pid); // what it started in its last moments
        }
        // Let what the program started finish its work, so that nothing
        // registers again after the clean-up; end it if it hangs.
        if (!programs_.waitForAll(kSlowMs))
            ADD_FAILURE() << "still running after the test: " << joined(programs_.stillRunning());
        programs_.endAll();
        removeRegistration();
        removeFolder(root_);
        EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClassKey));
        EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kProgId));
        EXPECT_FALSE(pathExists(root_)) << root_;
    }

    static void removeRegistration()
    {
        deleteTree(HKEY_CLASSES_ROOT, kClassKey);
        deleteTree(HKEY_CLASSES_ROOT, kProgId);
    }

    AppProcess& startApp()
    {
        app_ = std::make_unique<AppProcess>(workDir_);
        return *app_;
    }

    // Presses "Write Reg File" in the main window for the first time: the
    // window's template is looked for in the working folder, which has none,
    // and the user is told so before the window opens.
    HWND openRegFileWindow(AppProcess& app, HWND mainWindow)
    {
        std::vector<HWND> controls = childrenOf(mainWindow);
        if (controls.size() != 9u) {
            ADD_FAILURE() << "the main window has " << controls.size() << " controls";
            return nullptr;
        }
        EXPECT_EQ(windowText(controls[2]), "Write Reg File");
        clickButton(controls[2]);

        std::optional<SeenMessageBox> box = waitForMessageBox(app.pid(), kSlowMs);
        if (!box) {
            ADD_FAILURE() << "no message about the missing template";
            return nullptr;
        }
        EXPECT_EQ(box->title, "AddInReg");
        EXPECT_EQ(box->text,
                  "Not Found or Empty file: " + workDir_ + "\\AddInTemplate.Reg\r\nusing built in default");
        EXPECT_EQ(buttonCaptions(*box), std::vector<std::string>{"OK"});
        EXPECT_TRUE(box->hasIcon);
        EXPECT_EQ(findTopLevel(app.pid(), kRegFileCaption), nullptr) << "the window shows before the answer";
        answerMessageBox(*box, IDOK);

        HWND regFileWindow = app.waitForWindow(kRegFileCaption);
        EXPECT_NE(regFileWindow, nullptr) << "the reg-file window did not open";
        return regFileWindow;
    }

    // The program started, its main window up, and the reg-file window opened
    // from it.
    void openBothWindows(AppProcess& app, HWND& mainWindow, HWND& regFileWindow)
    {
        ASSERT_TRUE(app.started());
        mainWindow = app.waitForWindow(kMainCaption);
        ASSERT_NE(mainWindow, nullptr);
        regFileWindow = openRegFileWindow(app, mainWindow);
        ASSERT_NE(regFileWindow, nullptr);
    }

    std::string root_;
    std::string addIns_;
    std::string workDir_;
    std::unique_ptr<AppProcess> app_;
    StartedPrograms programs_;
};

// What the script holds with both check boxes checked.
std::string expectedRegScript()
{
    return "REGEDIT4\r\n"
           "[HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}] \r\n"
           "@=\"Sample Geometry Tools\"\r\n"
           "[HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\Description] \r\n"
           "@=\"Draws \\\"sample\\\" geometry in C:\\\\Geo\"\r\n"
           "[HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\Implemented "
           "Categories\\{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}] \r\n"
           "[HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\Required Categories] \r\n"
           "[HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\Required "
           "Categories\\{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}] \r\n"
           "[HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\Settings] \r\n"
           "\"LoadOnStartUp\"=\"1\"\r\n"
           "\"Type\"=\"Standard\"\r\n"
           "\"SupportedSoftwareVersionGreaterThan\" = \"5.3.2\"";
}

std::string expectedUnRegScript()
{
    return "REGEDIT4\r\n"
           "[-HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}] \r\n"
           "@=\"Sample Geometry Tools\"\r\n"
           "[-HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\Description] \r\n"
           "@=\"Draws \\\"sample\\\" geometry in C:\\\\Geo\"\r\n"
           "[-HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\Implemented "
           "Categories\\{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}] \r\n"
           "[-HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\Required Categories] \r\n"
           "[-HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\Required "
           "Categories\\{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}] \r\n"
           "[-HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}\\Settings] \r\n"
           "\"LoadOnStartUp\"=\"1\"\r\n"
           "\"Type\"=\"Standard\"\r\n"
           "\"SupportedSoftwareVersionGreaterThan\" = \"5.3.2\"";
}

} // namespace

TEST_F(WriterEndToEnd, RegistersAnAddInForARealServerAndUnregistersTheServer)
{
    const std::string menuName = "Sample Geometry Tools";
    // Quotes and a backslash: escaped in the script, so regedit merges the line.
    const std::string description = "Draws \"sample\" geometry in C:\\Geo";
    const std::string server = addIns_ + "AddInRegSample.dll";
    const std::string regFile = addIns_ + "AddInRegSample.reg";
    const std::string unRegFile = addIns_ + "UnReg-AddInRegSample.reg";

    // The server, in a folder with blanks in its path, registered before the
    // program reads the list of classes.
    ASSERT_TRUE(CopyFileA((buildFolder() + "AddInRegSample.dll").c_str(), server.c_str(), FALSE)) << server;
    DWORD exitCode = 1;
    char system[MAX_PATH];
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    const ChildRun regsvr32 = runChild(std::string(system, length) + "\\regsvr32.exe", {"/s", server}, {}, kSlowMs);
    ASSERT_TRUE(regsvr32.finished) << "regsvr32 did not end";
    exitCode = regsvr32.exitCode;
    ASSERT_EQ(exitCode, 0u) << "regsvr32 failed";
    ASSERT_EQ(readString(HKEY_CLASSES_ROOT, kClassKey + "\\InProcServer32"), server);
    ASSERT_EQ(readString(HKEY_CLASSES_ROOT, kProgId + "\\CLSID"), kClsid);
    ASSERT_EQ(readString(HKEY_CLASSES_ROOT, kClassKey), "AddInReg sample server");

    AppProcess& app = startApp();
    ASSERT_TRUE(app.started());
    HWND mainWindow = app.waitForWindow(kMainCaption);
    ASSERT_NE(mainWindow, nullptr);
    std::vector<HWND> controls = childrenOf(mainWindow);
    ASSERT_EQ(controls.size(), 9u);
    const HWND list = controls[0], lookup = controls[1], dllName = controls[6], unregister = controls[8];
    EXPECT_EQ(windowText(unregister), "Unregister");

    // Part of the server's path, in other letter case, and Enter.
    const std::string searched = "sample add-ins\\addinregSAMPLE.dll";
    typeText(dllName, searched);
    ASSERT_TRUE(waitUntil([&] { return windowText(dllName) == searched; }));
    pressKey(dllName, VK_RETURN);
    const std::string expectedLookup = "CLSID = " + kClsid + "\r\nInProcServer = " + server + "\r\n";
    EXPECT_TRUE(waitUntil([&] { return windowText(lookup) == expectedLookup; }, kSlowMs))
        << "the window shows: " << windowText(lookup);
    ASSERT_GE(listSelection(list), 0);
    EXPECT_EQ(listText(list, listSelection(list)), kProgId);

    HWND regFileWindow = openRegFileWindow(app, mainWindow);
    ASSERT_NE(regFileWindow, nullptr);
    std::vector<HWND> fields = childrenOf(regFileWindow);
    ASSERT_EQ(fields.size(), 17u);
    const HWND menu = fields[0], descriptionBox = fields[1], write = fields[3];
    EXPECT_EQ(windowText(menu), "myAddInName");
    EXPECT_EQ(windowText(descriptionBox), "This AddIn creates Geometry");
    EXPECT_EQ(windowText(fields[2]), regFile);
    EXPECT_EQ(windowText(write), "Write");
    EXPECT_EQ(windowText(fields[5]), kClsid);
    EXPECT_EQ(windowText(fields[11]), server);
    EXPECT_EQ(windowText(fields[16]), unRegFile);
    EXPECT_EQ(windowText(fields[13]), "Host R6  + Class ID");
    EXPECT_EQ(windowText(fields[14]), "R6 + Specific");
    EXPECT_EQ(windowText(fields[15]), "Create Un-Register File");
    EXPECT_TRUE(isChecked(fields[13]));
    EXPECT_TRUE(isChecked(fields[14]));
    EXPECT_TRUE(isChecked(fields[15]));

    clearText(menu);
    typeText(menu, menuName);
    clearText(descriptionBox);
    typeText(descriptionBox, description);
    ASSERT_TRUE(waitUntil([&] { return windowText(menu) == menuName && windowText(descriptionBox) == description; }));

    clickButton(write);
    std::optional<SeenMessageBox> question = waitForMessageBox(app.pid(), kSlowMs);
    ASSERT_TRUE(question.has_value()) << "no question whether to add the script to the registry";
    EXPECT_EQ(question->title, "Add to Registry");
    EXPECT_EQ(question->text, "Add to Registry?");
    EXPECT_EQ(buttonCaptions(*question), (std::vector<std::string>{"Yes", "No"}));
    EXPECT_NE(GetDlgItem(question->hwnd, IDYES), nullptr);
    EXPECT_NE(GetDlgItem(question->hwnd, IDNO), nullptr);
    EXPECT_FALSE(question->hasIcon);
    // The script is on disk while the question is up.
    EXPECT_EQ(readFileBytes(regFile).value_or("<missing>"), expectedRegScript());
    answerMessageBox(*question, IDYES);

    // The window closes once regsvr32 and regedit are started and the
    // un-register script is written.
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(regFileWindow); }, kSlowMs)) << "the reg-file window stays open";
    programs_.collect(app.pid());

    // The companion writes the same bytes for the same inputs.
    const std::string cliFile = addIns_ + "cli.reg";
    EXPECT_EQ(cliScriptBytes(cliFile, {"--clsid", kClsid, "--server", server, "--menu", menuName, "--description",
                                       description},
                             addIns_),
              readFileBytes(regFile));
    EXPECT_EQ(readFileBytes(addIns_ + "UnReg-cli.reg"), readFileBytes(unRegFile));

    const std::string settings = kClassKey + "\\Settings";
    auto addInRegistered = [&] {
        return readString(HKEY_CLASSES_ROOT, kClassKey) == menuName &&
               readString(HKEY_CLASSES_ROOT, kClassKey + "\\Description") == description &&
               keyExists(HKEY_CLASSES_ROOT, kClassKey + "\\Implemented Categories\\" + kCategory) &&
               keyExists(HKEY_CLASSES_ROOT, kClassKey + "\\Required Categories\\" + kCategory) &&
               readString(HKEY_CLASSES_ROOT, settings, "LoadOnStartUp") == "1" &&
               readString(HKEY_CLASSES_ROOT, settings, "Type") == "Standard" &&
               readString(HKEY_CLASSES_ROOT, settings, "SupportedSoftwareVersionGreaterThan") == "5.3.2";
    };
    EXPECT_TRUE(waitUntil(addInRegistered, kSlowMs)) << "the add-in keys did not arrive in the registry";
    EXPECT_TRUE(programs_.waitForAll(kSlowMs)) << "still running: " << joined(programs_.stillRunning());

    // Once both have ended, each key and value on its own, and the server's
    // registration again.
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kClassKey), menuName);
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kClassKey + "\\Description"), description);
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, kClassKey + "\\Implemented Categories\\" + kCategory));
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, kClassKey + "\\Required Categories\\" + kCategory));
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, settings, "LoadOnStartUp"), "1");
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, settings, "Type"), "Standard");
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, settings, "SupportedSoftwareVersionGreaterThan"), "5.3.2");
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kClassKey + "\\InProcServer32"), server);
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kClassKey + "\\InProcServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kProgId + "\\CLSID"), kClsid);

    EXPECT_EQ(readFileBytes(regFile).value_or("<missing>"), expectedRegScript());
    EXPECT_EQ(readFileBytes(unRegFile).value_or("<missing>"), expectedUnRegScript());
    EXPECT_EQ(findTopLevel(app.pid(), kRegFileCaption), nullptr);
    EXPECT_TRUE(app.isRunning());

    // "Unregister" acts on the class last looked up: the sample server.
    clickButton(unregister);
    auto serverUnregistered = [&] {
        programs_.collect(app.pid());
        programs_.answerMessageBoxes();
        return !keyExists(HKEY_CLASSES_ROOT, kClassKey + "\\InProcServer32") &&
               !keyExists(HKEY_CLASSES_ROOT, kClassKey + "\\ProgID") && !keyExists(HKEY_CLASSES_ROOT, kProgId);
    };
    EXPECT_TRUE(waitUntil(serverUnregistered, kSlowMs)) << "the server is still registered";
    programs_.collect(app.pid());
    EXPECT_TRUE(programs_.waitForAll(kSlowMs)) << "still running: " << joined(programs_.stillRunning());
    // The server removes only its own keys: the add-in's stay for the
    // un-register script.
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, settings));
    EXPECT_TRUE(app.isRunning());
}

TEST_F(WriterEndToEnd, QuitInTheMainWindowEndsTheProgramWhileTheRegFileWindowIsOpen)
{
    AppProcess& app = startApp();
    HWND mainWindow = nullptr, regFileWindow = nullptr;
    ASSERT_NO_FATAL_FAILURE(openBothWindows(app, mainWindow, regFileWindow));

    std::vector<HWND> controls = childrenOf(mainWindow);
    ASSERT_EQ(controls.size(), 9u);
    EXPECT_EQ(windowText(controls[3]), "Quit");
    clickButton(controls[3]);
    EXPECT_TRUE(app.waitForExit(20000)) << "the program still runs";
}

TEST_F(WriterEndToEnd, ClosingTheMainWindowLeavesTheRegFileWindowRunningUntilItClosesToo)
{
    AppProcess& app = startApp();
    HWND mainWindow = nullptr, regFileWindow = nullptr;
    ASSERT_NO_FATAL_FAILURE(openBothWindows(app, mainWindow, regFileWindow));

    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(mainWindow); })) << "the main window stays";
    pumpMessages(2000);
    EXPECT_TRUE(app.isRunning()) << "the program ended with the reg-file window open";
    EXPECT_TRUE(IsWindow(regFileWindow) && IsWindowVisible(regFileWindow));
    EXPECT_EQ(findTopLevel(app.pid(), kMainCaption), nullptr);

    PostMessageA(regFileWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.waitForExit(20000)) << "the program still runs with no window open";
}
