#pragma once
// Reading a registry script as the system's importer reads it, so that a
// merge can be checked against it: what the import writes and deletes, and
// every line it passes over, with the reason. The rules are those that
// `reg import` follows (and `regedit`, which refuses the root abbreviations
// and gives up at an escaped NUL); the differential test holds the reader
// to them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scripts {

// The importer that merges the script: `regedit` refuses the root
// abbreviations (HKCU, ...) that `reg import` accepts, and stops at a "\0"
// in string data where `reg import` passes over that one line.
enum class Importer { Reg, Regedit };

// The root keys a script can name.
enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// The full name of a root, such as "HKEY_CLASSES_ROOT".
std::string_view rootName(RegRoot root);

enum class RegEntryKind {
    Key,         // "[path]": the key is created; "[-path]": deleted with all below it
    String,      // "name"="text"
    Dword,       // "name"=dword:xxxxxxxx
    Hex,         // "name"=hex:.. or hex(n):..
    DeleteValue, // "name"=-
};

struct RegEntry {
    size_t line = 0;          // 1-based, the entry's first line
    RegEntryKind kind = RegEntryKind::Key;
    std::string keyPath;      // the root as written, then the path; doubled and trailing "\" dropped
    RegRoot root = RegRoot::ClassesRoot;
    std::string subKey;       // the path below the root; "" for the root itself
    bool keyDeleted = false;  // the key is a "[-path]"; the importer ignores a value below one
    std::string valueName;    // "" for the default value "@"
    uint32_t hexType = 3;     // hex(n): n; hex: REG_BINARY
    std::string data;         // String: the text; Dword: 4 bytes, little-endian; Hex: the bytes as written
    uint32_t type = 0;        // values: the registry type the import stores
    std::string stored;       // values: the bytes it stores; strings as UTF-16 LE with their NUL
};

struct RegReadError {
    size_t line = 0;
    std::string message;
    // For a value line: the key the value would have gone to ("" when there
    // is none in force) and the value's name, when they can be told.
    std::string keyPath;
    RegRoot root = RegRoot::ClassesRoot;
    std::string subKey;
    std::optional<std::string> valueName;
};

// An escape in a quoted name or string that the importer does not know (it
// knows "\\", "\"", "\n" and "\r"): it warns and keeps the character
// without its "\", so "C:\Program Files" is stored as "C:Program Files".
struct RegUnknownEscape {
    size_t line = 0;
    std::string escape; // the "\" and the character after it, as UTF-8
};

struct RegScriptContent {
    std::vector<RegEntry> entries;
    std::vector<RegReadError> errors;
    std::vector<RegUnknownEscape> unknownEscapes; // each one the importer warns about, in script order
    bool imported = true; // false: the first line is not a header, and the importer imports nothing
    bool utf16 = false;   // the script began with a UTF-16 LE byte-order mark
};

// The conversion of text in the ANSI code page to UTF-8, which only the
// system knows.
using AnsiToUtf8 = std::function<std::string(std::string_view)>;

struct ReadOptions {
    AnsiToUtf8 ansiToUtf8; // empty: the bytes are taken as they are
    Importer importer = Importer::Reg;
};

// Reads a script's bytes: ANSI, or UTF-16 LE after a byte-order mark. Lines
// end in CR LF, LF or CR alone; the script ends at its first NUL.
RegScriptContent readRegScript(std::string_view script, const ReadOptions& options);

// The same for a script whose text is kept as its bytes (the program's own
// scripts), as `reg import` reads it.
RegScriptContent readRegScript(std::string_view script);

} // namespace scripts
