#pragma once
// AddInRegCli.exe and reg.exe started as a build step starts them: a child
// process whose standard output, standard error and exit code are captured.
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct CliRun {
    bool finished = false;         // false: it could not start, or ran out of time and was ended
    unsigned long exitCode = 0;
    std::string out;               // standard output, byte for byte
    std::string err;               // standard error
};

// Runs AddInRegCli.exe from the folder of the test programs with exactly
// these arguments (UTF-8, passed through the wide command line), in the
// working folder ("" = this process's).
CliRun runCli(const std::vector<std::string>& args, const std::string& workingDirectory = "",
              int timeoutMs = 300000);

// The system's reg.exe with these arguments, as the tests make and merge
// keys with it; its exit code, or -1 when it did not start.
unsigned long runReg(const std::vector<std::string>& args);

// Both hives' classes (HKLM\Software\Classes, HKCU\Software\Classes) as
// `reg export` writes them, for a byte-for-byte before and after. A failed
// export fails the test.
std::string exportedClasses();

// The first line where two exports (UTF-16, as reg export writes them)
// differ, for a readable failure.
std::string firstDifference(const std::string& expected, const std::string& actual);

// The bytes `AddInRegCli write OUT <options>` writes to OUT, or nothing when
// the command fails. For comparing its scripts with the window's.
std::optional<std::string> cliScriptBytes(const std::string& outPath, const std::vector<std::string>& options,
                                          const std::string& workingDirectory = "");

} // namespace testing_support
