#pragma once
// The installer formats of `capture` and `write`: the register script and
// its un-register script, read as `reg import` reads them, written as an
// NSIS include or a WiX fragment with the safe write.
#include "cli/ExitCode.h"
#include "scripts/Installer.h"

#include <string>

namespace cli {

struct InstallerRequest {
    scripts::OutputFormat format = scripts::OutputFormat::Nsis;
    std::string out;
    std::string registerScript;   // the scripts' bytes, as the reg format writes them
    std::string unRegisterScript;
    int bits = 64;
    scripts::InstalledFile file;
};

// Writes the file, or names each value the format cannot carry and writes
// nothing.
ExitCode writeInstallerFile(const InstallerRequest& request);

} // namespace cli
