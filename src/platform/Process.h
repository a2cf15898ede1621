#pragma once
// Starting the system's utilities (regsvr32, regedit, reg) with one path as
// their argument. Paths are UTF-8 and reach the utility exactly, through the
// wide call.
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
// the path as exactly one quoted argument (glued to a switch that ends in a
// comma). Nothing when the path cannot be
// passed as one argument (see quotedArgument).
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

struct RunResult {
    enum class Outcome { Exited, NotStarted, TimedOut };
    Outcome outcome = Outcome::NotStarted;
    unsigned long exitCode = 0; // when it exited
    bool succeeded() const { return outcome == Outcome::Exited && exitCode == 0; }
};

// Runs the utility with the switches and the path, without a window, and
// waits for it; one that has not ended after `timeoutSeconds` (0: no limit)
// is ended.
RunResult runUtility(const Utility& utility, const std::string& switches, const std::string& path,
                     unsigned timeoutSeconds = 0);

} // namespace platform
