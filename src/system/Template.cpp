#include "system/Template.h"

#include "system/Files.h"
#include "scripts/RegScript.h"

namespace writer {

std::string templatePathIn(const std::string& folder) { return folder + "\\" + kTemplateFileName; }

TemplateLoad loadTemplate(const std::string& path)
{
    const std::optional<long long> length = platform::fileLength(path);
    if (!length || *length < 1) return {TemplateLoad::Source::MissingOrEmpty, scripts::builtInTemplate()};
    std::optional<std::string> text = platform::readFileText(path, size_t(*length));
    if (!text) return {TemplateLoad::Source::OpenFailed, scripts::builtInTemplate()};
    return {TemplateLoad::Source::File, std::move(*text)};
}

} // namespace writer
