#pragma once
// `verify SCRIPT`: any REGEDIT4 or Version 5.00 script compared with the
// registry, nothing merged; and the same read-back for `write --verify`.
#include "cli/ExitCode.h"
#include "scripts/RegFileReader.h"

#include <memory>
#include <string>

namespace CLI {
class App;
}

namespace cli {

class VerifyCommand {
public:
    // Adds the command to the program's.
    explicit VerifyCommand(CLI::App& app);
    ~VerifyCommand();
    VerifyCommand(const VerifyCommand&) = delete;
    VerifyCommand& operator=(const VerifyCommand&) = delete;

    bool parsed() const;
    ExitCode run() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Reads the script at `path` as `importer` reads it and prints each key,
// value or line that is not as written (one per line, or a JSON array).
// Ok when all is, Failed when not, NotWritten when the script cannot be read.
ExitCode verifyScriptFile(const std::string& path, scripts::Importer importer, bool json);

} // namespace cli
