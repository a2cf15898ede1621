#pragma once
// Choosing the registration template: the template file when it exists, is
// not empty, can be read and is an ANSI registry script, else the built-in
// one. Paths are UTF-8 (see platform/Files.h).
#include "scripts/RegScript.h"
#include "platform/Files.h"

#include <string>

namespace platform {

inline constexpr char kTemplateFileName[] = "AddInTemplate.Reg";

// The template file's path in a folder: the folder, "\" and the file name.
// The separator is added whatever the folder ends with.
std::string templatePathIn(const std::string& folder);

struct TemplateLoad {
    enum class Source { File, MissingOrEmpty, OpenFailed, NotAnsiScript };
    Source source = Source::File;
    std::string text;                 // the file's bytes, or the built-in template
    platform::FileFailure failure;    // OpenFailed: why
    scripts::TemplateKind kind = scripts::TemplateKind::AnsiScript; // NotAnsiScript: what it is
};

// Reads the template file at `path`; falls back to the built-in template and
// says why.
TemplateLoad loadTemplate(const std::string& path);

// What the file is instead of an ANSI registry script, as one sentence:
// "It is UTF-16 text; save it as ANSI text beginning with REGEDIT4."
std::string templateKindSentence(scripts::TemplateKind kind);

} // namespace platform
