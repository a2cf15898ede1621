#include "platform/Helper.h"

#include "classes/Arguments.h"
#include "platform/Wide.h"
#include "text/Text.h"

#include <windows.h>

namespace platform {

std::string helperPath(int bits)
{
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), DWORD(self.size())));
    const std::string folder(text::folderOf(platform::utf8Of(self)));
    return folder + (bits == 32 ? "AddInRegLoad32.exe" : "AddInRegLoad64.exe");
}

ProcessRun runHelper(int bits, const std::vector<std::string>& arguments, unsigned timeoutSeconds)
{
    const std::string program = helperPath(bits);
    if (GetFileAttributesW(platform::wideOf(program).c_str()) == INVALID_FILE_ATTRIBUTES) {
        ProcessRun run;
        run.program = program;
        run.outcome = ProcessRun::Outcome::Missing;
        return run;
    }
    return runProgram(program, classes::commandLine(std::string(text::fileNameOf(program)), "", arguments),
                      {ShowState::Hidden, true}, timeoutSeconds);
}

} // namespace platform
