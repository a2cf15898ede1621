#include "cli/CaptureCommand.h"

#include "cli/Commands.h"
#include "cli/InstallerOutput.h"
#include "cli/Options.h"
#include "cli/Print.h"
#include "scripts/RegScript.h"
#include "platform/Files.h"
#include "text/Text.h"

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
    scripts::OutputFormat format = scripts::OutputFormat::Reg;

    ExitCode run() const
    {
        const bool installer = format != scripts::OutputFormat::Reg;
        if (installer && !unRegFile.empty()) {
            printError("--unreg-file writes a second script, which --format nsis and wix do not: their file holds "
                       "both the register and the remove step.");
            printStatus(std::string("Run \"") + kProgram + " capture --help\" for the options and an example.");
            return ExitCode::Usage;
        }
        if (installer) return runInstaller();
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

    // The installer's file: the server's path, unless --server names it,
    // is the installed file's ($INSTDIR\<name>, [#Id]).
    ExitCode runInstaller() const
    {
        const std::string dllPath = platform::fullPath(dll);
        const std::string serverPath = server.empty() ? dllPath : platform::fullPath(server);
        const platform::CapturedScripts captured = platform::captureScripts(dll, serverPath, perUser, timeout);
        if (!reportCapture(captured)) return ExitCode::Failed;
        return writeInstallerFile({format, out, captured.registerScript, captured.unRegisterScript, captured.run.bits,
                                   {std::string(text::fileNameOf(dllPath)), server.empty() ? dllPath : ""}});
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
    s.command->add_option("--out", s.out, "The register script, NSIS include or WiX fragment to write")
        ->required()
        ->type_name("FILE")
        ->check(nonEmpty("--out"));
    s.command->add_option("--server", s.server, "The DLL's path as the scripts name it (default: as the DLL wrote it)")
        ->type_name("PATH")
        ->check(nonEmpty("--server"));
    addOutputFormatOption(*s.command, s.format);
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
                      "C:\\AddIns\\MyAddIn.dll --per-user\n  AddInRegCli capture bin\\MyAddIn.dll --out MyAddIn.nsh "
                      "--format nsis");
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
