#pragma once
// The registration capture, run in the helper program.
#include <string>
#include <vector>

namespace helper {

// Runs the capture; the arguments follow the word "capture". Returns the
// program's exit code.
int runCapture(const std::vector<std::wstring> &arguments);

} // namespace helper
