#include "cli/DoctorCommands.h"

#include "cli/Commands.h"
#include "cli/DoctorOutput.h"
#include "cli/VerifyCommand.h"
#include "system/Doctor.h"
#include "doctor/Report.h"
#include "classes/Arguments.h"
#include "system/Files.h"
#include "system/Process.h"
#include "system/ServerFiles.h"
#include "system/AnsiText.h"
#include "system/SafeWrite.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <optional>
#include <vector>

namespace cli {

namespace {

constexpr char kProgram[] = "AddInRegCli";
constexpr char kLineEnd[] = "\r\n";

// Refuses a CLSID that is not a GUID in braces, and an empty target.
CLI::Validator targetValidator()
{
    return {
        [](std::string& text) -> std::string {
            if (text.empty()) return "TARGET is empty";
            if (doctor::targetKindOf(text) == doctor::TargetKind::Clsid && !doctor::isBracedGuid(text))
                return "\"" + text + "\" is not a GUID in braces, like {01234567-89AB-CDEF-0123-456789ABCDEF}";
            return {};
        },
        ""};
}

const char kTargetHelp[] =
    "A ProgID, a CLSID in braces, or a server DLL's path (every class it serves, in either view)";

int notFound(const std::string& target)
{
    std::cerr << kProgram << ": no class found for \"" << target << "\" in either registry view or hive\n";
    return kExitNotFound;
}

} // namespace

struct DoctorCommands::State {
    CLI::App* check = nullptr;
    CLI::App* unregister = nullptr;
    CLI::App* stale = nullptr;

    std::string target;
    std::string host = "any";
    std::string format = "text";
    bool strict = false;
    std::string script;
    bool verify = false;
    std::string view = "both";
    std::string cleanupScript;

    int runCheck() const
    {
        const doctor::Host hostOf = host == "r6" ? doctor::Host::R6 : host == "older" ? doctor::Host::Older
                                                                                        : doctor::Host::Any;
        const std::vector<doctor::Checklist> lists = doctor::checkTarget(target, hostOf);
        const bool json = format == "json";
        if (json) std::cout << checklistJson(lists, platform::ansiToUtf8);
        else if (!lists.empty()) std::cout << doctor::checklistText(lists);
        std::cout << std::flush;
        if (lists.empty()) return notFound(target);

        doctor::Status worst = doctor::Status::Pass;
        for (const doctor::Checklist& list : lists) worst = std::max(worst, list.result());
        if (worst == doctor::Status::Fail || (strict && worst == doctor::Status::Warn)) return kExitFailed;
        return kExitOk;
    }

    int runUnregister() const
    {
        const std::vector<doctor::ClassRef> classes = doctor::classesOf(target);
        if (classes.empty()) return notFound(target);

        // What belongs to the classes is read before regsvr32 removes it.
        std::vector<std::string> servers;
        auto addServer = [&](const std::string& file) {
            const auto same = [&](const std::string& s) { return doctor::samePath(s, file); };
            if (std::none_of(servers.begin(), servers.end(), same)) servers.push_back(file);
        };
        if (doctor::targetKindOf(target) == doctor::TargetKind::Path)
            addServer(platform::absolutePath(classes::pathOfServerValue(target)));
        std::vector<std::vector<std::string>> progIds;
        for (const doctor::ClassRef& ref : classes) {
            for (const std::string& file : doctor::serverFilesOf(ref)) addServer(file);
            progIds.push_back(doctor::progIdsOf(ref));
        }

        bool failed = false;
        bool serverMissing = false;
        for (const std::string& file : servers) {
            if (!platform::fileExists(file)) {
                std::cout << file << " does not exist; regsvr32 was not run on it" << kLineEnd;
                serverMissing = true;
                continue;
            }
            failed |= !reportExitCode("regsvr32.exe /u /s \"" + file + "\"",
                                      platform::runUtility(platform::kRegsvr32, "/u /s", file));
        }
        if (!script.empty())
            failed |= !reportExitCode("reg.exe import \"" + script + "\"",
                                      platform::runUtility(platform::kReg, "import", script));

        bool left = false;
        if (verify) {
            for (size_t i = 0; i < classes.size(); ++i) {
                const std::vector<std::string> keys = doctor::keysLeft(classes[i].clsid, progIds[i]);
                for (const std::string& key : keys) std::cout << "Still present: " << key << kLineEnd;
                if (keys.empty())
                    std::cout << "Nothing of " << classes[i].clsid << " is left in either view or hive." << kLineEnd;
                left |= !keys.empty();
            }
        }
        std::cout << std::flush;
        // A server that is gone cannot unregister itself; --verify tells whether that mattered.
        if (failed || left || (!verify && serverMissing)) {
            std::cerr << kProgram << ": the class is not fully unregistered.\n";
            return kExitFailed;
        }
        return kExitOk;
    }

    int runStale() const
    {
        const std::vector<doctor::StaleClass> classes = doctor::findStaleClasses(view != "32", view != "64");
        std::cout << (format == "json" ? staleJson(classes, platform::ansiToUtf8) : staleText(classes)) << std::flush;
        if (!cleanupScript.empty()) {
            const writer::WriteResult result =
                writer::writeScriptFile(cleanupScript, doctor::cleanupScript(classes), "");
            if (result != writer::WriteResult::Written) {
                const std::string why = writer::refusalSentence(result);
                std::cerr << kProgram << ": \"" << cleanupScript << "\" was not written."
                          << (why.empty() ? std::string() : " " + why) << "\n";
                return kExitNotFound;
            }
            // On standard error: standard output stays the list, in its format.
            std::cerr << "Written: " << cleanupScript << "\n";
        }
        return classes.empty() ? kExitOk : kExitFailed;
    }
};

DoctorCommands::DoctorCommands(CLI::App& app) : state_(std::make_unique<State>())
{
    State& s = *state_;

    s.check = app.add_subcommand("check", "Checks a class's registration for the host, item by item");
    s.check->add_option("TARGET", s.target, kTargetHelp)->required()->type_name("")->check(targetValidator());
    s.check->add_option("--host", s.host, "The host's category: r6, older, or any (either)")
        ->check(CLI::IsMember({"r6", "older", "any"}))
        ->capture_default_str();
    s.check->add_option("--format", s.format, "Output: text or json")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    s.check->add_flag("--strict", s.strict, "Exit with 1 on a warning too");

    s.unregister = app.add_subcommand("unregister", "Runs regsvr32 /u on a class's server and, on request, a script");
    s.unregister->add_option("TARGET", s.target, kTargetHelp)->required()->type_name("")->check(targetValidator());
    s.unregister->add_option("--script", s.script, "An un-register script to merge with reg import afterwards")
        ->type_name("FILE")
        ->check(CLI::ExistingFile);
    s.unregister->add_flag("--verify", s.verify, "Then list every key of the class still present");

    s.stale = app.add_subcommand("stale", "Lists the classes whose server file does not exist");
    s.stale->add_option("--view", s.view, "Registry view: 64, 32, or both")
        ->check(CLI::IsMember({"64", "32", "both"}))
        ->capture_default_str();
    s.stale->add_option("--format", s.format, "Output: text or json")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    s.stale->add_option("--cleanup-script", s.cleanupScript,
                        "Write a REGEDIT4 script that deletes exactly these classes and ProgIDs (this deletes nothing)")
        ->type_name("FILE");
}

DoctorCommands::~DoctorCommands() = default;

bool DoctorCommands::parsed() const
{
    return state_->check->parsed() || state_->unregister->parsed() || state_->stale->parsed();
}

int DoctorCommands::run() const
{
    if (state_->check->parsed()) return state_->runCheck();
    if (state_->unregister->parsed()) return state_->runUnregister();
    return state_->runStale();
}

bool verifyMergedScript(const std::string& scriptPath)
{
    // write --register merges with reg import.
    return verifyScriptFile(scriptPath, scripts::Importer::Reg, false) == kExitOk;
}

} // namespace cli
