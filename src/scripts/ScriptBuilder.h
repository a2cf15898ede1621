#pragma once
// A registry script as the program writes it: the cleanup and its undo, and
// the captured registration's register and un-register scripts. Each key's
// lines begin after an empty line; every line ends in CR LF. The file is
// REGEDIT4 when every line reads the same there (ASCII throughout, each value
// one that fitsRegedit4 accepts), else Version 5.00 in UTF-16 LE with its
// byte-order mark, so that nothing is read as another thing.
#include "classes/Registry.h"

#include <string>
#include <string_view>
#include <vector>

namespace scripts {

inline constexpr char kRegedit4Header[] = "REGEDIT4";
inline constexpr char kVersion5Header[] = "Windows Registry Editor Version 5.00";

class ScriptBuilder {
public:
    enum class Encoding {
        Regedit4WhenFits, // REGEDIT4 while every line fits it
        Version5,         // Version 5.00 whatever the lines
    };
    explicit ScriptBuilder(Encoding encoding = Encoding::Regedit4WhenFits);

    // Key lines, each after an empty line: "[key]", "[-key]", and a group of
    // deletions under one empty line (a class with its ProgIDs). A key is a
    // full name that fitsKeyLine accepts.
    void key(std::string_view key);
    void deletedKey(std::string_view key);
    void deletedKeys(const std::vector<std::string>& keys);

    // The value's line (see valueLine), or false and nothing written when no
    // script can carry it exactly.
    bool value(const classes::NamedValue& value);
    // "name"=-: the value deleted.
    void deletedValue(const std::string& name);

    // Lines as they are (UTF-8, each ending in CR LF, no header), such as a
    // template's: REGEDIT4 keeps them when they are ASCII.
    void lines(std::string_view utf8);

    bool regedit4() const { return regedit4_; }
    // The script as its file's bytes: the header line, then the lines.
    std::string file() const;

private:
    void add(std::string_view text);

    std::string lines_;
    bool regedit4_;
};

} // namespace scripts
