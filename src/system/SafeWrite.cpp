#include "system/SafeWrite.h"

#include "system/Files.h"
#include "scripts/RegScript.h"

namespace writer {

WriteResult writeScriptFile(const std::string& path, const std::string& text, const std::string& templatePath)
{
    if (path.empty()) return WriteResult::OpenFailed;
    const platform::FileFacts target = platform::inspectFile(path, scripts::kScriptHeaderBytes);
    if (target.exists && !target.isDirectory) {
        if (target.readOnly) return WriteResult::ReadOnly;
        if (!templatePath.empty() && platform::isSameFile(path, templatePath)) return WriteResult::IsTemplate;
        if (!target.firstBytes) return WriteResult::OpenFailed; // cannot even be read: leave it
        if (!target.firstBytes->empty() && !scripts::startsLikeRegistryScript(*target.firstBytes))
            return WriteResult::NotAScript;
    }
    switch (platform::replaceFileText(path, text)) {
    case platform::WriteOutcome::Written: return WriteResult::Written;
    case platform::WriteOutcome::OpenFailed: return WriteResult::OpenFailed;
    case platform::WriteOutcome::WriteFailed: return WriteResult::WriteFailed;
    }
    return WriteResult::OpenFailed;
}

std::string refusalSentence(WriteResult result)
{
    switch (result) {
    case WriteResult::ReadOnly: return "The file is read-only and was left unchanged.";
    case WriteResult::NotAScript: return "The file is not a registry script and was left unchanged.";
    case WriteResult::IsTemplate: return "The file is the template in use and was left unchanged.";
    default: return "";
    }
}

} // namespace writer
