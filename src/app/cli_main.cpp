// AddInRegCli: the command-line companion of AddInReg, for build steps and
// scripts. The commands are in src/cli/.
#include "cli/Commands.h"
#include "cli/Print.h"
#include "platform/Wide.h"

#include <windows.h>

#include <shellapi.h>

#include <exception>
#include <string>
#include <vector>

int main()
{
    // The arguments as typed, from the wide command line: a name outside the
    // ANSI code page is never taken for another.
    int argc = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> arguments;
    arguments.reserve(size_t(argc));
    for (int i = 0; wide && i < argc; ++i) arguments.push_back(platform::utf8Of(wide[i]));
    LocalFree(wide);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    try {
        return cli::run(int(arguments.size()), argv.data());
    } catch (const std::exception& e) {
        cli::printError(e.what());
        return cli::codeOf(cli::ExitCode::Unexpected);
    }
}
