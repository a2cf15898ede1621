#include "cli/CaptureCommand.h"

#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/Print.h"
#include "scripts/RegScript.h"
#include "system/Files.h"

#include <CLI/CLI.hpp>

#include <string>

namespace cli {

struct CaptureCommand::State {
    CLI::App* command = nullptr;
    std::string dll;
    std::string out;
    std::string server;
    bool perUser = false;
    std::string unRegFile;
    bool noUnReg = false;
    unsigned timeout = platform::kDefaultCaptureTimeout;

    ExitCode run() const
    {
        const std::string unRegPath = unRegFile.empty() ? scripts::unRegFileNameOf(out) : unRegFile;
        if (!noUnReg && platform::namesSameFile(unRegPath, out)) {
            printError("--unreg-file \"" + unRegPath + "\" names the same file as --out \"" + out + "\"");
            printStatus(std::string("Run \"") + kProgram + " capture --help\" for the options and an example.");
            return ExitCode::Usage;
        }
        const std::string serverPath = server.empty() ? "" : platform::fullPath(server);
        const platform::CapturedScripts captured = platform::captureScripts(dll, serverPath, perUser, timeout);
        if (!reportCapture(captured)) return ExitCode::Failed;
        if (!writeFile(out, captured.registerScript, "")) return ExitCode::NotWritten;
        if (!noUnReg && !writeFile(unRegPath, captured.unRegisterScript, "")) return ExitCode::NotWritten;
        return ExitCode::Ok;
    }
};

CaptureCommand::CaptureCommand(CLI::App& app) : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.command = app.add_subcommand(
        "capture", "Writes a register script of exactly what a DLL's DllRegisterServer writes, and an un-register script");
    s.command->add_option("DLL", s.dll, "The DLL whose registration is captured")
        ->required()
        ->type_name("PATH")
        ->check(existingFile("DLL"));
    s.command->add_option("--out", s.out, "The register script to write")
        ->required()
        ->type_name("FILE.reg")
        ->check(nonEmpty("--out"));
    s.command->add_option("--server", s.server, "The DLL's path as the scripts name it (default: as the DLL wrote it)")
        ->type_name("PATH")
        ->check(nonEmpty("--server"));
    s.command->add_flag("--per-user", s.perUser,
                        "Register in HKEY_CURRENT_USER\\Software\\Classes, which needs no elevation");
    CLI::Option* unReg = s.command
                             ->add_option("--unreg-file", s.unRegFile,
                                          "The un-register script (default: UnReg- and the name of --out)")
                             ->type_name("PATH")
                             ->check(nonEmpty("--unreg-file"));
    s.command->add_flag("--no-unreg", s.noUnReg, "Write no un-register script")->excludes(unReg);
    s.command
        ->add_option("--timeout", s.timeout, "Seconds DllRegisterServer may take before its process is ended (0: no limit)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0U, 86400U))
        ->capture_default_str();
    s.command->footer(std::string(kCaptureRunsCode) +
                      "\nExample:\n  AddInRegCli capture bin\\MyAddIn.dll --out MyAddIn.reg --server "
                      "C:\\AddIns\\MyAddIn.dll --per-user");
}

CaptureCommand::~CaptureCommand() = default;

bool CaptureCommand::parsed() const { return state_->command->parsed(); }

ExitCode CaptureCommand::run() const { return state_->run(); }

bool reportCapture(const platform::CapturedScripts& captured)
{
    for (const std::string& note : captured.notes) printError(note);
    if (captured.clean) return true;
    for (const std::string& problem : captured.problems) printError(problem);
    printError("No script was written.");
    return false;
}

} // namespace cli
