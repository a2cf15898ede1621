#include "platform/Helper.h"

#include "classes/Arguments.h"
#include "platform/Handle.h"
#include "platform/Wide.h"
#include "text/Text.h"

#include <windows.h>

#include <optional>

namespace platform {

namespace {

// Moves what the pipe holds now into `output`, without waiting for more.
void drain(HANDLE pipe, std::string& output)
{
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        const size_t at = output.size();
        output.resize(at + available);
        DWORD read = 0;
        if (!ReadFile(pipe, output.data() + at, available, &read, nullptr)) read = 0;
        output.resize(at + read);
        if (read == 0) return;
    }
}

} // namespace

std::string helperPath(int bits)
{
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), DWORD(self.size())));
    const std::string folder(text::folderOf(platform::utf8Of(self)));
    return folder + (bits == 32 ? "AddInRegLoad32.exe" : "AddInRegLoad64.exe");
}

namespace {
thread_local const std::atomic<bool>* tCancel = nullptr;
} // namespace

HelperCancelScope::HelperCancelScope(const std::atomic<bool>& cancel) : outer_(tCancel) { tCancel = &cancel; }

HelperCancelScope::~HelperCancelScope() { tCancel = outer_; }

HelperRun runHelper(int bits, const std::vector<std::string>& arguments, unsigned timeoutSeconds)
{
    HelperRun run;
    run.program = helperPath(bits);
    if (GetFileAttributesW(platform::wideOf(run.program).c_str()) == INVALID_FILE_ATTRIBUTES) {
        run.outcome = HelperRun::Outcome::Missing;
        return run;
    }
    std::string line(text::fileNameOf(run.program));
    for (const std::string& argument : arguments) {
        std::optional<std::string> quoted = classes::quotedArgument(argument);
        if (!quoted) return run;
        line += ' ' + *quoted;
    }

    // Its standard output and error: the write end of a pipe, the only handle
    // it inherits.
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    UniqueKernelHandle readEnd;
    UniqueKernelHandle writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return run;
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    SIZE_T attributesSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attributesSize);
    std::string attributes(attributesSize, '\0');
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    HANDLE inherited = writeEnd.get();
    const bool listed = InitializeProcThreadAttributeList(list, 1, 0, &attributesSize) &&
                        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inherited,
                                                  sizeof(inherited), nullptr, nullptr);

    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof(si);
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.StartupInfo.wShowWindow = SW_HIDE;
    si.StartupInfo.hStdOutput = writeEnd.get();
    si.StartupInfo.hStdError = writeEnd.get();
    si.lpAttributeList = listed ? list : nullptr;
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = platform::wideOf(line);
    const BOOL started = CreateProcessW(platform::wideOf(run.program).c_str(), commandLine.data(), nullptr, nullptr,
                                        TRUE, CREATE_NO_WINDOW | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0), nullptr,
                                        nullptr, &si.StartupInfo, &pi);
    if (listed) DeleteProcThreadAttributeList(list);
    if (!started) return run;
    UniqueKernelHandle process(pi.hProcess);
    UniqueKernelHandle thread(pi.hThread);
    writeEnd.reset(); // the pipe ends when the helper (and whatever it started) lets go of it

    const ULONGLONG deadline = GetTickCount64() + ULONGLONG(timeoutSeconds) * 1000;
    for (;;) {
        drain(readEnd.get(), run.output);
        if (WaitForSingleObject(process.get(), 20) != WAIT_TIMEOUT) break;
        run.cancelled = tCancel && tCancel->load();
        if (run.cancelled || (timeoutSeconds != 0 && GetTickCount64() >= deadline)) {
            TerminateProcess(process.get(), ERROR_TIMEOUT);
            WaitForSingleObject(process.get(), 5000);
            drain(readEnd.get(), run.output);
            run.outcome = HelperRun::Outcome::TimedOut;
            return run;
        }
    }
    drain(readEnd.get(), run.output);
    DWORD code = 0;
    if (!GetExitCodeProcess(process.get(), &code)) return run;
    run.outcome = HelperRun::Outcome::Exited;
    run.exitCode = code;
    return run;
}

} // namespace platform
