#pragma once
// Starting the helper program (AddInRegLoad64.exe, AddInRegLoad32.exe) that
// runs an add-in's own code in a process of the add-in's bitness, and
// collecting its answer. Nothing of an add-in ever runs in this process.
#include "platform/Process.h"

#include <string>
#include <vector>

namespace platform {

// The helper of a bitness (32 or 64): its full path in this program's folder.
std::string helperPath(int bits);

// Runs the helper of a bitness with the arguments (UTF-8, each passed as
// exactly one argument), without a window, and waits for it, its standard
// output and error in the run's output; one that has not ended after
// `timeoutSeconds` (0: no limit), or whose ProcessCancelScope is cancelled,
// is ended. Missing when the helper is not beside this program.
ProcessRun runHelper(int bits, const std::vector<std::string>& arguments, unsigned timeoutSeconds);

} // namespace platform
