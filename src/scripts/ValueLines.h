#pragma once
// Key and value lines that carry a registry value exactly: its type and its
// bytes. ScriptBuilder writes them into the undo of the cleanup and the
// captured registration. A Version 5.00 script holds them in UTF-16 LE; a
// REGEDIT4 script can hold those lines that fitsRegedit4 accepts.
#include "classes/Registry.h"

#include <optional>
#include <string>
#include <string_view>

namespace scripts {

// One value as a Version 5.00 line (continued hex lines included), or
// nothing when no script can carry it exactly: a name with a line break or
// a NUL. A REG_SZ is written as text when it round-trips; every other type,
// REG_DWORD aside, as hex with its bytes.
std::optional<std::string> valueLine(const classes::NamedValue& value);

// A value's name as a line names it: "@" for the default value, else in
// double quotes, "\" and the double quote escaped.
std::string valueNameField(const std::string& name);

// Whether the value's line reads the same in a REGEDIT4 script: its name is
// ASCII and it is written as ASCII text, as a dword, or as hex of a type
// whose bytes are not text (REGEDIT4 reads the hex of a string type in the
// code page, Version 5.00 in UTF-16).
bool fitsRegedit4(const classes::NamedValue& value);

// Whether "[" + key + "]" (and "[-" + key + "]") names exactly that key.
bool fitsKeyLine(const std::string& key);

// Whether every byte of the text is ASCII.
bool isAscii(std::string_view text);

} // namespace scripts
