// The register script, the un-register script and file name, and the
// replacement under them.
#include "FuzzInput.h"
#include "scripts/RegFileReader.h"
#include "scripts/RegScript.h"

#include <algorithm>

using namespace fuzz;

namespace {

// A byte that occurs in neither string, if there is one.
int unusedByte(const std::string& a, const std::string& b)
{
    for (int c = 1; c < 256; ++c)
        if (!contains(a, std::string(1, static_cast<char>(c))) && !contains(b, std::string(1, static_cast<char>(c))))
            return c;
    return -1;
}

bool fitsOnALine(const std::string& s) { return s.find_first_of("\r\n") == std::string::npos; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const std::vector<std::string> in = splitAtNul(data + 1, size - 1, 5);
    const bool builtIn = (flags & 4) != 0;
    const std::string tmpl = builtIn ? scripts::builtInTemplate() : in[0];
    const scripts::ScriptFields fields{in[1], in[2], in[3], (flags & 1) != 0, (flags & 2) != 0};

    const std::string script = scripts::fillRegTemplate(tmpl, fields);
    if (!contains(tmpl, "#")) check(script == tmpl, "a template without placeholders is kept as it is");

    const std::string unReg = scripts::unRegScriptOf(script);
    const size_t brackets = static_cast<size_t>(std::count(script.begin(), script.end(), '['));
    check(unReg.size() == script.size() + brackets, "every '[' gains one '-'");
    for (size_t at = unReg.find('['); at != std::string::npos; at = unReg.find('[', at + 1))
        check(at + 1 < unReg.size() && unReg[at + 1] == '-', "every '[' is followed by '-'");

    // What the built-in template makes of one-line fields reads back as written.
    if (builtIn && fitsOnALine(in[1]) && fitsOnALine(in[2]) && fitsOnALine(in[3])) {
        const scripts::RegScriptContent read = scripts::readRegScript(script);
        check(read.errors.empty(), "the register script reads back");
        check(read.entries.size() > 4 && read.entries[1].data == in[2] && read.entries[3].data == in[3],
              "the menu name and description read back");
        check(scripts::readRegScript(unReg).errors.empty(), "the un-register script reads back");
    }

    const std::string& name = in[4];
    const std::string unRegName = scripts::unRegFileNameOf(name);
    const size_t nameStart = name.find_last_of("\\/") + 1; // 0 without a separator
    check(unRegName == name.substr(0, nameStart) + "UnReg-" + name.substr(nameStart), "UnReg- goes before the file name");

    // Replacing `from` by a byte found nowhere and back gives the text again.
    const std::string& from = in[1];
    if (const int marker = unusedByte(tmpl, from); marker > 0 && !from.empty()) {
        const std::string m(1, static_cast<char>(marker));
        const std::string there = scripts::replaceAll(tmpl, from, m);
        check(scripts::replaceAll(there, m, from) == tmpl, "replacement round trip");
        check(contains(tmpl, from) == contains(there, m), "a replacement happens where `from` occurs");
    }

    scripts::startsLikeRegistryScript(tmpl);
    if (scripts::templateKindOf(tmpl) == scripts::TemplateKind::AnsiScript)
        check(scripts::startsLikeRegistryScript(script) && scripts::startsLikeRegistryScript(unReg),
              "a script filled from a template is a registry script, and so is its un-register script");
    return 0;
}
