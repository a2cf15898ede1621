#include "platform/Process.h"

#include "classes/Arguments.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Handle.h"
#include "platform/Wide.h"
#include "text/Text.h"

#include <windows.h>

#include <optional>
#include <string>
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

// Moves what the pipe holds now into `output`, without waiting for more.
void drain(HANDLE pipe, std::string& output)
{
    DWORD available = 0;
    while (pipe && PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        const size_t at = output.size();
        output.resize(at + available);
        DWORD read = 0;
        if (!ReadFile(pipe, output.data() + at, available, &read, nullptr)) read = 0;
        output.resize(at + read);
        if (read == 0) return;
    }
}

struct Started {
    UniqueKernelHandle process;
    UniqueKernelHandle thread;
    UniqueKernelHandle output; // the read end of its standard output and error, when captured
};

// The attribute list that lets a started program inherit one handle and no
// other; no list when the system cannot make one.
class InheritOnly {
public:
    explicit InheritOnly(HANDLE handle) : handle_(handle)
    {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        buffer_.assign(size, '\0');
        auto* made = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
        if (!InitializeProcThreadAttributeList(made, 1, 0, &size)) return;
        if (UpdateProcThreadAttribute(made, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_, sizeof(handle_), nullptr,
                                      nullptr))
            list_ = made;
        else
            DeleteProcThreadAttributeList(made);
    }
    ~InheritOnly()
    {
        if (list_) DeleteProcThreadAttributeList(list_);
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

private:
    HANDLE handle_;
    std::string buffer_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

std::optional<Started> start(const std::string& program, const std::string& commandLine, const StartOptions& options)
{
    if (program.empty()) return std::nullopt;
    Started started;
    // Its standard output and error: the write end of a pipe, the only handle
    // it inherits.
    UniqueKernelHandle writeEnd;
    std::optional<InheritOnly> inherit;
    if (options.capture) {
        SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
        if (!CreatePipe(started.output.put(), writeEnd.put(), &inheritable, 0)) return std::nullopt;
        SetHandleInformation(started.output.get(), HANDLE_FLAG_INHERIT, 0);
        inherit.emplace(writeEnd.get());
    }
    const LPPROC_THREAD_ATTRIBUTE_LIST list = inherit ? inherit->list() : nullptr;

    STARTUPINFOEXW si{};
    si.StartupInfo.cb = list ? sizeof(si) : sizeof(si.StartupInfo);
    si.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    si.StartupInfo.wShowWindow = showCommand(options.show);
    if (options.capture) {
        si.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        si.StartupInfo.hStdOutput = writeEnd.get();
        si.StartupInfo.hStdError = writeEnd.get();
    }
    si.lpAttributeList = list;
    const DWORD flags = (options.capture ? CREATE_NO_WINDOW : 0) | (list ? EXTENDED_STARTUPINFO_PRESENT : 0);
    PROCESS_INFORMATION pi{};
    std::wstring line = platform::wideOf(commandLine); // CreateProcess may write to it
    // The full path names the program, so neither this program's folder, nor
    // the current folder, nor the search path can put another one in its place.
    const BOOL created = CreateProcessW(platform::wideOf(program).c_str(), line.data(), nullptr, nullptr,
                                        options.capture ? TRUE : FALSE, flags, nullptr, nullptr, &si.StartupInfo, &pi);
    if (!created) return std::nullopt;
    started.process.reset(pi.hProcess);
    started.thread.reset(pi.hThread);
    return started; // the write end closes here: the pipe ends when the program (and whatever it started) lets go
}

thread_local const std::atomic<bool>* tCancel = nullptr;
} // namespace

std::optional<std::string> utilityCommandLine(const Utility& utility, const std::string& switches,
                                              const std::string& path)
{
    return classes::commandLine(utility.exeName, switches, {path});
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
    const std::optional<std::string> commandLine = utilityCommandLine(utility, switches, path);
    // Launch and forget: both handles close here.
    return commandLine && start(utilityPath(utility), *commandLine, {state, false}).has_value();
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

ProcessRun runUtility(const Utility& utility, const std::string& switches, const std::string& path,
                      unsigned timeoutSeconds)
{
    return runProgram(utilityPath(utility), utilityCommandLine(utility, switches, path), {}, timeoutSeconds);
}

ProcessCancelScope::ProcessCancelScope(const std::atomic<bool>& cancel) : outer_(tCancel) { tCancel = &cancel; }

ProcessCancelScope::~ProcessCancelScope() { tCancel = outer_; }

ProcessRun runProgram(const std::string& program, const std::optional<std::string>& commandLine,
                      const StartOptions& options, unsigned timeoutSeconds)
{
    ProcessRun run;
    run.program = program;
    if (!commandLine) return run;
    run.commandLine = *commandLine;
    std::optional<Started> started = start(program, *commandLine, options);
    if (!started) return run;
    const HANDLE process = started->process.get();
    const HANDLE output = started->output.get();

    const ULONGLONG deadline = GetTickCount64() + ULONGLONG(timeoutSeconds) * 1000;
    for (;;) {
        drain(output, run.output);
        if (WaitForSingleObject(process, 20) != WAIT_TIMEOUT) break;
        run.cancelled = tCancel && tCancel->load();
        if (run.cancelled || (timeoutSeconds != 0 && GetTickCount64() >= deadline)) {
            TerminateProcess(process, ERROR_TIMEOUT);
            WaitForSingleObject(process, 5000);
            drain(output, run.output);
            run.outcome = ProcessRun::Outcome::TimedOut;
            return run;
        }
    }
    drain(output, run.output);
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code)) return run;
    run.outcome = ProcessRun::Outcome::Exited;
    run.exitCode = code;
    return run;
}

} // namespace platform
