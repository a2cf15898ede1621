#include "cli/ListCommands.h"

#include "classes/ClassLookup.h"
#include "classes/ProgIdList.h"
#include "classes/ServerRule.h"
#include "cli/Print.h"
#include "output/Output.h"
#include "platform/Console.h"
#include "platform/Locale.h"
#include "platform/RegistryReader.h"
#include "platform/ServerFiles.h"

#include <iterator>
#include <optional>
#include <vector>

namespace cli {

namespace {

struct FoundClass {
    output::ClassRow row;
    std::string lookupText;
    std::optional<classes::Value> serverValue; // the value the server was read from
    classes::View view = classes::View::Bits64;
};

// Every ProgID the main window would list for the view, looked up by the
// window's rule, in the registry's enumeration order. Whether a server file
// exists is left for the rows that are shown.
std::vector<FoundClass> readClasses(classes::View view, Progress& progress)
{
    const platform::RegistryReader reader(classes::Hive::ClassesRoot, view);
    std::vector<FoundClass> found;
    for (const std::string& progId : classes::listedProgIds(reader.subKeys(""))) {
        progress.step();
        platform::ServerLookup server = platform::lookUpServer(reader, progId);
        const classes::ClassLookup& lookup = server.lookup;
        found.push_back({{classes::bitsOf(view), progId, lookup.clsid, lookup.server, false, lookup.localServer},
                         lookup.text,
                         std::move(server.serverValue),
                         view});
    }
    return found;
}

// Whether the row's server file exists, by the server rule (a local
// server's program by the command line's); the row keeps the value as stored.
bool serverFileExists(const FoundClass& c, const classes::ServerFileSystem& files)
{
    if (!classes::hasServer(c.row.server)) return false;
    return (c.row.localServer ? classes::resolveLocalServer(c.serverValue, c.view, files)
                              : classes::resolveServer(c.serverValue, c.view, files))
        .found();
}

// The classes of the chosen views in the main window's list order; with both
// views, a ProgID's 64-bit row comes first.
std::vector<FoundClass> readClassesInListOrder(ViewChoice view)
{
    Progress progress("Reading the classes");
    std::vector<FoundClass> all;
    if (reads64(view)) all = readClasses(classes::View::Bits64, progress);
    if (reads32(view)) {
        std::vector<FoundClass> more = readClasses(classes::View::Bits32, progress);
        all.insert(all.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
    std::vector<std::string> names;
    names.reserve(all.size());
    for (const FoundClass& c : all) names.push_back(c.row.progId);
    std::vector<FoundClass> ordered;
    ordered.reserve(all.size());
    for (size_t i : platform::listOrder(names, platform::Encoding::Utf8)) ordered.push_back(std::move(all[i]));
    return ordered;
}

void printRows(const std::vector<FoundClass>& classes, const ListOptions& options)
{
    const platform::SystemServerFiles files;
    std::vector<output::ClassRow> rows;
    rows.reserve(classes.size());
    for (const FoundClass& c : classes) {
        rows.push_back(c.row);
        rows.back().serverExists = serverFileExists(c, files);
    }
    // Redirected, text is written in the code page, with "<U+XXXX>" for what
    // it lacks: the columns are measured on that.
    output::ShownText shown;
    if (!platform::isConsole(platform::Stream::Out)) shown = platform::asWrittenToFile;
    printResult(output::formatRows(rows, options.format, options.view == ViewChoice::Both, shown),
                options.format == FormatChoice::Json ? platform::Bytes::Utf8 : platform::Bytes::AnsiText);
}

} // namespace

ExitCode runList(const ListOptions& options)
{
    printRows(readClassesInListOrder(options.view), options);
    return ExitCode::Ok;
}

ExitCode runFind(const std::string& typed, const ListOptions& options)
{
    std::vector<FoundClass> matches;
    for (FoundClass& c : readClassesInListOrder(options.view))
        if (platform::lookupTextMatches(c.lookupText, typed, platform::Encoding::Utf8)) matches.push_back(std::move(c));
    printRows(matches, options);
    if (!matches.empty()) return ExitCode::Ok;
    printError("no class matches \"" + typed + "\"");
    return ExitCode::NothingFound;
}


} // namespace cli
