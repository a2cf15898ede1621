#pragma once
// The choices the commands share, parsed by CLI11 into enums: a wrong value is
// a usage error that lists the choices.
#include "doctor/Checklist.h"
#include "output/Output.h"
#include "scripts/Installer.h"

#include <CLI/CLI.hpp>

#include "platform/Files.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// A choice given by its name, in either case, into its enum; a wrong value
// is refused with the list of the choices.
template <typename Enum>
CLI::Validator choiceOf(const std::vector<std::pair<std::string, Enum>>& choices)
{
    return CLI::Validator(
        [choices](std::string& text) {
            std::string names;
            for (const auto& [name, value] : choices) {
                if (text::equalIgnoringCase(text, name)) {
                    text = std::to_string(static_cast<int>(value));
                    return std::string();
                }
                names += (names.empty() ? "" : ", ") + name;
            }
            return "\"" + text + "\" is not one of: " + names;
        },
        "");
}

enum class ViewChoice { Bits64, Bits32, Both };
using FormatChoice = output::Format;

inline bool reads64(ViewChoice view) { return view != ViewChoice::Bits32; }
inline bool reads32(ViewChoice view) { return view != ViewChoice::Bits64; }

inline CLI::Option* addViewOption(CLI::App& command, ViewChoice& view, const std::string& help)
{
    return command.add_option("--view", view, help)
        ->transform(choiceOf<ViewChoice>({{"64", ViewChoice::Bits64}, {"32", ViewChoice::Bits32}, {"both", ViewChoice::Both}}))
        ->type_name("64|32|both");
}

inline CLI::Option* addFormatOption(CLI::App& command, FormatChoice& format, bool withCsv)
{
    std::vector<std::pair<std::string, FormatChoice>> choices{{"text", FormatChoice::Text}};
    if (withCsv) choices.emplace_back("csv", FormatChoice::Csv);
    choices.emplace_back("json", FormatChoice::Json);
    return command.add_option("--format", format, withCsv ? "Output: text, csv or json" : "Output: text or json")
        ->transform(choiceOf(choices))
        ->type_name(withCsv ? "text|csv|json" : "text|json");
}

// What a command that writes a registration writes: the registry scripts, an
// NSIS include or a WiX fragment.
inline CLI::Option* addOutputFormatOption(CLI::App& command, scripts::OutputFormat& format)
{
    return command
        .add_option("--format", format,
                    "reg (the default): a register and an un-register script; nsis: an NSIS 3 include with a register and an "
                    "unregister macro; wix: a WiX v4 fragment with the DLL's component")
        ->transform(choiceOf<scripts::OutputFormat>(
            {{"reg", scripts::OutputFormat::Reg}, {"nsis", scripts::OutputFormat::Nsis}, {"wix", scripts::OutputFormat::Wix}}))
        ->type_name("reg|nsis|wix");
}

inline CLI::Option* addHostOption(CLI::App& command, doctor::Host& host, bool withAny, const std::string& help)
{
    std::vector<std::pair<std::string, doctor::Host>> choices{{"r6", doctor::Host::R6}, {"older", doctor::Host::Older}};
    if (withAny) choices.emplace_back("any", doctor::Host::Any);
    return command.add_option("--host", host, help)
        ->transform(choiceOf(choices))
        ->type_name(withAny ? "r6|older|any" : "r6|older");
}

// Refuses an empty value of the named argument.
inline CLI::Validator nonEmpty(const std::string& what)
{
    return {[what](std::string& text) { return text.empty() ? what + " is empty" : std::string(); }, ""};
}

// A name the program can hold exactly. One with an unpaired surrogate (a
// Windows name may hold one; UTF-16 text may not) is refused with the
// reason, never acted on as another name.
inline CLI::Validator exactName(const std::string& what)
{
    return {[what](std::string& text) {
                const std::optional<char16_t> unit = text::unpairedSurrogate(text);
                if (!unit) return std::string();
                char code[16];
                std::snprintf(code, sizeof(code), "U+%04X", unsigned(*unit));
                return what + " holds an unpaired surrogate (" + code +
                       "), which is not valid UTF-16: no script can be named so without being named as another file";
            },
            ""};
}

// An existing file, told by the wide calls (CLI11's own test would read the
// name in the ANSI code page).
inline CLI::Validator existingFile(const std::string& what)
{
    return {
        [what](std::string& path) {
            if (path.empty()) return what + " is empty";
            return platform::fileExists(path) ? std::string() : what + ": \"" + path + "\" is not a file";
        },
        ""};
}

// --timeout SECONDS for the commands that wait on a started utility.
inline CLI::Option* addTimeoutOption(CLI::App& command, unsigned& seconds)
{
    return command
        .add_option("--timeout", seconds,
                    "Seconds to wait for each started utility before it is ended (0: no limit)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0U, 86400U))
        ->capture_default_str();
}

// --load and --load-timeout SECONDS: the load trial, which runs the add-in's code.
inline void addLoadOptions(CLI::App& command, bool& load, unsigned& seconds, unsigned defaultSeconds)
{
    command.add_flag("--load", load,
                     "Also try loading each class: a helper process of the view's bitness asks COM for it, "
                     "which runs the add-in's own code");
    seconds = defaultSeconds;
    command
        .add_option("--load-timeout", seconds, "Seconds a load trial may take before it is ended (0: no limit)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0U, 86400U))
        ->capture_default_str();
}

} // namespace cli
