#include "CliProcess.h"

#include "TestFiles.h"
#include "Ui.h"

#include <windows.h>

#include <thread>

namespace testing_support {

namespace {

// Reads a pipe to its end.
void drain(HANDLE pipe, std::string& into)
{
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) into.append(buffer, read);
}

struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    bool open()
    {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        if (!CreatePipe(&read, &write, &inherit, 0)) return false;
        SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0); // only the child's end is inherited
        return true;
    }
    void closeWrite()
    {
        if (write) CloseHandle(write);
        write = nullptr;
    }
    ~Pipe()
    {
        closeWrite();
        if (read) CloseHandle(read);
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

CliRun runCli(const std::vector<std::string>& args, const std::string& workingDirectory, int timeoutMs)
{
    CliRun run;
    std::string commandLine = commandLineArgument(buildFolder() + "AddInRegCli.exe");
    for (const std::string& arg : args) {
        commandLine += ' ';
        commandLine += commandLineArgument(arg);
    }

    Pipe out, err;
    if (!out.open() || !err.open()) return run;
    HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    SetHandleInformation(nul, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = out.write;
    si.hStdError = err.write;
    PROCESS_INFORMATION pi{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &si, &pi);
    // The child holds its own copies now: the reads end when it does.
    out.closeWrite();
    err.closeWrite();
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!started) return run;

    std::thread outReader(drain, out.read, std::ref(run.out));
    std::thread errReader(drain, err.read, std::ref(run.err));
    run.finished = WaitForSingleObject(pi.hProcess, DWORD(timeoutMs)) == WAIT_OBJECT_0;
    if (!run.finished) TerminateProcess(pi.hProcess, 1);
    outReader.join();
    errReader.join();
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    run.exitCode = code;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return run;
}

std::optional<std::string> cliScriptBytes(const std::string& outPath, const std::vector<std::string>& options,
                                          const std::string& workingDirectory)
{
    std::vector<std::string> args{"write", outPath};
    args.insert(args.end(), options.begin(), options.end());
    const CliRun run = runCli(args, workingDirectory);
    if (!run.finished || run.exitCode != 0) return std::nullopt;
    std::string path = outPath;
    if (!workingDirectory.empty() && path.find(':') == std::string::npos && path.rfind("\\\\", 0) != 0)
        path = workingDirectory + "\\" + path;
    return readFileBytes(path);
}

unsigned long runReg(const std::string& args)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    std::string line = std::string(system) + "\\reg.exe";
    line.insert(line.begin(), '"');
    line += "\" " + args;
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return static_cast<unsigned long>(-1);
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

} // namespace testing_support
