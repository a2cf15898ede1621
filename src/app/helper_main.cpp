// AddInRegLoad64.exe and AddInRegLoad32.exe: the helper that runs an add-in's
// own code on the companion's behalf, in a process of the add-in's bitness,
// so that the companion never loads a server itself. It answers on its
// standard output (helper/Answer.h).
//   AddInRegLoad64 load {CLSID} [SERVER] [{IID}]   (SERVER is a full path, never "{...}")
//   AddInRegLoad64 capture ...
#include "helper/Answer.h"
#include "helper/RegisterIntoScratch.h"
#include "helper/ClassActivation.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include <string>
#include <vector>

namespace {

// An exception the add-in's code raised and nobody handled: answered, and
// the process ends with its code, without the system's error dialog or a
// debugger.
LONG WINAPI unhandled(EXCEPTION_POINTERS* pointers)
{
    const DWORD code = pointers && pointers->ExceptionRecord ? pointers->ExceptionRecord->ExceptionCode : 0;
    helper::answer(helper::kException, text::codeText(code));
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // No dialog may wait for a person: not for a missing file, a missing
    // DLL, nor a crash.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(unhandled);
    // The answer's lines end as written.
    _setmode(_fileno(stdout), _O_BINARY);

    std::vector<std::wstring> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::wstring iid;
    if (arguments.size() >= 3 && arguments[0] == L"load" && arguments.back().starts_with(L"{")) {
        iid = arguments.back();
        arguments.pop_back();
    }
    if ((arguments.size() == 2 || arguments.size() == 3) && arguments[0] == L"load")
        return helper::runLoadTrial(arguments[1], arguments.size() == 3 ? arguments[2] : std::wstring(), iid);
    if (!arguments.empty() && arguments[0] == L"capture")
        return helper::runCapture(std::vector<std::wstring>(arguments.begin() + 1, arguments.end()));
    return text::helperExit::kUsage;
}
