#pragma once
// Turning a path into exactly one argument of a started program's command
// line, by the rules Windows programs use to split their command line.
#include <optional>
#include <string>

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

} // namespace classes
