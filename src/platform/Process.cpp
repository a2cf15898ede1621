#include "platform/Process.h"

#include "platform/Handle.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {
struct KernelHandleTraits {
    static HANDLE invalid() { return nullptr; }
    static bool isValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
} // namespace

bool startProgram(const std::string& commandLine, ShowState state)
{
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = WORD(state);
    PROCESS_INFORMATION pi{};
    std::vector<char> line(commandLine.begin(), commandLine.end()); // CreateProcess may write to it
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    // Launch and forget: neither handle is needed.
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    return true;
}

std::string commandWithPath(const std::string& command, const std::string& path)
{
    if (!path.empty() && path.front() == '"') return command + path;
    return command + '"' + path + '"';
}

} // namespace platform
