#pragma once
// The registration template and the scripts made from it.
#include <string>
#include <string_view>

namespace scripts {

// What the reg-file window's fields give a register script.
struct ScriptFields {
    std::string clsid;
    std::string menuName;
    std::string description;
    bool hostR6 = true;     // the R6 category CLSID instead of the older one
    bool r6Specific = true; // with hostR6: add the supported-version line
};

// The 406-character template used when no template file can be had.
std::string builtInTemplate();

// Replaces every occurrence of `from` in `text` by `to`, scanning from the
// start, case-sensitively, never rescanning what it has just inserted. One
// pass over the text.
std::string replaceAll(const std::string& text, const std::string& from, const std::string& to);

// The text as REGEDIT4 string data: "\" becomes "\\" and a double quote "\"";
// a CR, LF or NUL becomes a blank, since string data cannot hold a line
// break and the importer ends a script at a NUL.
std::string escapeRegString(const std::string& text);

// Fills the template's placeholders into a register script in one pass over
// the template: what is filled in is never read for placeholders again. The
// menu name and description are escaped as string data.
std::string fillRegTemplate(const std::string& templateText, const ScriptFields& fields);

// The un-register script: every "[" of the register script turned into "[-",
// so that each key line becomes a deletion of that key.
std::string unRegScriptOf(const std::string& regScript);

// The un-register script's path: "UnReg-" in front of the file name, the
// folder (up to its last "\" or "/") unchanged.
std::string unRegFileNameOf(const std::string& regFileName);

// Whether a file's first bytes are those of a registry script: "REGEDIT4" or
// "Windows Registry Editor Version 5.00", in ANSI or in UTF-16 with a
// byte-order mark.
bool startsLikeRegistryScript(std::string_view firstBytes);

// How many first bytes startsLikeRegistryScript needs at most.
inline constexpr size_t kScriptHeaderBytes = 2 + 2 * 36;

// What a template file holds. Scripts are filled from an ANSI registry script
// only: other text would be filled and turned into an un-register script
// byte by byte, which breaks it.
enum class TemplateKind {
    AnsiScript, // "REGEDIT4" or "Windows Registry Editor Version 5.00", no NUL byte
    Utf16,      // a UTF-16 byte-order mark
    Utf8,       // a UTF-8 byte-order mark
    NotAScript, // no such header
    Binary,     // a header, but NUL bytes, as in a binary file
};
TemplateKind templateKindOf(std::string_view bytes);

} // namespace scripts
