#pragma once
// Starting programs: the system's utilities (regsvr32, regedit, reg) with one
// path as their argument, and (platform/Helper.h) this program's helper. Paths
// are UTF-8 and reach the program exactly, through the wide call; the command
// line comes from classes::commandLine, the one that is also shown.
#include <atomic>
#include <optional>
#include <string>

namespace platform {

// How the started program's window first appears.
enum class ShowState {
    Hidden,         // no window (for a program that waits on it)
    MinimizedFocus, // minimised, and it takes the focus
    NormalNoFocus,  // normal size and place, the focus stays here
    Normal,         // normal size and place, and it takes the focus
};

// Where a system utility lives: regsvr32.exe and reg.exe in the system
// directory, regedit.exe in the Windows directory. Never the program's folder,
// the current folder or the search path.
enum class SystemFolder { System, Windows };

struct Utility {
    SystemFolder folder;
    const char* exeName; // also the first word of the command line, as the utility sees it
};
inline constexpr Utility kRegsvr32{SystemFolder::System, "regsvr32.exe"};
inline constexpr Utility kRegedit{SystemFolder::Windows, "regedit.exe"};
inline constexpr Utility kReg{SystemFolder::System, "reg.exe"};

// The command line a utility is started with: its name, the switches, and
// the path as exactly one quoted argument (see classes::commandLine).
// Nothing when the path cannot be passed as one argument.
std::optional<std::string> utilityCommandLine(const Utility& utility, const std::string& switches,
                                              const std::string& path);

// The utility's full path in its system folder.
std::string utilityPath(const Utility& utility);

// Starts the utility with the switches and the path and does not wait.
// Returns whether it started; a path that cannot be passed safely starts
// nothing.
bool startUtility(const Utility& utility, const std::string& switches, const std::string& path, ShowState state);

// Opens Explorer on the file's folder with the file selected; for a file
// that is not there, on its folder. Returns whether Explorer started.
bool showInFolder(const std::string& path);
// Whether showInFolder has anything to show: the file, or else its folder.
bool canShowInFolder(const std::string& path);

// What became of a program that was started and waited on.
struct ProcessRun {
    enum class Outcome {
        Missing,    // the program is not there (the helper beside this one)
        NotStarted, // it did not start, or an argument cannot be passed
        Exited,
        TimedOut,   // ended at its time limit, or on request
    };
    Outcome outcome = Outcome::NotStarted;
    bool cancelled = false;     // TimedOut: ended on request (ProcessCancelScope), not by its time limit
    unsigned long exitCode = 0; // when it exited
    std::string program;        // its full path, UTF-8
    std::string commandLine;    // what it was started with, UTF-8; "" when an argument cannot be passed
    std::string output;         // what it wrote to its standard output and error, as written, when captured
    bool succeeded() const { return outcome == Outcome::Exited && exitCode == 0; }
    // An exit code that is an exception code (0xC0000000 and up): it crashed.
    bool crashed() const { return outcome == Outcome::Exited && exitCode >= 0xC0000000UL; }
};

// Runs the utility with the switches and the path, without a window, and
// waits for it; one that has not ended after `timeoutSeconds` (0: no limit)
// is ended.
ProcessRun runUtility(const Utility& utility, const std::string& switches, const std::string& path,
                      unsigned timeoutSeconds = 0);

struct StartOptions {
    ShowState show = ShowState::Hidden;
    // Its standard output and error into ProcessRun::output (the only handle
    // it inherits), and no console window.
    bool capture = false;
};

// Runs `program` (a full path) with the command line and waits for it; one
// that has not ended after `timeoutSeconds` (0: no limit), or whose
// ProcessCancelScope is cancelled, is ended. Without a command line (an
// argument that cannot be passed) nothing starts.
ProcessRun runProgram(const std::string& program, const std::optional<std::string>& commandLine,
                      const StartOptions& options, unsigned timeoutSeconds);

// While it lives, a program that runProgram waits on in this thread is ended
// as soon as `cancel` is set, as by its time limit: for work that a window
// runs on a thread of its own and offers to cancel.
class ProcessCancelScope {
public:
    explicit ProcessCancelScope(const std::atomic<bool>& cancel);
    ~ProcessCancelScope();
    ProcessCancelScope(const ProcessCancelScope&) = delete;
    ProcessCancelScope& operator=(const ProcessCancelScope&) = delete;

private:
    const std::atomic<bool>* outer_;
};

} // namespace platform
