// String data escaping, read back by hand and by the script reader.
#include "FuzzInput.h"
#include "scripts/RegFileReader.h"
#include "scripts/RegScript.h"

using namespace fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string escaped = scripts::escapeRegString(text);

    // Every backslash starts a pair that stands for its second character,
    // and no quote stands alone.
    std::string back;
    for (size_t i = 0; i < escaped.size(); ++i) {
        check(escaped[i] != '"', "no bare quote");
        if (escaped[i] == '\\') {
            check(i + 1 < escaped.size() && (escaped[i + 1] == '\\' || escaped[i + 1] == '"'), "only \\\\ and \\\"");
            ++i;
        }
        back += escaped[i];
    }
    // A line break or a NUL cannot be string data: it comes back as a blank.
    std::string expected = text;
    for (char& c : expected)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    check(back == expected, "unescaping gives the text");

    const std::string script =
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n\"" + escaped + "\"=\"" + escaped + "\"\r\n";
    const scripts::RegScriptContent read = scripts::readRegScript(script);
    check(read.errors.empty() && read.entries.size() == 2, "one value read back");
    check(read.entries[1].valueName == expected && read.entries[1].data == expected, "name and data read back");
    check(read.unknownEscapes.empty(), "the writer uses no escape the importer warns of");
    return 0;
}
