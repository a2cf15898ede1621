#include "cli/DoctorCommands.h"

#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/Print.h"
#include "cli/VerifyCommand.h"
#include "output/DoctorOutput.h"
#include "platform/DoctorMachine.h"
#include "platform/Files.h"
#include "platform/LoadTrial.h"
#include "platform/Process.h"
#include "platform/SafeWrite.h"
#include "text/Text.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <optional>
#include <vector>

namespace cli {

namespace {

// Refuses a CLSID that is not a GUID in braces, and an empty target.
CLI::Validator targetValidator()
{
    return {
        [](std::string& text) -> std::string {
            if (text.empty()) return "TARGET is empty";
            if (doctor::targetKindOf(text) == doctor::TargetKind::Clsid && !text::isBracedGuid(text))
                return "\"" + text + "\" is not a GUID in braces, like {01234567-89AB-CDEF-0123-456789ABCDEF}";
            return {};
        },
        ""};
}

const char kTargetHelp[] =
    "A ProgID, a CLSID in braces, or a server DLL's path (every class it serves, in either view)";

ExitCode notFound(const std::string& target)
{
    printError("no class found for \"" + target + "\" in either registry view or hive");
    return ExitCode::NothingFound;
}

} // namespace

struct DoctorCommands::State {
    CLI::App* check = nullptr;
    CLI::App* unregister = nullptr;
    CLI::App* stale = nullptr;
    CLI::App* addIns = nullptr;

    std::string target;
    doctor::Host host = doctor::Host::Any;
    FormatChoice format = FormatChoice::Text;
    bool strict = false;
    std::string script;
    bool verify = false;
    bool perUser = false;
    unsigned timeout = kDefaultTimeout;
    ViewChoice view = ViewChoice::Both;
    ViewChoice checkView = ViewChoice::Both; // both: the 64-bit view when the class is there, else the 32-bit
    std::string cleanupScript;
    bool load = false;
    unsigned loadTimeout = platform::kDefaultLoadTimeout;

    void tryLoading(doctor::Checklist& list) const
    {
        if (!load) return;
        Progress trying("Trying to load " + list.facts.clsid);
        platform::tryLoading(list, loadTimeout);
    }

    ExitCode runCheck() const
    {
        const int asked = checkView == ViewChoice::Bits64 ? 64 : checkView == ViewChoice::Bits32 ? 32 : 0;
        std::vector<doctor::Checklist> lists =
            doctor::checkTarget(platform::SystemMachine().machine(), target, host, asked);
        for (doctor::Checklist& list : lists) tryLoading(list);
        if (format == FormatChoice::Json) printResult(output::checklistJson(lists), platform::Bytes::Utf8);
        else if (!lists.empty()) printResult(doctor::checklistText(lists));
        if (lists.empty()) return notFound(target);

        doctor::Status worst = doctor::Status::Pass;
        for (const doctor::Checklist& list : lists) worst = std::max(worst, list.result());
        if (worst == doctor::Status::Fail || (strict && worst == doctor::Status::Warn)) return ExitCode::Failed;
        return ExitCode::Ok;
    }

    ExitCode runUnregister() const
    {
        // A per-user registration is the script's alone: regsvr32 /u would
        // remove the machine's keys.
        if (perUser && script.empty()) {
            printError("--per-user needs --unreg-file, the per-user un-register script");
            printStatus(std::string("Run \"") + kProgram + " unregister --help\" for the options and an example.");
            return ExitCode::Usage;
        }
        const platform::SystemMachine system;
        const doctor::Machine& machine = system.machine();
        const std::vector<doctor::ClassRef> classes = doctor::classesOf(machine, target);
        if (classes.empty()) return notFound(target);

        // What belongs to the classes is read before regsvr32 removes it.
        std::vector<std::string> servers;
        std::vector<std::string> missing;
        std::vector<std::vector<std::string>> progIds;
        for (const doctor::ClassRef& ref : classes) {
            for (const std::string& file : doctor::serverFilesOf(machine, ref, &missing))
                if (std::none_of(servers.begin(), servers.end(),
                                 [&](const std::string& s) { return text::samePathSpelling(s, file); }))
                    servers.push_back(file);
            progIds.push_back(doctor::progIdsOf(machine, ref));
        }

        bool failed = false;
        if (perUser) {
            servers.clear();
            missing.clear();
        }
        const bool serverMissing = !missing.empty();
        for (const std::string& file : missing) printStatus(file + " does not exist; regsvr32 was not run on it");
        for (const std::string& file : servers)
            failed |= !reportExitCode(platform::runUtility(platform::kRegsvr32, "/u /s", file, timeout));
        if (!script.empty()) failed |= !reportExitCode(platform::runUtility(platform::kReg, "import", script, timeout));

        bool left = false;
        if (verify) {
            for (size_t i = 0; i < classes.size(); ++i) {
                const std::vector<std::string> keys = doctor::keysLeft(machine, classes[i].clsid, progIds[i]);
                for (const std::string& key : keys) printResult("Still present: " + key + text::kCrLf);
                if (keys.empty())
                    printResult("Nothing of " + classes[i].clsid + " is left in either view or hive." + text::kCrLf);
                left |= !keys.empty();
            }
        }
        // A server that is gone cannot unregister itself; --verify tells whether that mattered.
        if (failed || left || (!verify && serverMissing)) {
            printError("the class is not fully unregistered.");
            return ExitCode::Failed;
        }
        return ExitCode::Ok;
    }

    ExitCode runAddIns() const
    {
        std::vector<doctor::AddInRow> rows;
        {
            Progress reading("Reading the classes");
            rows = doctor::findAddIns(platform::SystemMachine().machine(), host, reads64(view), reads32(view));
        }
        for (doctor::AddInRow& row : rows) tryLoading(row.checklist);
        printResult(output::addInsOutput(rows, format),
                    format == FormatChoice::Json ? platform::Bytes::Utf8 : platform::Bytes::AnsiText);
        if (rows.empty()) return ExitCode::NothingFound;
        const bool failed = std::any_of(rows.begin(), rows.end(), [](const doctor::AddInRow& row) {
            return row.checklist.result() == doctor::Status::Fail;
        });
        return failed ? ExitCode::Failed : ExitCode::Ok;
    }

    ExitCode runStale() const
    {
        const platform::SystemMachine system;
        std::vector<doctor::StaleClass> classes;
        std::vector<doctor::StaleEntry> entries;
        {
            Progress reading("Reading the classes");
            classes = doctor::findStaleClasses(system.machine(), reads64(view), reads32(view));
            entries = doctor::findStaleTypeLibs(system.machine(), reads64(view), reads32(view));
        }
        if (format == FormatChoice::Json) printResult(output::staleJson(classes, entries), platform::Bytes::Utf8);
        else printResult(output::staleText(classes, entries));
        if (!cleanupScript.empty()) {
            // The undo first: a cleanup is never merged without a way back. An
            // undo made for a cleanup that could then not be written goes again.
            const std::string undo = doctor::undoFileNameOf(cleanupScript);
            const bool undoWasThere = platform::fileExists(undo);
            platform::WriteReport report =
                platform::writeScriptFile(undo, doctor::undoScript(system.registry(), classes, entries), "");
            const std::string failed = report.written() ? cleanupScript : undo;
            if (report.written())
                report = platform::writeScriptFile(cleanupScript, doctor::cleanupScript(classes, entries), "");
            if (!report.written()) {
                if (failed == cleanupScript && !undoWasThere) platform::deleteFile(undo);
                printError("\"" + failed + "\" was not written. " + platform::reasonSentence(report));
                return ExitCode::NotWritten;
            }
            printStatus("Written: " + undo);
            printStatus("Written: " + cleanupScript);
        }
        return classes.empty() && entries.empty() ? ExitCode::Ok : ExitCode::Failed;
    }
};

DoctorCommands::DoctorCommands(CLI::App& app) : state_(std::make_unique<State>())
{
    State& s = *state_;

    s.check = app.add_subcommand("check", "Checks a class's registration for the host, item by item");
    s.check->add_option("TARGET", s.target, kTargetHelp)->required()->type_name("")->check(targetValidator());
    addHostOption(*s.check, s.host, true, "The host's category: r6, older, or any (either)")->capture_default_str();
    addViewOption(*s.check, s.checkView,
                  "Registry view of the host: 64, 32, or both (the 64-bit view when the class is there, else the 32-bit)")
        ->capture_default_str();
    addFormatOption(*s.check, s.format, false)->capture_default_str();
    s.check->add_flag("--strict", s.strict, "Exit with 1 on a warning too");
    addLoadOptions(*s.check, s.load, s.loadTimeout, platform::kDefaultLoadTimeout);
    s.check->footer("Example:\n  AddInRegCli check MyCompany.MyAddIn --host r6 --load");

    s.addIns = app.add_subcommand("addins", "Lists the classes the host sees as add-ins, with the worst item of each");
    addHostOption(*s.addIns, s.host, true, "The host's category: r6, older, or any (either)")->capture_default_str();
    addViewOption(*s.addIns, s.view, "Registry view: 64, 32, or both")->capture_default_str();
    addFormatOption(*s.addIns, s.format, true)->capture_default_str();
    addLoadOptions(*s.addIns, s.load, s.loadTimeout, platform::kDefaultLoadTimeout);
    s.addIns->footer("Exit code 1 when any class fails its checklist.\n"
                     "Example:\n  AddInRegCli addins --host r6 --format csv");

    s.unregister = app.add_subcommand("unregister", "Runs regsvr32 /u on a class's server and, on request, a script");
    s.unregister->add_option("TARGET", s.target, kTargetHelp)->required()->type_name("")->check(targetValidator());
    CLI::Option* script =
        s.unregister->add_option("--unreg-file", s.script, "An un-register script to merge with reg import afterwards")
            ->type_name("FILE")
            ->check(existingFile("--unreg-file"));
    // The older name of --unreg-file.
    s.unregister->add_option("--script", s.script, "")->group("")->check(existingFile("--script"))->excludes(script);
    s.unregister->add_flag("--per-user", s.perUser,
                           "Merge only --unreg-file, for a per-user registration; regsvr32 /u is not run");
    s.unregister->add_flag("--verify", s.verify, "Then list every key of the class still present");
    addTimeoutOption(*s.unregister, s.timeout);
    s.unregister->footer("Example:\n  AddInRegCli unregister C:\\AddIns\\MyAddIn.dll --unreg-file UnReg-MyAddIn.reg --verify");

    s.stale = app.add_subcommand("stale", "Lists the classes whose server file does not exist");
    addViewOption(*s.stale, s.view, "Registry view: 64, 32, or both")->capture_default_str();
    addFormatOption(*s.stale, s.format, false)->capture_default_str();
    CLI::Option* cleanup =
        s.stale
            ->add_option("--cleanup-file", s.cleanupScript,
                         "Write a script that deletes exactly the stale keys it may, and Undo- beside it that "
                         "restores them (this deletes nothing)")
            ->type_name("FILE")
            ->check(nonEmpty("--cleanup-file"));
    // The older name of --cleanup-file.
    s.stale->add_option("--cleanup-script", s.cleanupScript, "")
        ->group("")
        ->check(nonEmpty("--cleanup-script"))
        ->excludes(cleanup);
    s.stale->footer("Example:\n  AddInRegCli stale --format json --cleanup-file Cleanup.reg");
}

DoctorCommands::~DoctorCommands() = default;

bool DoctorCommands::parsed() const
{
    return state_->check->parsed() || state_->unregister->parsed() || state_->stale->parsed() ||
           state_->addIns->parsed();
}

ExitCode DoctorCommands::run() const
{
    if (state_->check->parsed()) return state_->runCheck();
    if (state_->unregister->parsed()) return state_->runUnregister();
    if (state_->addIns->parsed()) return state_->runAddIns();
    return state_->runStale();
}

bool verifyMergedScript(const std::string& scriptPath)
{
    // write --register merges with reg import.
    return verifyScriptFile(scriptPath, scripts::Importer::Reg, false) == ExitCode::Ok;
}

} // namespace cli
