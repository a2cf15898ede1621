#pragma once
// The registration doctor's commands of AddInRegCli: `check`, `unregister`
// and `stale`, and the read-back that `write --register --verify` ends with.
#include "cli/ExitCode.h"

#include <memory>
#include <string>

namespace CLI {
class App;
}

namespace cli {

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
    ExitCode run() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Reads every key and value of a merged script back from the registry and
// prints each one that is missing or different with its line number. Returns
// whether none is.
bool verifyMergedScript(const std::string& scriptPath);

} // namespace cli
