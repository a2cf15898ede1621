#include "cli/VerifyCommand.h"

#include "cli/Commands.h"
#include "doctor/Verify.h"
#include "system/AnsiText.h"
#include "system/Files.h"
#include "system/VerifyProbe.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <iostream>
#include <optional>

namespace cli {

namespace {

constexpr char kProgram[] = "AddInRegCli";
constexpr char kLineEnd[] = "\r\n";
constexpr int kExitFindings = 1;
constexpr int kExitUnreadable = 3;

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
    return array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + kLineEnd;
}

} // namespace

int verifyScriptFile(const std::string& path, scripts::Importer importer, bool json)
{
    std::string why;
    const std::optional<std::string> bytes = scriptBytes(path, why);
    if (!bytes) {
        std::cerr << kProgram << ": \"" << path << "\" cannot be read: " << why << ".\n";
        return kExitUnreadable;
    }
    const std::vector<doctor::Finding> findings =
        doctor::verifyScript(*bytes, platform::verifyProbe(), {platform::ansiScriptDecoder(), importer});
    if (json) {
        std::cout << findingsJson(findings) << std::flush;
    } else {
        // Text is in the ANSI code page, as every text the program prints.
        for (const doctor::Finding& finding : findings) std::cout << platform::ansiFromUtf8(finding.message) << kLineEnd;
        if (findings.empty())
            std::cout << "Verified: the registry holds every key and value of \"" << path << "\"." << kLineEnd;
        std::cout << std::flush;
    }
    if (findings.empty()) return kExitOk;
    std::cerr << kProgram << ": " << findings.size() << " of the lines of \"" << path
              << "\" are not in the registry as written.\n";
    return kExitFindings;
}

struct VerifyCommand::State {
    CLI::App* command = nullptr;
    std::string script;
    std::string importer = "reg";
    std::string format = "text";
};

VerifyCommand::VerifyCommand(CLI::App& app) : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.command = app.add_subcommand(
        "verify", "Compares a registry script with the registry, key by key and value by value; merges nothing");
    s.command->add_option("SCRIPT", s.script, "A REGEDIT4 or Version 5.00 script (ANSI, or UTF-16 with its mark)")
        ->required()
        ->type_name("");
    s.command->add_option("--importer", s.importer, "The importer that merged it: reg (reg import) or regedit")
        ->check(CLI::IsMember({"reg", "regedit"}))
        ->capture_default_str();
    s.command->add_option("--format", s.format, "Output: text or json")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
}

VerifyCommand::~VerifyCommand() = default;

bool VerifyCommand::parsed() const { return state_->command->parsed(); }

int VerifyCommand::run() const
{
    const scripts::Importer importer = state_->importer == "regedit" ? scripts::Importer::Regedit : scripts::Importer::Reg;
    return verifyScriptFile(state_->script, importer, state_->format == "json");
}

} // namespace cli
