#include "UtilityRecorder.h"

#include "TestFiles.h"
#include "Ui.h"
#include "platform/Ansi.h"

#include <windows.h>

#include <utility>

namespace testing_support {

UtilityRecorder::UtilityRecorder() : patch_("CreateProcessW", reinterpret_cast<void*>(&recordStart))
{
    outer_ = std::exchange(current_, this);
    static int made = 0;
    folder_ = buildFolder() + "utility stand-ins " + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(++made) + "\\";
    removeFolder(folder_);
    CreateDirectoryA(folder_.c_str(), nullptr);
    char previous[MAX_PATH];
    previousDirectory_.assign(previous, GetCurrentDirectoryA(MAX_PATH, previous));
    SetCurrentDirectoryA(folder_.c_str());
}

UtilityRecorder::~UtilityRecorder()
{
    SetCurrentDirectoryA(previousDirectory_.c_str());
    removeFolder(folder_);
    current_ = outer_;
}

void UtilityRecorder::makeUnstartable(const std::string& exeName) { unstartable_.push_back(exeName); }

std::vector<std::string> UtilityRecorder::starts() const
{
    std::vector<std::string> lines;
    for (const Start& s : starts_) lines.push_back(s.commandLine + "|" + std::to_string(s.showState));
    return lines;
}

std::vector<std::string> UtilityRecorder::applications() const
{
    std::vector<std::string> paths;
    for (const Start& s : starts_) paths.push_back(s.application);
    return paths;
}

namespace {
// The program's text is ANSI; what it starts is named in UTF-16.
std::string ansiOf(const wchar_t* text) { return text ? platform::ansiFromWide(text) : std::string(); }
} // namespace

int __stdcall UtilityRecorder::recordStart(const wchar_t* application, wchar_t* commandLine, void*, void*, int,
                                           unsigned long, void*, const wchar_t*, void* startupInfo,
                                           void* processInformation)
{
    UtilityRecorder& self = *current_;
    const std::string app = ansiOf(application);
    for (const std::string& name : self.unstartable_) {
        if (app.size() >= name.size() && lstrcmpiA(app.c_str() + app.size() - name.size(), name.c_str()) == 0) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
    }
    const auto* si = static_cast<const STARTUPINFOW*>(startupInfo);
    self.starts_.push_back({app, ansiOf(commandLine),
                            (si->dwFlags & STARTF_USESHOWWINDOW) ? int(si->wShowWindow) : -1});
    // Handles the caller can wait on and close: a process that has ended at once.
    auto* pi = static_cast<PROCESS_INFORMATION*>(processInformation);
    pi->hProcess = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    pi->hThread = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    pi->dwProcessId = pi->dwThreadId = 0;
    return TRUE;
}

} // namespace testing_support
