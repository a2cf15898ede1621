// The captured registration's scripts on random captures: the register
// script, read back as the importer reads it, writes every planned value with
// its type and bytes, and nothing else; the un-register script deletes no key
// that was there before; the template's lines keep their number. The NSIS
// include and the WiX fragment made from the scripts, read back by each
// format's own rules (NSIS's quoting and "$", XML's references and the
// Windows Installer's formatted text), give every string value exactly.
#include "FuzzInput.h"
#include "scripts/CapturedRegistration.h"
#include "scripts/Installer.h"
#include "scripts/RegFileReader.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <algorithm>
#include <array>
#include <optional>
#include <set>

using namespace scripts;

namespace {

constexpr std::array<const char*, 8> kParts{"CLSID", "{A}", "InProcServer32", "Interface", "Software",
                                            "Classes", "Wow6432Node", "My.ProgId"};
constexpr std::array<classes::ValueType, 6> kTypes{classes::ValueType::String, classes::ValueType::ExpandString,
                                                    classes::ValueType::MultiString, classes::ValueType::Dword,
                                                    classes::ValueType::Binary, classes::ValueType::Qword};

// The quoted NSIS strings of a line, as makensis reads them: "$$" is "$",
// "$\"" "$\r" "$\n" "$\t" their characters, "$INSTDIR" the installed
// folder; any other "$" would be a variable, which the writer never makes.
std::vector<std::string> nsisStrings(const std::string& line, const std::string& installDir)
{
    std::vector<std::string> strings;
    size_t at = line.find('"');
    while (at != std::string::npos) {
        std::string text;
        size_t i = at + 1;
        for (;; ++i) {
            fuzz::check(i < line.size(), "an NSIS string ends on its line");
            if (line[i] == '"') break;
            if (line[i] != '$') {
                text += line[i];
                continue;
            }
            const std::string_view rest = std::string_view(line).substr(i + 1);
            if (rest.rfind("INSTDIR", 0) == 0) {
                text += installDir;
                i += 7;
            } else if (!rest.empty() && rest[0] == '$') {
                text += '$';
                ++i;
            } else {
                fuzz::check(rest.size() >= 2 && rest[0] == '\\', "every other $ in NSIS text is an escape");
                const char c = rest[1];
                fuzz::check(c == '"' || c == 'r' || c == 'n' || c == 't', "an NSIS escape is one the writer makes");
                text += c == '"' ? '"' : c == 'r' ? '\r' : c == 'n' ? '\n' : '\t';
                i += 2;
            }
        }
        strings.push_back(text);
        at = line.find('"', i + 1);
    }
    return strings;
}

// A WiX attribute's value as the Windows Installer gets it: XML's references
// resolved, then "[\x]" as x, "[#id]" as the installed file, "$$(" "!!(" as
// "$(" "!(".
std::string wixValue(std::string_view xml, const std::string& fileReference, const std::string& installedFile)
{
    std::string text;
    for (size_t i = 0; i < xml.size(); ++i) {
        fuzz::check(xml[i] != '<' && xml[i] != '"' && static_cast<unsigned char>(xml[i]) >= 0x20,
                    "an attribute holds no markup or control character");
        if (xml[i] != '&') {
            text += xml[i];
            continue;
        }
        const size_t end = xml.find(';', i);
        fuzz::check(end != std::string_view::npos, "a reference ends");
        const std::string_view name = xml.substr(i + 1, end - i - 1);
        const std::array<std::pair<std::string_view, char>, 7> kNames{
            {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"#x9", '\t'}, {"#xA", '\n'}, {"#xD", '\r'}}};
        const auto known = std::find_if(kNames.begin(), kNames.end(), [&](const auto& n) { return n.first == name; });
        fuzz::check(known != kNames.end(), "a reference is one the writer makes");
        text += known->second;
        i = end;
    }
    std::string value;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, fileReference.size(), fileReference) == 0) {
            value += installedFile;
            i += fileReference.size() - 1;
        } else if (text[i] == '[') {
            fuzz::check(i + 3 < text.size() && text[i + 1] == '\\' && text[i + 3] == ']', "a bracket is escaped");
            value += text[i + 2];
            i += 3;
        } else if ((text[i] == '$' || text[i] == '!') && i + 2 < text.size() && text[i + 1] == text[i] && text[i + 2] == '(') {
            value += text[i];
            ++i;
        } else {
            fuzz::check(!((text[i] == '$' || text[i] == '!') && i + 1 < text.size() && text[i + 1] == '('),
                        "no preprocessor or binder variable is left");
            fuzz::check(text[i] != ']', "a closing bracket is escaped");
            value += text[i];
        }
    }
    return value;
}

// Each string value of the installer plan as the installed file puts it in.
std::vector<std::string> plannedStrings(const InstallPlan& plan, const std::string& server, const std::string& installed)
{
    std::vector<std::string> strings;
    for (const InstallKey& k : plan.keys)
        for (const classes::NamedValue& v : k.values)
            if (v.value.type == classes::ValueType::String || v.value.type == classes::ValueType::ExpandString) {
                std::string text = v.value.leadingText();
                for (size_t at = server.empty() ? std::string::npos : text.find(server); at != std::string::npos;
                     at = text.find(server, at + installed.size()))
                    text.replace(at, server.size(), installed);
                strings.push_back(text);
            }
    return strings;
}

void checkInstallers(const std::string& registerScript, const std::string& unRegisterScript, int bits,
                     const std::string& server)
{
    const InstallPlan plan = installPlanOf(readRegScript(registerScript, {}), readRegScript(unRegisterScript, {}), bits);
    const InstalledFile file{"My.dll", server};

    const InstallerText nsis = nsisIncludeOf(plan, file);
    if (nsis.problems.empty()) {
        fuzz::check(startsLikeOutputOf(OutputFormat::Nsis, nsis.bytes), "the include starts as the safe write knows it");
        std::vector<std::string> written;
        size_t at = 0;
        while (at < nsis.bytes.size()) {
            const size_t end = nsis.bytes.find("\r\n", at);
            fuzz::check(end != std::string::npos, "every line of the include ends in CR LF");
            const std::string line = nsis.bytes.substr(at, end - at);
            at = end + 2;
            const bool str = line.rfind("  WriteRegStr ", 0) == 0 || line.rfind("  WriteRegExpandStr ", 0) == 0;
            if (line.find_first_of("\r\n") != std::string::npos || !str) continue;
            const std::vector<std::string> strings = nsisStrings(line, "C:\\Add-In");
            fuzz::check(strings.size() == 3, "a string instruction has its key, name and text");
            if (strings[1] != "AddInReg.EmptyKey") written.push_back(strings[2]);
        }
        const std::vector<std::string> planned = plannedStrings(plan, server, "C:\\Add-In\\My.dll");
        fuzz::check(written == planned, "the include writes every string value exactly, in order");
    }

    const InstallerText wix = wixFragmentOf(plan, file);
    if (wix.problems.empty()) {
        fuzz::check(startsLikeOutputOf(OutputFormat::Wix, wix.bytes), "the fragment starts as the safe write knows it");
        std::vector<std::string> written;
        for (size_t at = wix.bytes.find("<RegistryValue "); at != std::string::npos;
             at = wix.bytes.find("<RegistryValue ", at + 1)) {
            const size_t end = wix.bytes.find('>', at);
            const std::string element = wix.bytes.substr(at, end - at);
            if (element.find("Type=\"string\"") == std::string::npos && element.find("Type=\"expandable\"") == std::string::npos)
                continue;
            const size_t value = element.find(" Value=\"") + 8;
            written.push_back(wixValue(std::string_view(element).substr(value, element.find('"', value) - value),
                                       "[#My_dll]", "C:\\Add-In\\My.dll"));
        }
        std::vector<std::string> planned = plannedStrings(plan, server, "C:\\Add-In\\My.dll");
        std::sort(written.begin(), written.end());
        std::sort(planned.begin(), planned.end());
        fuzz::check(written == planned, "the fragment writes every string value exactly");
        const auto count = [&](const std::string& part) {
            size_t n = 0;
            for (size_t at = wix.bytes.find(part); at != std::string::npos; at = wix.bytes.find(part, at + 1)) ++n;
            return n;
        };
        fuzz::check(count("<RegistryKey ") == count("</RegistryKey>") + count("ForceCreateOnInstall=\"yes\" />"),
                    "every key element is closed");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> parts = fuzz::splitAtNul(data, size, 3);
    const std::string& shape = parts[0];
    const std::string& names = parts[1];
    const std::string& bytes = parts[2];
    if (shape.size() < 2) return 0;

    // Keys from the shape's bytes; names and data from the other parts.
    std::vector<CapturedKey> keys;
    size_t nameAt = 0;
    for (size_t i = 2; i + 1 < shape.size() && keys.size() < 12; i += 2) {
        const auto code = static_cast<unsigned char>(shape[i]);
        const auto more = static_cast<unsigned char>(shape[i + 1]);
        CapturedKey key;
        key.root = static_cast<CapturedRoot>(code % 5);
        key.path = kParts[(code / 4) % kParts.size()];
        if (more & 1) key.path += std::string("\\") + kParts[(more / 2) % kParts.size()];
        key.hasSubKeys = (more & 0x80) != 0;
        if (more & 0x40) {
            // Names come from the registry reader as valid UTF-8.
            const std::string name =
                text::utf8FromUtf16(text::utf16FromUtf8(names.substr(std::min(nameAt, names.size()), more % 5)));
            nameAt += more % 5;
            classes::Value value{kTypes[more % kTypes.size()], {}};
            const std::string piece = bytes.substr(0, (more % 9) * 2);
            value.data.assign(piece.begin(), piece.end());
            key.values.push_back({name, value});
        }
        keys.push_back(std::move(key));
    }
    const CaptureTarget target{(shape[0] & 1) ? 32 : 64, (shape[0] & 2) != 0};
    const CapturePlan plan = planCapture(keys, target, {bytes.substr(0, 6)}, names.substr(0, 4));

    const std::string script = registerScriptOf(plan);
    const RegScriptContent read = readRegScript(script, {});
    fuzz::check(read.imported, "the register script has a header");
    std::vector<const RegEntry*> values;
    for (const RegEntry& e : read.entries)
        if (e.kind != RegEntryKind::Key) values.push_back(&e);
    size_t planned = 0;
    for (const PlannedKey& k : plan.keys) {
        if (!k.written) continue;
        for (const classes::NamedValue& v : k.values) {
            fuzz::check(planned < values.size(), "every planned value is read back");
            const RegEntry& e = *values[planned++];
            fuzz::check(e.valueName == v.name, "a value keeps its name");
            fuzz::check(e.type == classes::typeCode(v.value.type), "a value keeps its type");
            // A string's NUL is added by the importer when it lacks one.
            std::string stored(v.value.data.begin(), v.value.data.end());
            fuzz::check(e.stored == stored || (classes::holdsStrings(v.value.type) && e.stored.size() > stored.size()),
                        "a value keeps its bytes");
        }
    }
    fuzz::check(planned == values.size(), "nothing but the planned values");

    // Some keys exist already, and so their parents; none of them is deleted.
    std::set<std::string> existing;
    for (size_t i = 0; i < plan.keys.size(); ++i)
        if ((static_cast<unsigned char>(shape[1]) >> (i % 8)) & 1) existing.insert(text::upperAscii(plan.keys[i].key.fullName()));
    const ExistingKeys probe{[&](RegRoot root, const std::string& path) {
                                 const std::string name = text::upperAscii(ScriptKey{root, path}.fullName());
                                 for (const std::string& kept : existing)
                                     if (kept == name || kept.rfind(name + "\\", 0) == 0) return true;
                                 return path.empty();
                             },
                             [](RegRoot, const std::string&, const std::string&) { return false; }};
    const std::string unRegScript = unRegisterScriptOf(plan, probe);
    checkInstallers(script, unRegScript, target.bits, names.substr(0, 4));
    const RegScriptContent unReg = readRegScript(unRegScript, {});
    for (const RegEntry& e : unReg.entries)
        if (e.kind == RegEntryKind::Key && e.keyDeleted)
            for (const std::string& kept : existing)
                fuzz::check(text::upperAscii(e.keyPath) != kept && kept.rfind(text::upperAscii(e.keyPath) + "\\", 0) != 0,
                            "a key that was there is never deleted");
    return 0;
}
