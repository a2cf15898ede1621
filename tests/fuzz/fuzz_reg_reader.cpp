// The script reader: any bytes give entries and errors that stay within the
// text's lines, in order.
#include "FuzzInput.h"
#include "scripts/RegFileReader.h"

#include <algorithm>

using namespace fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const scripts::RegScriptContent read = scripts::readRegScript(text);

    const size_t lines = std::max<size_t>(1, static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) +
                                                 (text.empty() || text.back() == '\n' ? 0 : 1));
    size_t previous = 1;
    for (const scripts::RegEntry& e : read.entries) {
        check(e.line >= 2, "entries follow the header line");
        check(e.line >= previous && e.line <= lines, "entries in order, within the text");
        previous = e.line;
        check(!e.keyPath.empty(), "every entry has its key");
        if (e.kind == scripts::RegEntryKind::Dword) check(e.data.size() == 4, "a dword is four bytes");
        if (e.kind != scripts::RegEntryKind::Key && e.kind != scripts::RegEntryKind::Hex) check(e.hexType == 3, "hex type only for hex");
    }
    for (const scripts::RegReadError& error : read.errors) {
        check(error.line >= 1 && error.line <= lines, "errors within the text");
        check(!error.message.empty(), "every error says what is wrong");
    }
    return 0;
}
