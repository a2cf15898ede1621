#include "platform/Process.h"

#include "classes/Arguments.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Handle.h"
#include "platform/Wide.h"
#include "text/Text.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {
WORD showCommand(ShowState state)
{
    switch (state) {
    case ShowState::Hidden: return SW_HIDE;
    case ShowState::MinimizedFocus: return SW_SHOWMINIMIZED;
    case ShowState::NormalNoFocus: return SW_SHOWNOACTIVATE;
    case ShowState::Normal: return SW_SHOWNORMAL;
    }
    return SW_SHOWNORMAL;
}

struct Started {
    UniqueKernelHandle process;
    UniqueKernelHandle thread;
};

std::optional<Started> start(const Utility& utility, const std::string& switches, const std::string& path,
                             ShowState state)
{
    std::optional<std::string> commandLine = utilityCommandLine(utility, switches, path);
    if (!commandLine) return std::nullopt;
    const std::string application = utilityPath(utility);
    if (application.empty()) return std::nullopt;

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = showCommand(state);
    PROCESS_INFORMATION pi{};
    std::wstring line = platform::wideOf(*commandLine); // CreateProcess may write to it
    // The full path names the program, so neither this program's folder, nor
    // the current folder, nor the search path can put another one in its place.
    if (!CreateProcessW(platform::wideOf(application).c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi))
        return std::nullopt;
    return Started{UniqueKernelHandle(pi.hProcess), UniqueKernelHandle(pi.hThread)};
}
} // namespace

std::optional<std::string> utilityCommandLine(const Utility& utility, const std::string& switches,
                                              const std::string& path)
{
    std::optional<std::string> argument = classes::quotedArgument(path);
    if (!argument) return std::nullopt;
    // A switch that ends in a comma takes its argument glued to it, as
    // Explorer's /select, does.
    std::string line = std::string(utility.exeName) + " " + switches;
    if (!switches.empty() && switches.back() != ',') line += ' ';
    return line + *argument;
}

std::string utilityPath(const Utility& utility)
{
    std::string path = utility.folder == SystemFolder::System ? systemFolder() : windowsFolder();
    if (path.empty()) return {};
    if (path.back() != '\\') path += '\\';
    return path + utility.exeName;
}

bool startUtility(const Utility& utility, const std::string& switches, const std::string& path, ShowState state)
{
    return start(utility, switches, path, state).has_value(); // launch and forget: both handles close here
}

namespace {

std::string folderWithoutSeparator(const std::string& path)
{
    std::string folder(text::folderOf(path));
    if (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/') && folder[folder.size() - 2] != ':')
        folder.pop_back();
    return folder;
}

} // namespace

bool showInFolder(const std::string& path)
{
    static constexpr Utility kExplorer{SystemFolder::Windows, "explorer.exe"};
    if (fileExists(path)) return startUtility(kExplorer, "/select,", path, ShowState::Normal);
    return startUtility(kExplorer, "", folderWithoutSeparator(path), ShowState::Normal);
}

bool canShowInFolder(const std::string& path)
{
    if (path.empty()) return false;
    const std::string folder = folderWithoutSeparator(path);
    return fileExists(path) || (!folder.empty() && folderExists(folder));
}

RunResult runUtility(const Utility& utility, const std::string& switches, const std::string& path,
                     unsigned timeoutSeconds)
{
    std::optional<Started> started = start(utility, switches, path, ShowState::Hidden);
    if (!started) return {RunResult::Outcome::NotStarted, 0};
    const DWORD limit = timeoutSeconds == 0 ? INFINITE : DWORD(timeoutSeconds) * 1000;
    if (WaitForSingleObject(started->process.get(), limit) == WAIT_TIMEOUT) {
        TerminateProcess(started->process.get(), ERROR_TIMEOUT);
        WaitForSingleObject(started->process.get(), 5000);
        return {RunResult::Outcome::TimedOut, 0};
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(started->process.get(), &code)) return {RunResult::Outcome::NotStarted, 0};
    return {RunResult::Outcome::Exited, code};
}

} // namespace platform
