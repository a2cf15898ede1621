#pragma once
// Starting another program from a command line, the way the shell does.
#include <string>

namespace platform {

// How the started program's window first appears.
enum class ShowState {
    MinimizedFocus = 2, // minimised, and it takes the focus
    NormalNoFocus = 4,  // normal size and place, the focus stays here
};

// Starts the command line (the first word names the program, found on the
// search path) and does not wait for it. Returns whether it started.
bool startProgram(const std::string& commandLine, ShowState state);

// A command followed by a path as one argument: the path goes in double
// quotes unless it already begins with one, so blanks in it stay part of it
// and nothing in it is taken as a further switch.
std::string commandWithPath(const std::string& command, const std::string& path);

} // namespace platform
