#pragma once
// Reading a REGEDIT4 script back into what it asks of the registry, so that a
// merge can be checked against it. Every line is either understood or
// reported; none is passed over silently.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scripts {

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
    std::string keyPath;      // as written between the brackets, less a leading "-"
    bool keyDeleted = false;  // the key is a "[-path]"; regedit ignores values below one
    std::string valueName;    // "" for the default value "@"
    uint32_t hexType = 3;     // hex(n): n; hex: REG_BINARY
    std::string data;         // String: the text; Dword: 4 bytes, little-endian; Hex: the bytes
};

struct RegReadError {
    size_t line = 0;
    std::string message;
};

struct RegScriptContent {
    std::vector<RegEntry> entries;
    std::vector<RegReadError> errors;
};

// Reads a script's ANSI text, lines ending in CR LF or LF. The first line is
// "REGEDIT4" or "Windows Registry Editor Version 5.00". Blanks (spaces, tabs)
// are allowed at either end of a line and around "=".
RegScriptContent readRegScript(std::string_view text);

} // namespace scripts
