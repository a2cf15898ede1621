#include "platform/SafeWrite.h"

#include "scripts/RegScript.h"

namespace platform {

WriteReport writeScriptFile(const std::string& path, const std::string& text, const std::string& templatePath,
                            scripts::OutputFormat format)
{
    using platform::FileProblem;
    if (path.empty()) return {WriteResult::OpenFailed, {FileProblem::NoName, 0}};
    const platform::FileFacts target = platform::inspectFile(path, scripts::kScriptHeaderBytes);
    if (target.isDirectory) return {WriteResult::OpenFailed, {FileProblem::IsFolder, 0}};
    if (target.exists) {
        if (target.readOnly) return {WriteResult::ReadOnly, {}};
        if (!templatePath.empty() && platform::isSameFile(path, templatePath)) return {WriteResult::IsTemplate, {}};
        if (!target.firstBytes) return {WriteResult::OpenFailed, target.readFailure}; // cannot even be read: leave it
        if (!target.firstBytes->empty() && !scripts::startsLikeOutputOf(format, *target.firstBytes))
            return {format == scripts::OutputFormat::Reg ? WriteResult::NotAScript : WriteResult::NotOurOutput, {}};
    }
    const platform::FileWrite write = platform::replaceFileText(path, text);
    switch (write.outcome) {
    case platform::WriteOutcome::Written: return {WriteResult::Written, {}};
    case platform::WriteOutcome::OpenFailed: return {WriteResult::OpenFailed, write.failure};
    case platform::WriteOutcome::WriteFailed: return {WriteResult::WriteFailed, write.failure};
    }
    return {WriteResult::OpenFailed, write.failure};
}

std::string refusalSentence(WriteResult result)
{
    switch (result) {
    case WriteResult::ReadOnly: return "The file is read-only and was left unchanged.";
    case WriteResult::NotAScript: return "The file is not a registry script and was left unchanged.";
    case WriteResult::IsTemplate: return "The file is the template in use and was left unchanged.";
    case WriteResult::NotOurOutput:
        return "The file is not one this program wrote in that format and was left unchanged.";
    default: return "";
    }
}

std::string reasonSentence(const WriteReport& report)
{
    switch (report.result) {
    case WriteResult::Written: return "";
    case WriteResult::OpenFailed: return platform::problemSentence(report.failure);
    case WriteResult::WriteFailed: {
        const std::string why = platform::problemSentence(report.failure);
        return "Writing it failed; a file that was there is unchanged." + (why.empty() ? "" : " " + why);
    }
    default: return refusalSentence(report.result);
    }
}

} // namespace platform
