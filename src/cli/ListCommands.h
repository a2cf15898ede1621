#pragma once
// `list` and `find`: the ProgIDs the main window lists, with their class and
// server, in either view.
#include "cli/ExitCode.h"
#include "cli/Options.h"

#include <string>

namespace cli {

struct ListOptions {
    ViewChoice view = ViewChoice::Bits64;
    FormatChoice format = FormatChoice::Text;
};

ExitCode runList(const ListOptions& options);
ExitCode runFind(const std::string& typed, const ListOptions& options);

} // namespace cli
