#pragma once
// AddInRegCli, the command-line companion of the two windows: `list`,
// `find` and `write`, each with --help, and --version. The commands call the
// rules the windows use; they open no window.
#include <optional>
#include <string>

namespace cli {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNothingFound = 1; // also: write --register, a utility failed
inline constexpr int kExitUsage = 2;        // the reason on one line, then the usage, on stderr
inline constexpr int kExitNotWritten = 3;   // the path and the reason on stderr; no partial file
inline constexpr int kExitUnexpected = 4;   // an exception no command expects, such as running out of memory

// Prints a started utility's exit code, or that it could not be started.
// True when it ran and gave 0.
bool reportExitCode(const std::string& what, const std::optional<unsigned long>& code);

// Runs one command line. Prints to std::cout and std::cerr; standard output
// is expected in binary mode, since the lines end in CR LF already.
int run(int argc, char** argv);

} // namespace cli
