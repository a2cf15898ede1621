#pragma once
// Starting the helper program (AddInRegLoad64.exe, AddInRegLoad32.exe) that
// runs an add-in's own code in a process of the add-in's bitness, and
// collecting its answer. Nothing of an add-in ever runs in this process.
#include <atomic>
#include <string>
#include <vector>

namespace platform {

struct HelperRun {
    enum class Outcome {
        Missing,    // the helper program is not beside this one
        NotStarted, // it is, but did not start (or an argument cannot be passed)
        Exited,
        TimedOut, // ended after the time limit
    };
    Outcome outcome = Outcome::NotStarted;
    bool cancelled = false;     // TimedOut: ended on request (HelperCancelScope), not by its time limit
    unsigned long exitCode = 0; // when it exited
    std::string output;         // what it wrote to its standard output and error, as written
    std::string program;        // the helper's full path, UTF-8
    // An exit code that is an exception code (0xC0000000 and up): the helper
    // crashed.
    bool crashed() const { return outcome == Outcome::Exited && exitCode >= 0xC0000000UL; }
};

// The helper of a bitness (32 or 64): its full path in this program's folder.
std::string helperPath(int bits);

// Runs the helper of a bitness with the arguments (UTF-8, each passed as
// exactly one argument), without a window, and waits for it; one that has
// not ended after `timeoutSeconds` (0: no limit) is ended.
HelperRun runHelper(int bits, const std::vector<std::string>& arguments, unsigned timeoutSeconds);

// While it lives, a helper that runHelper waits on in this thread is ended
// as soon as `cancel` is set, as by its time limit: for work that a window
// runs on a thread of its own and offers to cancel.
class HelperCancelScope {
public:
    explicit HelperCancelScope(const std::atomic<bool>& cancel);
    ~HelperCancelScope();
    HelperCancelScope(const HelperCancelScope&) = delete;
    HelperCancelScope& operator=(const HelperCancelScope&) = delete;

private:
    const std::atomic<bool>* outer_;
};

} // namespace platform
