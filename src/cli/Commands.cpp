#include "cli/Commands.h"

#include "Version.h"
#include "cli/CaptureCommand.h"
#include "cli/DoctorCommands.h"
#include "cli/InstallerOutput.h"
#include "cli/ListCommands.h"
#include "cli/Options.h"
#include "cli/Print.h"
#include "cli/VerifyCommand.h"
#include "scripts/CapturedRegistration.h"
#include "scripts/RegScript.h"
#include "platform/CaptureRun.h"
#include "platform/Files.h"
#include "platform/Ansi.h"
#include "platform/SafeWrite.h"
#include "platform/Template.h"
#include "text/Text.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cli {

namespace {

// Text from elsewhere (CLI11's help) gets the CR LF of the program's lines.
std::string withCrLf(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

// ---- write ---------------------------------------------------------------

// The template's own texts: written as they are, they name no real add-in.
constexpr char kDefaultMenu[] = "myAddInName";
constexpr char kDefaultDescription[] = "This AddIn creates Geometry";

struct WriteOptions {
    std::string out;
    std::string clsid;
    std::string server;
    std::string menu = kDefaultMenu;
    std::string description = kDefaultDescription;
    doctor::Host host = doctor::Host::R6;
    bool olderHost = false; // the older spelling of --host older
    bool noVersionLine = false;
    std::string unRegFile;
    bool noUnReg = false;
    std::string templateFile;
    bool registerServer = false;
    bool capture = false;
    bool perUser = false;
    bool verify = false;
    unsigned timeout = kDefaultTimeout;
    scripts::OutputFormat format = scripts::OutputFormat::Reg;
};

// The template a write fills: the named one, which must be an ANSI registry
// script, else the window's choice. Nothing when the run must stop; the
// message is out then.
std::optional<platform::TemplateLoad> loadWriteTemplate(const std::string& named, std::string& templatePath)
{
    const std::string path = named.empty() ? platform::templatePathIn(platform::currentDirectory()) : named;
    platform::TemplateLoad load = platform::loadTemplate(path);
    const std::string intro = "the template \"" + path + "\" ";
    switch (load.source) {
    case platform::TemplateLoad::Source::File: templatePath = path; return load;
    // A build step should not quietly get another template than the one it names.
    case platform::TemplateLoad::Source::MissingOrEmpty:
        if (named.empty()) return load;
        printError(intro + "is missing or empty; nothing was written.");
        return std::nullopt;
    case platform::TemplateLoad::Source::OpenFailed:
        if (named.empty()) {
            printError("\"" + path + "\" cannot be opened; the built-in template is used. " +
                       platform::problemSentence(load.failure));
            return load;
        }
        printError(intro + "cannot be opened; nothing was written. " + platform::problemSentence(load.failure));
        return std::nullopt;
    case platform::TemplateLoad::Source::NotAnsiScript:
        // Filled, it would give a broken script, whether named or found.
        printError(intro + "is not an ANSI registry script; nothing was written. " +
                   platform::templateKindSentence(load.kind));
        return std::nullopt;
    }
    return std::nullopt;
}

struct WriteScripts {
    std::string script;
    std::string unRegScript;
    int bits = 64; // where the class keys are: the 32-bit view's for an x86 server
};

// The template filled and its un-register script, the server's captured
// keys first in each with --capture; nothing when the capture fails (said).
std::optional<WriteScripts> writeScripts(const WriteOptions& options, const std::string& templateText,
                                         const std::string& serverPath)
{
    const bool hostR6 = options.host == doctor::Host::R6 && !options.olderHost;
    WriteScripts made;
    made.script = scripts::fillRegTemplate(
        templateText, {options.clsid, options.menu, options.description, hostR6, !options.noVersionLine});
    if (!options.capture) {
        // An x86 server's class keys go where a 32-bit host reads them.
        if (!options.server.empty() && platform::dllBits(options.server) == 32) {
            made.script = scripts::scriptForTarget(made.script, {32, false});
            made.bits = 32;
        }
        made.unRegScript = scripts::unRegScriptOf(made.script);
        return made;
    }
    // The server's own keys first, then the template's, in each script; the
    // capture moves the template's keys with its own.
    const platform::CapturedScripts captured = platform::captureScripts(
        options.server, serverPath, options.perUser, platform::kDefaultCaptureTimeout,
        platform::ansiToUtf8(made.script), platform::ansiToUtf8(scripts::unRegScriptOf(made.script)));
    if (!reportCapture(captured)) return std::nullopt;
    return WriteScripts{captured.registerScript, captured.unRegisterScript, captured.run.bits};
}

ExitCode runWrite(const WriteOptions& options)
{
    const std::string unRegPath = options.unRegFile.empty() ? scripts::unRegFileNameOf(options.out) : options.unRegFile;
    // Written second, it would replace the register script, which --register would then merge.
    if (!options.noUnReg && platform::namesSameFile(unRegPath, options.out)) {
        printError("--unreg-file \"" + unRegPath + "\" names the same file as OUT \"" + options.out + "\"");
        printStatus(std::string("Run \"") + kProgram + " write --help\" for the options and an example.");
        return ExitCode::Usage;
    }

    std::string templatePath;
    const std::optional<platform::TemplateLoad> load = loadWriteTemplate(options.templateFile, templatePath);
    if (!load) return ExitCode::NotWritten;

    const bool installer = options.format != scripts::OutputFormat::Reg;
    // An installer names the installed file for the server's path.
    const std::string serverPath = installer && options.capture ? platform::fullPath(options.server) : "";
    const std::optional<WriteScripts> made = writeScripts(options, load->text, serverPath);
    if (!made) return ExitCode::Failed;
    const std::string& script = made->script;
    const std::string& unRegScript = made->unRegScript;
    const int bits = made->bits;
    if (installer) {
        const ExitCode code = writeInstallerFile(
            {options.format, options.out, script, unRegScript, bits,
             {std::string(text::fileNameOf(platform::fullPath(options.server))), serverPath}});
        if (code != ExitCode::Ok) return code;
    } else {
        if (!writeFile(options.out, script, templatePath)) return ExitCode::NotWritten;
        if (!options.noUnReg && !writeFile(unRegPath, unRegScript, templatePath)) return ExitCode::NotWritten;
    }
    // A build step must not ship the template's own texts unnoticed.
    if (options.menu == kDefaultMenu)
        printError("the menu name is the template's placeholder \"" + std::string(kDefaultMenu) + "\"; set it with --menu.");
    if (options.description == kDefaultDescription)
        printError("the description is the template's placeholder \"" + std::string(kDefaultDescription) +
                   "\"; set it with --description.");

    if (!options.registerServer) return ExitCode::Ok;
    // Both run whatever the first one gives, as in the window. A captured
    // script holds the server's own keys: the merge alone registers it.
    const bool registered =
        options.capture ||
        reportExitCode(platform::runUtility(platform::kRegsvr32, "/s", options.server, options.timeout));
    const bool merged = reportExitCode(platform::runUtility(platform::kReg, "import", options.out, options.timeout));
    // The read-back runs whatever they gave: it shows what the merge left.
    const bool verified = !options.verify || verifyMergedScript(options.out);
    if (registered && merged && verified) return ExitCode::Ok;
    if (!registered || !merged) printError("the registration failed.");
    return ExitCode::Failed;
}

CLI::Validator guidValidator()
{
    return {
        [](std::string& text) {
            return text::isBracedGuid(text)
                       ? std::string()
                       : "\"" + text + "\" is not a GUID in braces, like {01234567-89AB-CDEF-0123-456789ABCDEF}";
        },
        ""};
}

void addWriteCommand(CLI::App& app, WriteOptions& o)
{
    CLI::App* write = app.add_subcommand("write", "Writes the register script of an add-in, and its un-register script");
    write->add_option("OUT", o.out, "The register script to write")->required()->type_name("PATH")->check(nonEmpty("OUT"))->check(exactName("OUT"));
    write->add_option("--clsid", o.clsid, "The add-in's class")->required()->type_name("{GUID}")->check(guidValidator());
    write->add_option("--server", o.server, "The add-in's server DLL (needed by --register)")
        ->type_name("PATH")
        ->check(nonEmpty("--server"));
    write->add_option("--menu", o.menu, "The menu name")->type_name("NAME")->capture_default_str();
    write->add_option("--description", o.description, "The description")->type_name("TEXT")->capture_default_str();
    addHostOption(*write, o.host, false, "The host's category: r6, or older (no version line)")->capture_default_str();
    // The older spelling of --host older, kept for the scripts that use it.
    write->add_flag("--older-host", o.olderHost, "")->group("");
    write->add_flag("--no-version-line", o.noVersionLine, "Leave out the supported-version line");
    CLI::Option* unRegFile = write->add_option("--unreg-file", o.unRegFile,
                                               "The un-register script (default: UnReg- and the name of OUT)")
                                  ->type_name("PATH")
                                  ->check(nonEmpty("--unreg-file"))
                                  ->check(exactName("--unreg-file"));
    write->add_flag("--no-unreg", o.noUnReg, "Write no un-register script")->excludes(unRegFile);
    write->add_option("--template", o.templateFile,
                      "The template (default: AddInTemplate.Reg in the current folder, else the built-in one)")
        ->type_name("FILE")
        ->check(nonEmpty("--template"))
        ->check(exactName("--template"));
    CLI::Option* capture =
        write->add_flag("--capture", o.capture,
                        "Put the server's own registration, captured from its DllRegisterServer, into both scripts "
                        "(needs --server)");
    write->add_flag("--per-user", o.perUser,
                    "Register in HKEY_CURRENT_USER\\Software\\Classes, which needs no elevation")
        ->needs(capture);
    addOutputFormatOption(*write, o.format);
    CLI::Option* registerServer = write->add_flag(
        "--register", o.registerServer,
        "Then run regsvr32 /s on the server (not with --capture) and reg import on OUT, and wait for both");
    write->add_flag("--verify", o.verify, "After --register, report each key and value of OUT that is not in the registry")
        ->needs(registerServer);
    addTimeoutOption(*write, o.timeout)->needs(registerServer);
    write->footer("Example:\n  AddInRegCli write MyAddIn.reg --clsid {6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13} "
                  "--server C:\\AddIns\\MyAddIn.dll --menu \"My Add-In\" --register\n" +
                  std::string(kCaptureRunsCode));
}

} // namespace

bool writeFile(const std::string& path, const std::string& text, const std::string& templatePath)
{
    const platform::WriteReport report = platform::writeScriptFile(path, text, templatePath);
    if (report.written()) {
        printStatus("Written: " + path);
        return true;
    }
    printError("\"" + path + "\" was not written. " + platform::reasonSentence(report));
    return false;
}

bool reportExitCode(const platform::ProcessRun& result)
{
    using Outcome = platform::ProcessRun::Outcome;
    const std::string& what = result.commandLine;
    if (what.empty()) {
        printStatus(std::string(text::fileNameOf(result.program)) +
                    ": could not be started, as the path cannot be passed to it as one argument");
        return false;
    }
    switch (result.outcome) {
    case Outcome::Exited: printStatus(what + ": exit code " + std::to_string(result.exitCode)); break;
    case Outcome::Missing:
    case Outcome::NotStarted: printStatus(what + ": could not be started"); break;
    case Outcome::TimedOut:
        printStatus(what + ": did not finish within its time limit and was ended");
        break;
    }
    return result.succeeded();
}

int run(int argc, char** argv)
{
    CLI::App app{"Lists the COM classes registered on this machine, checks an add-in's registration, and writes "
                 "the registry scripts of an add-in.",
                 kProgram};
    app.set_version_flag("--version", std::string(kProgram) + " " + ADDINREG_VERSION_TEXT);
    app.require_subcommand(1);
    app.footer("Example:\n  AddInRegCli check MyCompany.MyAddIn\nEach command takes --help.");

    ListOptions listOptions;
    CLI::App* list = app.add_subcommand("list", "Every ProgID the main window lists, with its class and server");
    addViewOption(*list, listOptions.view, "Registry view: 64 (what the windows show), 32, or both")
        ->capture_default_str();
    addFormatOption(*list, listOptions.format, true)->capture_default_str();
    list->footer("Example:\n  AddInRegCli list --view both --format csv");

    std::string typed;
    ListOptions findOptions;
    CLI::App* find =
        app.add_subcommand("find", "The ProgIDs whose lookup text contains TEXT, as \"Find DLL\" visits them");
    find->add_option("TEXT", typed, "Part of a server path or CLSID, letters in either case")
        ->type_name("")
        ->required()
        ->check(nonEmpty("TEXT"));
    addViewOption(*find, findOptions.view, "Registry view: 64 (what the windows show), 32, or both")
        ->capture_default_str();
    addFormatOption(*find, findOptions.format, true)->capture_default_str();
    find->footer("Example:\n  AddInRegCli find MyAddIn.dll --format json");

    WriteOptions writeOptions;
    addWriteCommand(app, writeOptions);
    const DoctorCommands doctor(app); // check, unregister, stale
    const VerifyCommand verify(app);
    const CaptureCommand capture(app);

    try {
        app.parse(argc, argv);
        // A check CLI11 cannot express: --server is needed only to register.
        if (app.got_subcommand("write") && writeOptions.registerServer && writeOptions.server.empty())
            throw CLI::RequiredError("--server is needed by --register");
        if (app.got_subcommand("write") && writeOptions.capture && writeOptions.server.empty())
            throw CLI::RequiredError("--server is needed by --capture");
        if (app.got_subcommand("write") && writeOptions.format != scripts::OutputFormat::Reg) {
            // An installer file holds both steps, and an installer, not this command, merges it.
            if (writeOptions.server.empty()) throw CLI::RequiredError("--server is needed by --format nsis and wix");
            if (!writeOptions.unRegFile.empty() || writeOptions.registerServer)
                throw CLI::ValidationError("--format nsis and wix", "take neither --unreg-file nor --register");
        }
    } catch (const CLI::CallForHelp&) {
        printResult(withCrLf(app.help()));
        return codeOf(ExitCode::Ok);
    } catch (const CLI::CallForAllHelp&) {
        printResult(withCrLf(app.help("", CLI::AppFormatMode::All)));
        return codeOf(ExitCode::Ok);
    } catch (const CLI::CallForVersion& e) {
        printResult(e.what() + std::string(text::kCrLf));
        return codeOf(ExitCode::Ok);
    } catch (const CLI::ParseError& e) {
        // The reason, and where to read more; not the whole help.
        std::string command = kProgram;
        for (const CLI::App* sub : app.get_subcommands()) command += " " + sub->get_name();
        printError(e.what());
        printStatus("Run \"" + command + " --help\" for the options and an example.");
        return codeOf(ExitCode::Usage);
    }

    ExitCode code = ExitCode::Ok;
    if (list->parsed()) code = runList(listOptions);
    else if (find->parsed()) code = runFind(typed, findOptions);
    else if (doctor.parsed()) code = doctor.run();
    else if (verify.parsed()) code = verify.run();
    else if (capture.parsed()) code = capture.run();
    else code = runWrite(writeOptions);
    if (resultsFailed()) {
        printError("the output could not be written (the disk may be full, or the reader gone).");
        return codeOf(ExitCode::NotWritten);
    }
    if (platform::charactersWereEscaped())
        printError("characters the ANSI code page cannot hold were written as <U+XXXX>; --format json gives the "
                   "exact text.");
    return codeOf(code);
}

} // namespace cli
