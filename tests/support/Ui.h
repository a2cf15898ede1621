#pragma once
// Driving real windows as a person would, from the test program: in the same
// process (a window the test created) or in another one (the real
// AddInReg.exe). Clicks and keys are posted, so a handler that opens a
// message box never blocks the driver.
#include <windows.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"

namespace testing_support {

std::string windowText(HWND hwnd);
std::string className(HWND hwnd);
// The direct children of a window in z-order, which is their tab order.
std::vector<HWND> childrenOf(HWND parent);
// The top-level window of the process with this caption, or null.
HWND findTopLevel(DWORD pid, const std::string& caption);

// Pumps this thread's messages while waiting; returns the probe's first
// non-null answer, or null after the timeout.
HWND waitFor(const std::function<HWND()>& probe, int timeoutMs = 20000);
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000);
void pumpMessages(int ms);

// Controls of another process.
int listCount(HWND list);
std::string listText(HWND list, int row);
std::vector<std::string> listItems(HWND list); // every row, top to bottom
int listSelection(HWND list);
void clickListRow(HWND list, int row); // scrolls the row into view and clicks it
void pressKey(HWND target, int virtualKey); // key down, then key up
void typeText(HWND edit, const std::string& text); // one character at a time
void clearText(HWND edit);
void clickButton(HWND button);
bool isChecked(HWND checkBox);

struct SeenMessageBox {
    HWND hwnd = nullptr;
    std::string title;
    std::string text;
    std::vector<std::string> buttons; // captions, in order
    bool hasIcon = false;
    HWND iconControl = nullptr; // the static that shows the icon, if any
};

// Which standard icon a message box shows, judged by the pixels on screen:
// "information", "warning", "error", "question", or "" when none of them (or
// nothing can be read from the screen). The box must be visible on top.
std::string standardIconOf(const SeenMessageBox& box);

// A message box (standard dialog) shown by the process, or nothing.
std::optional<SeenMessageBox> findMessageBox(DWORD pid);
std::optional<SeenMessageBox> waitForMessageBox(DWORD pid, int timeoutMs = 20000);
// Presses the button IDOK, IDYES, IDNO... of the box.
void answerMessageBox(const SeenMessageBox& box, int buttonId);

// Answers, from a background thread, every message box this process shows,
// and remembers what they said. The answer is chosen per box.
class MessageBoxAnswerer {
public:
    using Chooser = std::function<int(const SeenMessageBox&)>;
    explicit MessageBoxAnswerer(Chooser choose = [](const SeenMessageBox&) { return IDOK; });
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    std::vector<SeenMessageBox> seen() const;
    void forget();

private:
    void run();
    Chooser choose_;
    mutable std::mutex mutex_;
    std::vector<SeenMessageBox> seen_;
    bool stop_ = false;
    std::thread thread_;
};

// The real program, started from the folder of the test programs, ended when
// the test is done.
class AppProcess {
public:
    explicit AppProcess(const std::string& workingDirectory = "");
    ~AppProcess();
    AppProcess(const AppProcess&) = delete;
    AppProcess& operator=(const AppProcess&) = delete;

    DWORD pid() const { return child_ ? DWORD(child_->pid()) : 0; }
    bool started() const { return child_.has_value(); }
    HWND waitForWindow(const std::string& caption, int timeoutMs = 60000) const;
    bool waitForExit(int timeoutMs);
    bool isRunning() const;
    DWORD exitCode() const; // STILL_ACTIVE while it runs

private:
    std::optional<Child> child_;
};

// The folder that holds the test programs and AddInReg.exe, with a trailing
// separator.
std::string buildFolder();

} // namespace testing_support
