#pragma once
// Turning a path into exactly one argument of a started program's command
// line, by the rules Windows programs use to split their command line, and
// the command line itself: the one a program is started with is the one shown.
#include <optional>
#include <string>
#include <vector>

namespace classes {

// The path a registered server value names: the text inside a leading pair
// of double quotes (what follows the closing quote, such as "/automation",
// is not part of it), else the whole value.
std::string pathOfServerValue(const std::string& value);

// The path as one argument: in double quotes, with the backslashes in front
// of the closing quote doubled. Nothing for a path that cannot be passed
// safely: an empty one, one containing a double quote or a NUL, and one that
// starts with "/" or "-" (it would be taken as a switch).
std::optional<std::string> quotedArgument(const std::string& path);

// The command line a program is started with, and the one shown for it: the
// program's name, the switches as they are, and each argument quoted once
// (quotedArgument), separated by blanks; an argument that follows a switch
// ending in a comma is glued to it, as Explorer's "/select," takes it.
// Nothing when an argument cannot be passed.
std::optional<std::string> commandLine(const std::string& program, const std::string& switches,
                                       const std::vector<std::string>& arguments);

} // namespace classes
