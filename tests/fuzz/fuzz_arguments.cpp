// A server value's path, the path as one argument, and the hand-off made
// from a lookup.
#include "FuzzInput.h"
#include "classes/HandOff.h"
#include "classes/Arguments.h"

using namespace fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> in = splitAtNul(data, size, 2);
    const std::string& value = in[1]; // the last part, so that it may hold NULs

    const std::string path = classes::pathOfServerValue(value);
    check(path.size() <= value.size() && contains(value, path), "the path is part of the value");
    if (value.empty() || value[0] != '"') check(path == value, "an unquoted value is the path");

    const bool passable = !value.empty() && value[0] != '/' && value[0] != '-' && !contains(value, "\"") &&
                          !contains(value, std::string_view("\0", 1));
    const std::optional<std::string> argument = classes::quotedArgument(value);
    check(argument.has_value() == passable, "refused exactly when it cannot be passed");
    if (argument) {
        // Read back: an even run of backslashes before the closing quote,
        // halved, and the path before it.
        const std::string& a = *argument;
        check(a.size() >= 2 && a.front() == '"' && a.back() == '"', "in quotes");
        const std::string inner = a.substr(1, a.size() - 2);
        size_t run = 0;
        while (run < inner.size() && inner[inner.size() - 1 - run] == '\\') ++run;
        check(run % 2 == 0 && !contains(inner, "\""), "no quote inside, the closing one not escaped");
        check(inner.substr(0, inner.size() - run / 2) == value, "the path read back");
    }

    const classes::HandOff handOff = classes::handOffFor(in[0], value);
    check(handOff.regFileName.size() >= 3 && handOff.regFileName.substr(handOff.regFileName.size() - 3) == "reg",
          "the reg file name ends in reg");
    if (classes::windowsActOnServer(value)) check(handOff.regFileName.size() == value.size(), "the extension is replaced");
    return 0;
}
