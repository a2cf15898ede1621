#pragma once
// The one way the tests start a program: through the wide call, with each
// argument quoted so that the program gets it back exactly (names outside the
// ANSI code page included), its handles owned, optionally its output captured.
#include "platform/Handle.h"
#include "platform/Wide.h"

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ChildOptions {
    std::string workingDirectory; // UTF-8; "" = this process's
    bool capture = true;          // standard output and error into ChildRun; else none
    bool hidden = true;           // no console window
};

class Child {
public:
    // Starts `program` (a full path, UTF-8) with the arguments (UTF-8).
    static std::optional<Child> start(const std::string& program, const std::vector<std::string>& args,
                                      const ChildOptions& options = {});

    unsigned long pid() const { return pid_; }
    HANDLE process() const { return process_.get(); }
    bool running() const;
    // Waits; false when it did not end in time.
    bool wait(int timeoutMs) const;
    // Ends it when it still runs and waits for the end.
    void terminate() const;
    unsigned long exitCode() const;

private:
    platform::UniqueKernelHandle process_;
    unsigned long pid_ = 0;
    friend struct ChildRunner;
};

struct ChildRun {
    bool started = false;
    bool finished = false; // false: it could not start, or ran out of time and was ended
    unsigned long exitCode = 0;
    std::string out; // standard output, byte for byte
    std::string err; // standard error
};

// Runs the program to its end (or the time limit, when it is ended).
ChildRun runChild(const std::string& program, const std::vector<std::string>& args, const ChildOptions& options = {},
                  int timeoutMs = 300000);

// The argument quoted so that a program's command-line splitting gives it
// back unchanged.
std::string commandLineArgument(const std::string& arg);

// UTF-8 and UTF-16 for the tests' own Win32 calls: the program's conversion.
using platform::utf8Of;
using platform::wideOf;

} // namespace testing_support
