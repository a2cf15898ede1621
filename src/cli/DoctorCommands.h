#pragma once
// The registration doctor's commands of AddInRegCli: `check`, `unregister`
// and `stale`, and the read-back that `write --register --verify` ends with.
#include <memory>
#include <string>

namespace CLI {
class App;
}

namespace cli {

// Exit codes of the doctor's commands, besides kExitOk and kExitUsage.
inline constexpr int kExitFailed = 1;   // check: an item failed (with --strict: or warned); unregister: a
                                        // utility failed or keys are left; stale: stale classes were found
inline constexpr int kExitNotFound = 3; // check, unregister: the target names no class;
                                        // stale: the cleanup script was not written

class DoctorCommands {
public:
    // Adds the commands to the program's.
    explicit DoctorCommands(CLI::App& app);
    ~DoctorCommands();
    DoctorCommands(const DoctorCommands&) = delete;
    DoctorCommands& operator=(const DoctorCommands&) = delete;

    // Whether the command line named one of them; then run() carries it out
    // and gives the exit code.
    bool parsed() const;
    int run() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Reads every key and value of a merged script back from the registry and
// prints each one that is missing or different with its line number. Returns
// whether none is.
bool verifyMergedScript(const std::string& scriptPath);

} // namespace cli
