#include "cli/Commands.h"

#include "Version.h"
#include "classes/ClassLookup.h"
#include "classes/ProgIdList.h"
#include "system/Search.h"
#include "cli/DoctorCommands.h"
#include "cli/VerifyCommand.h"
#include "cli/Output.h"
#include "classes/Arguments.h"
#include "system/Files.h"
#include "system/Process.h"
#include "system/AnsiText.h"
#include "system/RegistryReader.h"
#include "scripts/RegScript.h"
#include "system/SafeWrite.h"
#include "system/Template.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cli {

namespace {

constexpr char kProgram[] = "AddInRegCli";
constexpr char kLineEnd[] = "\r\n";

// Standard output is binary: text from elsewhere (CLI11's help) gets CR LF here.
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

// ---- list and find -------------------------------------------------------

struct ListOptions {
    std::string view = "64";
    std::string format = "text";
};

struct FoundClass {
    ClassRow row;
    std::string lookupText;
    registry::ValueType serverType = registry::ValueType::String;
};

// Every ProgID the main window would list for the view, looked up by the
// window's rule, in the registry's enumeration order. Whether a server file
// exists is left for the rows that are shown.
std::vector<FoundClass> readClasses(registry::View view)
{
    const registry::RegistryReader reader(registry::Hive::ClassesRoot, view);
    std::vector<FoundClass> found;
    for (const std::string& progId : classes::listedProgIds(reader.subKeys(""))) {
        // What the lookup read, so that the server's type is known.
        std::vector<std::pair<std::string, registry::ValueType>> reads;
        const classes::ClassLookup lookup = classes::lookUpClass(progId, [&](const std::string& keyPath) {
            std::optional<registry::Value> value = reader.value(keyPath);
            std::string text = value ? value->leadingText() : "";
            reads.emplace_back(text, value ? value->type : registry::ValueType::None);
            return text;
        });
        registry::ValueType serverType = registry::ValueType::String;
        for (const auto& [text, readType] : reads)
            if (!lookup.server.empty() && text == lookup.server) serverType = readType; // the last read that gave it
        found.push_back({{view == registry::View::Bits64 ? 64 : 32, progId, lookup.clsid, lookup.server, false},
                         lookup.text,
                         serverType});
    }
    return found;
}

// Whether the row's server file exists: the value expanded and unquoted for
// the test only; the row keeps it as stored.
bool serverFileExists(const FoundClass& c)
{
    if (c.row.server.empty()) return false;
    const std::string value =
        c.serverType == registry::ValueType::ExpandString ? registry::expandEnvironment(c.row.server) : c.row.server;
    const std::string path = classes::pathOfServerValue(value);
    return !path.empty() && platform::fileExists(path);
}

// The classes of the chosen views in the main window's list order; with both
// views, a ProgID's 64-bit row comes first.
std::vector<FoundClass> readClassesInListOrder(const std::string& view)
{
    std::vector<FoundClass> all;
    if (view != "32") all = readClasses(registry::View::Bits64);
    if (view != "64") {
        std::vector<FoundClass> more = readClasses(registry::View::Bits32);
        all.insert(all.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
    std::vector<std::string> names;
    names.reserve(all.size());
    for (const FoundClass& c : all) names.push_back(c.row.progId);
    std::vector<FoundClass> ordered;
    ordered.reserve(all.size());
    for (size_t i : platform::listOrder(names)) ordered.push_back(std::move(all[i]));
    return ordered;
}

Format formatOf(const std::string& name)
{
    if (name == "csv") return Format::Csv;
    if (name == "json") return Format::Json;
    return Format::Text;
}

void printRows(const std::vector<FoundClass>& classes, const ListOptions& options)
{
    std::vector<ClassRow> rows;
    rows.reserve(classes.size());
    for (const FoundClass& c : classes) {
        rows.push_back(c.row);
        rows.back().serverExists = serverFileExists(c);
    }
    std::cout << formatRows(rows, formatOf(options.format), options.view == "both", platform::ansiToUtf8)
              << std::flush;
}

int runList(const ListOptions& options)
{
    printRows(readClassesInListOrder(options.view), options);
    return kExitOk;
}

int runFind(const std::string& typed, const ListOptions& options)
{
    std::vector<FoundClass> matches;
    for (FoundClass& c : readClassesInListOrder(options.view))
        if (browser::lookupTextMatches(c.lookupText, typed)) matches.push_back(std::move(c));
    printRows(matches, options);
    if (!matches.empty()) return kExitOk;
    std::cerr << kProgram << ": no class matches \"" << typed << "\"\n";
    return kExitNothingFound;
}

// ---- write ---------------------------------------------------------------

struct WriteOptions {
    std::string out;
    std::string clsid;
    std::string server;
    std::string menu = "myAddInName";
    std::string description = "This AddIn creates Geometry";
    bool olderHost = false;
    bool noVersionLine = false;
    std::string unRegFile;
    bool noUnReg = false;
    std::string templateFile;
    bool registerServer = false;
    bool verify = false;
};

bool isBracedGuid(const std::string& text)
{
    static const std::string shape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (shape[i] == 'x' ? !std::isxdigit(c) : text[i] != shape[i]) return false;
    }
    return true;
}

std::string folderPartOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string whyNotWritten(const std::string& path, writer::WriteResult result)
{
    switch (result) {
    case writer::WriteResult::Written: return "";
    case writer::WriteResult::ReadOnly:
    case writer::WriteResult::NotAScript:
    case writer::WriteResult::IsTemplate: return writer::refusalSentence(result);
    case writer::WriteResult::OpenFailed:
        if (platform::folderExists(path)) return "It is a folder.";
        if (const std::string folder = folderPartOf(path); !folder.empty() && !platform::folderExists(folder))
            return "Its folder does not exist.";
        return "It could not be created.";
    case writer::WriteResult::WriteFailed: return "Writing it failed; a file that was there is unchanged.";
    }
    return "";
}

bool writeFile(const std::string& path, const std::string& text, const std::string& templatePath)
{
    const writer::WriteResult result = writer::writeScriptFile(path, text, templatePath);
    if (result == writer::WriteResult::Written) {
        std::cout << "Written: " << path << kLineEnd;
        return true;
    }
    std::cerr << kProgram << ": \"" << path << "\" was not written. " << whyNotWritten(path, result) << "\n";
    return false;
}


int runWrite(const WriteOptions& options)
{
    // The window's template rule, except that a template asked for by name
    // must be there: a build step should not quietly get another one.
    std::string templatePath;
    std::string templateText;
    if (!options.templateFile.empty()) {
        writer::TemplateLoad load = writer::loadTemplate(options.templateFile);
        if (load.source != writer::TemplateLoad::Source::File) {
            std::cerr << kProgram << ": the template \"" << options.templateFile << "\" "
                      << (load.source == writer::TemplateLoad::Source::MissingOrEmpty ? "is missing or empty"
                                                                                     : "cannot be opened")
                      << "; nothing was written.\n";
            return kExitNotWritten;
        }
        templatePath = options.templateFile;
        templateText = std::move(load.text);
    } else {
        const std::string path = writer::templatePathIn(platform::currentDirectory());
        writer::TemplateLoad load = writer::loadTemplate(path);
        if (load.source == writer::TemplateLoad::Source::File) templatePath = path;
        if (load.source == writer::TemplateLoad::Source::OpenFailed)
            std::cerr << kProgram << ": \"" << path << "\" cannot be opened; the built-in template is used.\n";
        templateText = std::move(load.text);
    }

    const std::string script = scripts::fillRegTemplate(
        templateText, {options.clsid, options.menu, options.description, !options.olderHost, !options.noVersionLine});
    if (!writeFile(options.out, script, templatePath)) return kExitNotWritten;
    if (!options.noUnReg) {
        const std::string unRegPath =
            options.unRegFile.empty() ? scripts::unRegFileNameOf(options.out) : options.unRegFile;
        if (!writeFile(unRegPath, scripts::unRegScriptOf(script), templatePath)) return kExitNotWritten;
    }

    if (!options.registerServer) return kExitOk;
    // Both run whatever the first one gives, as in the window.
    const bool registered = reportExitCode("regsvr32.exe /s \"" + options.server + "\"",
                                           platform::runUtility(platform::kRegsvr32, "/s", options.server));
    const bool merged = reportExitCode("reg.exe import \"" + options.out + "\"",
                                       platform::runUtility(platform::kReg, "import", options.out));
    // The read-back runs whatever they gave: it shows what the merge left.
    const bool verified = !options.verify || verifyMergedScript(options.out);
    if (registered && merged && verified) return kExitOk;
    if (!registered || !merged) std::cerr << kProgram << ": the registration failed.\n";
    return kExitNothingFound;
}

// ---- the command line ----------------------------------------------------

void addListOptions(CLI::App& command, ListOptions& options)
{
    command.add_option("--view", options.view, "Registry view: 64 (what the windows show), 32, or both")
        ->check(CLI::IsMember({"64", "32", "both"}))
        ->capture_default_str();
    command.add_option("--format", options.format, "Output: text, csv or json")
        ->check(CLI::IsMember({"text", "csv", "json"}))
        ->capture_default_str();
}

} // namespace

bool reportExitCode(const std::string& what, const std::optional<unsigned long>& code)
{
    if (code)
        std::cout << what << ": exit code " << *code << kLineEnd;
    else
        std::cout << what << ": could not be started" << kLineEnd;
    return code && *code == 0;
}

int run(int argc, char** argv)
{
    CLI::App app{"Lists the COM classes registered on this machine and writes the registry scripts of an add-in.",
                 kProgram};
    app.set_version_flag("--version", std::string(kProgram) + " " + ADDINREG_VERSION_TEXT);
    app.require_subcommand(1);

    ListOptions listOptions;
    CLI::App* list = app.add_subcommand("list", "Every ProgID the main window lists, with its class and server");
    addListOptions(*list, listOptions);

    std::string typed;
    CLI::App* find =
        app.add_subcommand("find", "The ProgIDs whose lookup text contains TEXT, as \"Find DLL\" visits them");
    find->add_option("TEXT", typed, "Part of a server path or CLSID, letters in either case")
        ->type_name("")
        ->required()
        ->check(CLI::Validator(
            [](std::string& text) { return text.empty() ? std::string("TEXT is empty") : std::string(); }, ""));
    addListOptions(*find, listOptions);

    WriteOptions writeOptions;
    CLI::App* write = app.add_subcommand("write", "Writes the register script of an add-in, and its un-register script");
    write->add_option("OUT", writeOptions.out, "The register script to write")->required()->type_name("PATH");
    write->add_option("--clsid", writeOptions.clsid, "The add-in's class")
        ->required()
        ->type_name("{GUID}")
        ->check(CLI::Validator(
            [](std::string& text) {
                return isBracedGuid(text) ? std::string()
                                          : "\"" + text + "\" is not a GUID in braces, like "
                                                          "{01234567-89AB-CDEF-0123-456789ABCDEF}";
            },
            ""));
    write->add_option("--server", writeOptions.server, "The add-in's server DLL")->required()->type_name("PATH");
    write->add_option("--menu", writeOptions.menu, "The menu name")->type_name("NAME")->capture_default_str();
    write->add_option("--description", writeOptions.description, "The description")->capture_default_str();
    write->add_flag("--older-host", writeOptions.olderHost, "Register for the host before R6 (no version line)");
    write->add_flag("--no-version-line", writeOptions.noVersionLine, "Leave out the supported-version line");
    CLI::Option* unRegFile = write->add_option("--unreg-file", writeOptions.unRegFile,
                                               "The un-register script (default: UnReg- and the name of OUT)")
                                  ->type_name("PATH");
    write->add_flag("--no-unreg", writeOptions.noUnReg, "Write no un-register script")->excludes(unRegFile);
    write->add_option("--template", writeOptions.templateFile,
                      "The template (default: AddInTemplate.Reg in the current folder, else the built-in one)")
        ->type_name("FILE");
    write->add_flag("--register", writeOptions.registerServer,
                    "Then run regsvr32 /s on the server and reg import on OUT, and wait for both");
    write->add_flag("--verify", writeOptions.verify,
                    "After --register, report each key and value of OUT that is not in the registry")
        ->needs("--register");
    const DoctorCommands doctor(app); // check, unregister, stale
    const VerifyCommand verify(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << withCrLf(app.help()) << std::flush;
        return kExitOk;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << withCrLf(app.help("", CLI::AppFormatMode::All)) << std::flush;
        return kExitOk;
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << kLineEnd << std::flush;
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        // help() shows the command that was being parsed, if any.
        std::cerr << kProgram << ": " << e.what() << "\n\n" << app.help();
        return kExitUsage;
    }

    if (list->parsed()) return runList(listOptions);
    if (find->parsed()) return runFind(typed, listOptions);
    if (doctor.parsed()) return doctor.run();
    if (verify.parsed()) return verify.run();
    return runWrite(writeOptions);
}

} // namespace cli
