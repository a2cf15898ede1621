#pragma once
// AddInRegCli, the command-line companion of the two windows: `list`, `find`,
// `write` and the doctor's commands, each with --help, and --version. The
// commands call the rules the windows use; they open no window.
#include "cli/ExitCode.h"
#include "platform/Process.h"

#include <string>

namespace cli {

// How long a started utility may take by default, in seconds.
inline constexpr unsigned kDefaultTimeout = 120;

// Prints a started utility's command line, as it was started, with its exit
// code, that it could not be started, or that it was ended at its time limit.
// True when it ran and gave 0.
bool reportExitCode(const platform::ProcessRun& result);

// Writes a script with the safe write and prints "Written: PATH", or why it
// was not written. `templatePath`: the template in use, never replaced.
bool writeFile(const std::string& path, const std::string& text, const std::string& templatePath);

// Runs one command line, its arguments in UTF-8, and gives the exit code.
int run(int argc, char** argv);

} // namespace cli
