// AddInRegCli: the command-line companion of AddInReg, for build steps and
// scripts. The commands are in src/cli/.
#include "cli/Commands.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    // The formats write their own CR LF; CSV and JSON go out byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);

    // A console shows the program's ANSI text as it is meant, not in the
    // console's OEM code page. Put back as it was when the program ends.
    const UINT consoleCodePage = GetConsoleOutputCP();
    const bool toConsole = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR && consoleCodePage != 0;
    if (toConsole) SetConsoleOutputCP(GetACP());

    int code = 0;
    try {
        code = cli::run(argc, argv);
    } catch (const std::exception& e) {
        std::cout << std::flush;
        std::cerr << "AddInRegCli: " << e.what() << "\n";
        code = cli::kExitUnexpected;
    }
    std::cout << std::flush;
    if (toConsole) SetConsoleOutputCP(consoleCodePage);
    return code;
}
