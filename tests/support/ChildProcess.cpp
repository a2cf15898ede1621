#include "ChildProcess.h"

#include <thread>

namespace testing_support {

namespace {

using platform::UniqueKernelHandle;

// Reads a pipe to its end.
void drain(HANDLE pipe, std::string& into)
{
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) into.append(buffer, read);
}

struct Pipe {
    UniqueKernelHandle read;
    UniqueKernelHandle write;
    bool open()
    {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        HANDLE r = nullptr;
        HANDLE w = nullptr;
        if (!CreatePipe(&r, &w, &inherit, 0)) return false;
        read.reset(r);
        write.reset(w);
        SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0); // only the child's end is inherited
        return true;
    }
};

} // namespace

std::string commandLineArgument(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes in front of a quote are doubled, and the quote escaped.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\'); // in front of the closing quote
    return quoted + '"';
}

struct ChildRunner {
    static std::optional<Child> start(const std::string& program, const std::vector<std::string>& args,
                                      const ChildOptions& options, HANDLE out, HANDLE err)
    {
        std::string commandLine = commandLineArgument(program);
        for (const std::string& arg : args) commandLine += ' ' + commandLineArgument(arg);
        std::wstring line = wideOf(commandLine);
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        UniqueKernelHandle nul;
        if (out) {
            nul.reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
            SetHandleInformation(nul.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdInput = nul.get();
            si.hStdOutput = out;
            si.hStdError = err;
        }
        PROCESS_INFORMATION pi{};
        const std::wstring folder = wideOf(options.workingDirectory);
        if (!CreateProcessW(wideOf(program).c_str(), line.data(), nullptr, nullptr, out != nullptr,
                            options.hidden ? CREATE_NO_WINDOW : 0, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &si, &pi))
            return std::nullopt;
        CloseHandle(pi.hThread);
        Child child;
        child.process_.reset(pi.hProcess);
        child.pid_ = pi.dwProcessId;
        return child;
    }
};

std::optional<Child> Child::start(const std::string& program, const std::vector<std::string>& args,
                                  const ChildOptions& options)
{
    return ChildRunner::start(program, args, options, nullptr, nullptr);
}

bool Child::running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

bool Child::wait(int timeoutMs) const
{
    return process_ && WaitForSingleObject(process_.get(), DWORD(timeoutMs)) == WAIT_OBJECT_0;
}

void Child::terminate() const
{
    if (!running()) return;
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 10000);
}

unsigned long Child::exitCode() const
{
    DWORD code = static_cast<DWORD>(-1);
    if (process_) GetExitCodeProcess(process_.get(), &code);
    return code;
}

ChildRun runChild(const std::string& program, const std::vector<std::string>& args, const ChildOptions& options,
                  int timeoutMs)
{
    ChildRun run;
    Pipe out, err;
    std::optional<Child> child;
    if (options.capture) {
        if (!out.open() || !err.open()) return run;
        child = ChildRunner::start(program, args, options, out.write.get(), err.write.get());
        // The child holds its own copies now: the reads end when it does.
        out.write.reset();
        err.write.reset();
    } else {
        child = Child::start(program, args, options);
    }
    if (!child) return run;
    run.started = true;
    std::thread outReader;
    std::thread errReader;
    if (options.capture) {
        outReader = std::thread(drain, out.read.get(), std::ref(run.out));
        errReader = std::thread(drain, err.read.get(), std::ref(run.err));
    }
    run.finished = child->wait(timeoutMs);
    if (!run.finished) child->terminate();
    if (outReader.joinable()) outReader.join();
    if (errReader.joinable()) errReader.join();
    run.exitCode = child->exitCode();
    return run;
}

} // namespace testing_support
