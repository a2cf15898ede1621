#pragma once
// Whether the registry holds what a registry script asks of it: the script
// read as its importer reads it, its final state (a key deleted and then
// written again is judged as written) compared key by key and value by
// value, each difference reported with the line that asked for it. The
// registry is read through the probe, so the rule needs no Windows header.
#include "scripts/RegFileReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace doctor {

struct StoredValue {
    uint32_t type = 0;
    std::string data; // as the wide registry stores it: strings as UTF-16 LE with their NUL
};

// A key below one of the roots; "" is the root itself. HKEY_CLASSES_ROOT is
// read as programs see it, a per-user key winning over the machine's.
struct RegistryProbe {
    std::function<bool(scripts::RegRoot, const std::string& path)> keyExists;
    std::function<std::optional<StoredValue>(scripts::RegRoot, const std::string& path, const std::string& name)>
        value;
};

enum class FindingKind {
    Missing,     // a key or value the script writes is not there
    Different,   // a value of another type or other data
    Present,     // a key or value the script deletes is still there
    Skipped,     // a line the importer passes over, without a word
    NotImported, // the header is wrong: the importer imports nothing at all
    Escape,      // a name or string with an escape the importer does not know: stored without its "\"
};

struct Finding {
    size_t line = 0;
    FindingKind kind = FindingKind::Missing;
    std::string key;                      // the key's full name; "" when the line names none
    std::optional<std::string> valueName; // for a value: its name, "" for the default value
    std::string expected;                 // what the script asks for: "present", "absent", or the value
    std::string found;                    // what the registry holds, in the same form
    std::string message;                  // starts with "line N: "
};

struct VerifyOptions {
    scripts::AnsiToUtf8 ansiToUtf8;                   // how the system reads an ANSI script
    scripts::Importer importer = scripts::Importer::Reg; // the importer that merged it
};

// The findings in script order. Every finding counts as a failure.
std::vector<Finding> verifyScript(std::string_view script, const RegistryProbe& probe, const VerifyOptions& options);

// The kind as a word for JSON: "missing", "different", "present", "skipped", "not-imported", "escape".
std::string_view kindName(FindingKind kind);

} // namespace doctor
