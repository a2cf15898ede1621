#pragma once
// The exit codes of AddInRegCli: one meaning each, the same in every command.
namespace cli {

enum class ExitCode : int {
    Ok = 0,
    // A check found a problem: a checklist item failed (with --strict: or
    // warned), stale classes were found, a key or value is not as a script
    // writes it, keys are left after unregister, or a started utility gave a
    // non-zero exit code, could not be started or was ended at its time limit,
    // or a capture was not clean (a write went around it, DllRegisterServer
    // failed, crashed or ran out of time): then no script is written.
    Failed = 1,
    // The command line is wrong: the reason on one line on standard error.
    // Nothing was read or written.
    Usage = 2,
    // A file, or the output itself, could not be written or read: the path
    // and the reason on standard error. No partial file is left.
    NotWritten = 3,
    // An error no command expects, such as running out of memory.
    Unexpected = 4,
    // Nothing was found: `find` matched no row, or TARGET names no class.
    NothingFound = 5,
};

inline int codeOf(ExitCode code) { return static_cast<int>(code); }

} // namespace cli
