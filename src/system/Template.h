#pragma once
// Choosing the registration template: the template file when it exists, is
// not empty and can be read, else the built-in one.
#include <string>

namespace writer {

inline constexpr char kTemplateFileName[] = "AddInTemplate.Reg";

// The template file's path in a folder: the folder, "\" and the file name.
// The separator is added whatever the folder ends with.
std::string templatePathIn(const std::string& folder);

struct TemplateLoad {
    enum class Source { File, MissingOrEmpty, OpenFailed };
    Source source = Source::File;
    std::string text; // the file's bytes, or the built-in template
};

// Reads the template file at `path`; falls back to the built-in template and
// says why.
TemplateLoad loadTemplate(const std::string& path);

} // namespace writer
