#pragma once
// Whether the registry holds what a merged REGEDIT4 script asks of it: every
// key and value read back and compared, each difference reported with the
// script line that asked for it. The registry is read through the probe, so
// the rule needs no Windows header.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace doctor {

// The classes keys a script can name, as the registry reader opens them.
enum class ClassesHive {
    Merged,  // HKEY_CLASSES_ROOT
    Machine, // HKEY_LOCAL_MACHINE\Software\Classes
    User,    // HKEY_CURRENT_USER\Software\Classes
};

struct ClassesKey {
    ClassesHive hive = ClassesHive::Merged;
    std::string path; // below the classes; "" is their top key
};

// The classes key a script's key path names (roots and "Software\Classes"
// in either case); nothing for a key outside them.
std::optional<ClassesKey> classesKeyOf(const std::string& keyPath);

struct StoredValue {
    uint32_t type = 0;
    std::string data; // as stored; strings in the ANSI code page, with their NUL
};

struct RegistryProbe {
    std::function<bool(const ClassesKey&)> keyExists;
    std::function<std::optional<StoredValue>(const ClassesKey&, const std::string& name)> value;
};

enum class FindingKind {
    Missing,   // a key or value the script writes is not there
    Different, // a value of another type or other data
    Present,   // a key or value the script deletes is still there
    Malformed, // a line the reader does not understand; regedit passes over such lines
    NotRead,   // a key outside the classes keys: not read back, not counted
};

struct Finding {
    size_t line = 0;
    FindingKind kind = FindingKind::Missing;
    std::string message; // starts with "line N: "
};

// The findings in script order. Values below a "[-key]" are not compared:
// regedit ignores them.
std::vector<Finding> verifyScript(std::string_view scriptText, const RegistryProbe& probe);

// Whether a finding counts as a failure (every kind but NotRead).
bool isFailure(const Finding& finding);

} // namespace doctor
