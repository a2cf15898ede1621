#pragma once
// The registration template and the scripts made from it.
#include <string>

namespace writer {

// What the reg-file window's fields give a register script.
struct ScriptFields {
    std::string clsid;
    std::string menuName;
    std::string description;
    bool hostR6 = true;     // the R6 category CLSID instead of the older one
    bool r6Specific = true; // with hostR6: add the supported-version line
};

// Replaces every occurrence of `from` in `text` by `to`, scanning from the
// start, case-sensitively, never rescanning what it has just inserted.
std::string replaceAll(std::string text, const std::string& from, const std::string& to);

// Fills the template's placeholders, in their fixed order, into a register
// script.
std::string fillRegTemplate(const std::string& templateText, const ScriptFields& fields);

// The un-register script: every key line of the register script turned into
// a deletion of that key.
std::string unRegScriptOf(const std::string& regScript);

// The un-register script's path: "UnReg-" in front of the file name, the
// folder (up to its last "\") unchanged.
std::string unRegFileNameOf(const std::string& regFileName);

} // namespace writer
