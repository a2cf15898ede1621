#include "cli/VerifyCommand.h"

#include "cli/Options.h"
#include "cli/Print.h"
#include "doctor/Verify.h"
#include "output/Output.h"
#include "platform/Files.h"
#include "platform/VerifyProbe.h"
#include "text/Text.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <optional>

namespace cli {

namespace {

// The script's bytes, or why there are none.
std::optional<std::string> scriptBytes(const std::string& path, std::string& why)
{
    if (platform::folderExists(path)) {
        why = "it is a folder";
        return std::nullopt;
    }
    if (!platform::fileExists(path)) {
        why = "it does not exist";
        return std::nullopt;
    }
    const std::optional<long long> length = platform::fileLength(path);
    std::optional<std::string> bytes = length ? platform::readFileText(path, size_t(*length)) : std::nullopt;
    if (!bytes) why = "it cannot be opened for reading";
    return bytes;
}

std::string findingsJson(const std::vector<doctor::Finding>& findings)
{
    using Json = nlohmann::ordered_json; // the fields keep the documented order
    Json array = Json::array();
    for (const doctor::Finding& f : findings) {
        Json object;
        object["line"] = f.line;
        object["kind"] = std::string(doctor::kindName(f.kind));
        object["key"] = f.key;
        object["valueName"] = f.valueName ? Json(*f.valueName) : Json(nullptr);
        object["expected"] = f.expected;
        object["found"] = f.found;
        object["message"] = f.message;
        array.push_back(std::move(object));
    }
    return output::jsonText(array) + text::kCrLf;
}

} // namespace

ExitCode verifyScriptFile(const std::string& path, scripts::Importer importer, bool json)
{
    std::string why;
    const std::optional<std::string> bytes = scriptBytes(path, why);
    if (!bytes) {
        printError("\"" + path + "\" cannot be read: " + why + ".");
        return ExitCode::NotWritten;
    }
    const std::vector<doctor::Finding> findings =
        doctor::verifyScript(*bytes, platform::verifyProbe(), {platform::ansiScriptDecoder(), importer});
    if (json) {
        printResult(findingsJson(findings), platform::Bytes::Utf8);
    } else {
        for (const doctor::Finding& finding : findings) printResult(finding.message + text::kCrLf);
        if (findings.empty())
            printResult("Verified: the registry holds every key and value of \"" + path + "\"." + text::kCrLf);
    }
    if (findings.empty()) return ExitCode::Ok;
    printError(std::to_string(findings.size()) + " of the lines of \"" + path + "\" are not in the registry as written.");
    return ExitCode::Failed;
}

struct VerifyCommand::State {
    CLI::App* command = nullptr;
    std::string script;
    scripts::Importer importer = scripts::Importer::Reg;
    FormatChoice format = FormatChoice::Text;
};

VerifyCommand::VerifyCommand(CLI::App& app) : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.command = app.add_subcommand(
        "verify", "Compares a registry script with the registry, key by key and value by value; merges nothing");
    s.command->add_option("SCRIPT", s.script, "A REGEDIT4 or Version 5.00 script (ANSI, or UTF-16 with its mark)")
        ->required()
        ->type_name("")
        ->check(nonEmpty("SCRIPT"));
    s.command->add_option("--importer", s.importer, "The importer that merged it: reg (reg import) or regedit")
        ->transform(choiceOf<scripts::Importer>({{"reg", scripts::Importer::Reg}, {"regedit", scripts::Importer::Regedit}}))
        ->type_name("reg|regedit");
    addFormatOption(*s.command, s.format, false)->capture_default_str();
    s.command->footer("Example:\n  AddInRegCli verify MyAddIn.reg --format json");
}

VerifyCommand::~VerifyCommand() = default;

bool VerifyCommand::parsed() const { return state_->command->parsed(); }

ExitCode VerifyCommand::run() const
{
    return verifyScriptFile(state_->script, state_->importer, state_->format == FormatChoice::Json);
}

} // namespace cli
