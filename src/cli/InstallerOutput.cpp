#include "cli/InstallerOutput.h"

#include "cli/Print.h"
#include "scripts/RegFileReader.h"
#include "platform/Ansi.h"
#include "platform/SafeWrite.h"

namespace cli {

ExitCode writeInstallerFile(const InstallerRequest& request)
{
    // A template's script is in the ANSI code page; a captured one is ASCII or UTF-16.
    const scripts::ReadOptions options{[](std::string_view ansi) { return platform::ansiToUtf8(std::string(ansi)); },
                                       scripts::Importer::Reg};
    const scripts::InstallPlan plan =
        scripts::installPlanOf(scripts::readRegScript(request.registerScript, options),
                               scripts::readRegScript(request.unRegisterScript, options), request.bits);
    const scripts::InstallerText file = request.format == scripts::OutputFormat::Wix
                                            ? scripts::wixFragmentOf(plan, request.file)
                                            : scripts::nsisIncludeOf(plan, request.file);
    if (!file.problems.empty()) {
        for (const std::string& problem : file.problems) printError(problem);
        printError("Nothing was written.");
        return ExitCode::Failed;
    }
    const platform::WriteReport report = platform::writeScriptFile(request.out, file.bytes, "", request.format);
    if (!report.written()) {
        printError("\"" + request.out + "\" was not written. " + platform::reasonSentence(report));
        return ExitCode::NotWritten;
    }
    printStatus("Written: " + request.out);
    return ExitCode::Ok;
}

} // namespace cli
