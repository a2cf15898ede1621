// The script reader: any bytes give entries and errors that stay within the
// text's lines, and values that store what their type allows.
#include "FuzzInput.h"
#include "scripts/RegFileReader.h"

#include <algorithm>

using namespace fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const scripts::RegScriptContent read = scripts::readRegScript(text);

    // CR, LF and CR LF each end a line: at most one line more than the breaks.
    const size_t lines = 1 + static_cast<size_t>(std::count(text.begin(), text.end(), '\n') +
                                                 std::count(text.begin(), text.end(), '\r'));
    size_t previous = 1;
    for (const scripts::RegEntry& e : read.entries) {
        check(read.imported, "no entries from a script the importer refuses");
        check(e.line >= 2, "entries follow the header line");
        check(e.line >= previous && e.line <= lines, "entries in order, within the text");
        previous = e.line;
        check(!e.keyPath.empty(), "every entry has its key");
        if (e.kind == scripts::RegEntryKind::Dword) check(e.stored.size() == 4 && e.type == 4, "a dword is four bytes");
        if (e.kind != scripts::RegEntryKind::Key && e.kind != scripts::RegEntryKind::Hex) check(e.hexType == 3, "hex type only for hex");
        if (e.kind == scripts::RegEntryKind::String)
            check(e.stored.size() >= 2 && e.stored.size() % 2 == 0 && e.stored.substr(e.stored.size() - 2) == std::string(2, '\0'),
                  "a string is stored as UTF-16 with its NUL");
    }
    for (const scripts::RegReadError& error : read.errors) {
        check(error.line >= 1 && error.line <= lines, "errors within the text");
        check(!error.message.empty(), "every error says what is wrong");
    }
    check(read.imported || read.errors.size() == 1, "a refused header is the one error");
    return 0;
}
