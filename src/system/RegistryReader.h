#pragma once
// Reads the class registrations in a chosen hive and registry view, with the
// types of the values. The windows keep to RegistryAPI; this serves the
// command line and the checks, which must see both views and both hives.
// It only reads, caches nothing and holds no key open between calls.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace registry {

// Where class registrations are read from.
enum class Hive {
    ClassesRoot,    // HKEY_CLASSES_ROOT, what programs see
    MachineClasses, // HKEY_LOCAL_MACHINE\Software\Classes
    UserClasses,    // HKEY_CURRENT_USER\Software\Classes
};

// The registry as 64-bit programs see it, or as 32-bit programs do.
enum class View { Bits64, Bits32 };

// The registry's own type numbers, so that callers need no Windows header.
// Any other number is kept as it is.
enum class ValueType : unsigned long {
    None = 0,
    String = 1,       // REG_SZ
    ExpandString = 2, // REG_EXPAND_SZ
    Binary = 3,       // REG_BINARY
    Dword = 4,        // REG_DWORD
    DwordBigEndian = 5,
    Link = 6,
    MultiString = 7, // REG_MULTI_SZ
    Qword = 11,      // REG_QWORD
};

// "REG_SZ", "REG_DWORD"... or "type N" for a number without a name.
std::string typeName(ValueType type);

struct Value {
    ValueType type = ValueType::None;
    std::vector<std::uint8_t> data; // as stored; strings in the ANSI code page

    // REG_SZ and REG_EXPAND_SZ (unexpanded): the text up to its first NUL.
    std::optional<std::string> text() const;
    // The data as text up to its first NUL, whatever the type: how the
    // windows read a value (a REG_MULTI_SZ gives its first string).
    std::string leadingText() const;
    // REG_MULTI_SZ: its strings, up to the empty one that ends the list.
    std::optional<std::vector<std::string>> strings() const;
    // REG_DWORD / REG_QWORD of exactly their size.
    std::optional<std::uint32_t> dword() const;
    std::optional<std::uint64_t> qword() const;
};

struct NamedValue {
    std::string name; // "" for the default value
    Value value;
};

class RegistryReader {
public:
    RegistryReader(Hive hive, View view) : hive_(hive), view_(view) {}

    Hive hive() const { return hive_; }
    View view() const { return view_; }

    // Paths are relative to the hive's classes ("" is the hive's top key).
    bool keyExists(const std::string& path) const;
    // A value of the key; the name "" is its default value. Nothing when the
    // key or the value is missing or cannot be read.
    std::optional<Value> value(const std::string& path, const std::string& name = "") const;
    // The text of a REG_SZ or REG_EXPAND_SZ value; "" when missing or of
    // another type.
    std::string text(const std::string& path, const std::string& name = "") const;
    // Subkey names in the registry's enumeration order. The top key of
    // HKEY_CLASSES_ROOT in the 32-bit view is gathered from both hives'
    // classes, each name once, keeping those the view opens.
    std::vector<std::string> subKeys(const std::string& path) const;
    // Every value of the key, in the registry's enumeration order.
    std::vector<NamedValue> values(const std::string& path) const;

    // The key's full name for messages, such as
    // "HKEY_LOCAL_MACHINE\Software\Classes\CLSID".
    std::string fullName(const std::string& path) const;

private:
    Hive hive_;
    View view_;
};

// The text with its %NAME% references to environment variables replaced, as
// REG_EXPAND_SZ data is meant to be read. Unknown names stay as they are.
std::string expandEnvironment(const std::string& text);

} // namespace registry
