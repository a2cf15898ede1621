#include "platform/Template.h"

namespace platform {

std::string templatePathIn(const std::string& folder) { return folder + "\\" + kTemplateFileName; }

TemplateLoad loadTemplate(const std::string& path)
{
    TemplateLoad load;
    load.text = scripts::builtInTemplate();
    const std::optional<long long> length = platform::fileLength(path);
    if (!length || *length < 1) {
        load.source = TemplateLoad::Source::MissingOrEmpty;
        return load;
    }
    platform::FileBytes read = platform::readFileBytes(path, size_t(*length));
    if (!read.bytes) {
        load.source = TemplateLoad::Source::OpenFailed;
        load.failure = read.failure;
        return load;
    }
    load.kind = scripts::templateKindOf(*read.bytes);
    if (load.kind != scripts::TemplateKind::AnsiScript) {
        load.source = TemplateLoad::Source::NotAnsiScript;
        return load;
    }
    load.source = TemplateLoad::Source::File;
    load.text = std::move(*read.bytes);
    return load;
}

std::string templateKindSentence(scripts::TemplateKind kind)
{
    constexpr char kWanted[] = "; save it as ANSI text beginning with REGEDIT4.";
    switch (kind) {
    case scripts::TemplateKind::AnsiScript: return "";
    case scripts::TemplateKind::Utf16: return std::string("It is UTF-16 text") + kWanted;
    case scripts::TemplateKind::Utf8: return std::string("It is UTF-8 text with a byte-order mark") + kWanted;
    case scripts::TemplateKind::NotAScript: return "It does not begin with REGEDIT4, so it is not a registry script.";
    case scripts::TemplateKind::Binary: return "It holds NUL bytes: it is a binary file, not a registry script.";
    }
    return "";
}

} // namespace platform
