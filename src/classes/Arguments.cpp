#include "classes/Arguments.h"

namespace classes {

std::string pathOfServerValue(const std::string& value)
{
    if (value.empty() || value.front() != '"') return value;
    size_t close = value.find('"', 1);
    return value.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}

std::optional<std::string> quotedArgument(const std::string& path)
{
    if (path.empty() || path.front() == '/' || path.front() == '-') return std::nullopt;
    if (path.find_first_of(std::string("\"\0", 2)) != std::string::npos) return std::nullopt;
    // Inside quotes, backslashes are literal except in front of a quote:
    // double those in front of the closing one.
    size_t trailing = 0;
    while (trailing < path.size() && path[path.size() - 1 - trailing] == '\\') ++trailing;
    return '"' + path + std::string(trailing, '\\') + '"';
}

std::optional<std::string> commandLine(const std::string& program, const std::string& switches,
                                       const std::vector<std::string>& arguments)
{
    std::string line = program;
    if (!switches.empty()) line += ' ' + switches;
    bool glued = !switches.empty() && switches.back() == ','; // the first argument only
    for (const std::string& argument : arguments) {
        std::optional<std::string> quoted = quotedArgument(argument);
        if (!quoted) return std::nullopt;
        if (!glued) line += ' ';
        glued = false;
        line += *quoted;
    }
    return line;
}

} // namespace classes
