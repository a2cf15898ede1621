#include "scripts/Installer.h"

#include "scripts/Capture.h"
#include "scripts/RegScript.h"
#include "text/Text.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <utility>

namespace scripts {

namespace {

using text::kCrLf;

// The first line of each file this program writes in that format: what the
// safe write recognises as its own.
constexpr std::string_view kNsisFirstLine = "\xEF\xBB\xBF; AddInReg installer include";
constexpr std::string_view kWixFirstLine = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- AddInReg installer fragment";

// The shortest string an NSIS build holds (NSIS_MAX_STRLEN of the common build).
constexpr size_t kNsisShortestStrings = 1024;

// NSIS writes an empty key only with a value; this one is set and deleted
// at once.
constexpr char kEmptyKeyValue[] = "AddInReg.EmptyKey";

std::string quotedName(const std::string& key)
{
    std::string out(1, '"');
    out += text::escapeControls(key);
    out += '"';
    return out;
}

std::string valueSentence(const std::string& key, const std::string& name)
{
    return "The value " + (name.empty() ? std::string("@ (the default value)") : quotedName(name)) + " of " +
           quotedName(key);
}

std::string upperHex(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

// A REG_SZ or REG_EXPAND_SZ whose bytes are its text and one NUL: what an
// installer's string instruction writes.
std::optional<std::string> exactText(const registry::Value& value)
{
    const std::string text = value.leadingText();
    if (text::utf16BytesFromUtf8(text) != std::string(value.data.begin(), value.data.end())) return std::nullopt;
    return text;
}

// The strings of a REG_MULTI_SZ that is exactly its strings, none empty,
// each with its NUL, and one NUL more; nothing for any other data.
std::optional<std::vector<std::string>> exactStrings(const registry::Value& value)
{
    if (value.data.size() % 2 != 0) return std::nullopt;
    const std::u16string units = text::utf16Units(std::string(value.data.begin(), value.data.end()));
    if (units.size() < 2 || units[units.size() - 1] != u'\0' || units[units.size() - 2] != u'\0') return std::nullopt;
    std::vector<std::string> strings;
    for (size_t at = 0; at < units.size() - 1;) {
        const size_t end = units.find(u'\0', at);
        const std::u16string piece = units.substr(at, end - at);
        std::string utf8 = text::utf8FromUtf16(piece);
        if (piece.empty() || text::utf16FromUtf8(utf8) != piece) return std::nullopt;
        strings.push_back(std::move(utf8));
        at = end + 1;
    }
    return strings;
}

std::string nsisRoot(RegRoot root)
{
    switch (root) {
    case RegRoot::ClassesRoot: return "HKCR";
    case RegRoot::CurrentUser: return "HKCU";
    case RegRoot::LocalMachine: return "HKLM";
    case RegRoot::Users: return "HKU";
    case RegRoot::CurrentConfig: return "HKCC";
    }
    return "HKCR";
}

// Text as an NSIS string in double quotes: "$" doubled, the double quote and
// the line breaks and tab as NSIS's escapes. Every occurrence of `stand`
// becomes `reference`, as NSIS text. Nothing when the text holds another
// control character, which no NSIS string can carry.
std::optional<std::string> nsisQuoted(std::string_view text, std::string_view stand = {},
                                      std::string_view reference = {})
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        if (!stand.empty() && text.compare(i, stand.size(), stand) == 0) {
            out += reference;
            i += stand.size();
            continue;
        }
        const char c = text[i++];
        switch (c) {
        case '$': out += "$$"; break;
        case '"': out += "$\\\""; break;
        case '\r': out += "$\\r"; break;
        case '\n': out += "$\\n"; break;
        case '\t': out += "$\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
            out += c;
        }
    }
    return out + "\"";
}

// Text as a WiX attribute value: the characters of the Windows Installer's
// formatted text taken literally ("[\[]", and "{" "}" as "[\{]" "[\}]" where
// a bracket could make a group of them), the preprocessor's "$(" and the
// binder's "!(" doubled, then XML's own characters as references. Each
// occurrence of `stand` becomes `reference` as it is. Nothing for a control
// character or a code point that XML 1.0 cannot hold.
std::optional<std::string> wixText(std::string_view text, std::string_view stand = {},
                                   std::string_view reference = {}, bool formatted = true)
{
    const bool brackets = formatted && text.find_first_of("[]") != std::string_view::npos;
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (!stand.empty() && text.compare(i, stand.size(), stand) == 0) {
            out += reference;
            i += stand.size();
            continue;
        }
        const char c = text[i++];
        const char next = i < text.size() ? text[i] : '\0';
        switch (c) {
        case '[': out += formatted ? "[\\[]" : "["; break;
        case ']': out += formatted ? "[\\]]" : "]"; break;
        case '{': out += brackets ? "[\\{]" : "{"; break;
        case '}': out += brackets ? "[\\}]" : "}"; break;
        case '$': out += next == '(' ? "$$" : "$"; break;
        case '!': out += next == '(' ? "!!" : "!"; break;
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\t': out += "&#x9;"; break;
        case '\n': out += "&#xA;"; break;
        case '\r': out += "&#xD;"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            // U+FFFE and U+FFFF are no XML characters.
            if (c == '\xEF' && next == '\xBF' && i + 1 < text.size() && (text[i + 1] == '\xBE' || text[i + 1] == '\xBF'))
                return std::nullopt;
            out += c;
        }
    }
    return out;
}

bool hasNonAscii(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

std::string fullNameOf(RegRoot root, const std::string& path)
{
    return path.empty() ? std::string(rootName(root)) : text::below(rootName(root), path);
}

} // namespace

std::optional<std::string> viewPathOf(RegRoot root, const std::string& path, int bits)
{
    if (bits != 32) return path;
    // Below a classes key: the redirected keys through their Wow6432Node only.
    const auto classes = [](const std::string& below) -> std::optional<std::string> {
        if (const std::optional<std::string> inWow = pathBelow(below, "Wow6432Node")) {
            if (inWow->empty() || !isRedirectedClassesKey(*inWow)) return std::nullopt;
            return inWow;
        }
        if (isRedirectedClassesKey(below)) return std::nullopt;
        return below;
    };
    const auto prefixed = [](const std::string& prefix, const std::optional<std::string>& below) {
        return below ? std::optional<std::string>(below->empty() ? prefix : text::below(prefix, *below)) : std::nullopt;
    };
    switch (root) {
    case RegRoot::ClassesRoot: return classes(path);
    case RegRoot::CurrentUser:
        if (const std::optional<std::string> below = pathBelow(path, "Software\\Classes")) {
            if (below->empty()) return path;
            return prefixed("Software\\Classes", classes(*below));
        }
        return path;
    case RegRoot::LocalMachine:
        if (const std::optional<std::string> below = pathBelow(path, "Software\\Classes")) {
            if (below->empty()) return path;
            return prefixed("Software\\Classes", classes(*below));
        }
        if (const std::optional<std::string> below = pathBelow(path, "Software\\Wow6432Node"))
            return prefixed("Software", below);
        if (pathBelow(path, "Software")) return std::nullopt;
        return path;
    case RegRoot::Users:
    case RegRoot::CurrentConfig: return path;
    }
    return path;
}

InstallPlan installPlanOf(const RegScriptContent& registerScript, const RegScriptContent& unRegisterScript, int bits)
{
    InstallPlan plan;
    plan.bits = bits;
    for (const auto& [script, name] : {std::pair{&registerScript, "register"}, std::pair{&unRegisterScript, "un-register"}})
        for (const RegReadError& e : script->errors)
            plan.problems.push_back("Line " + std::to_string(e.line) + " of the " + name + " script: " + e.message);

    const auto mapped = [&](const RegEntry& e) {
        std::optional<std::string> path = viewPathOf(e.root, e.subKey, bits);
        if (!path)
            plan.problems.push_back("The key " + quotedName(e.keyPath) +
                                    " lies in the 64-bit registry only; an installer for a 32-bit add-in, which "
                                    "writes the 32-bit view, cannot name it.");
        return path;
    };
    std::map<std::pair<RegRoot, std::string>, size_t> index; // by upper-case path
    constexpr size_t kNoKey = static_cast<size_t>(-1);
    size_t current = kNoKey; // the key the value lines go to
    for (const RegEntry& e : registerScript.entries) {
        if (e.keyDeleted || e.kind == RegEntryKind::DeleteValue) {
            plan.problems.push_back("Line " + std::to_string(e.line) +
                                    " of the register script deletes; an installer's register step only writes.");
            current = kNoKey;
            continue;
        }
        if (e.kind == RegEntryKind::Key) {
            current = kNoKey;
            const std::optional<std::string> path = mapped(e);
            if (!path) continue;
            const auto [at, added] = index.try_emplace({e.root, text::upperAscii(*path)}, plan.keys.size());
            if (added) plan.keys.push_back({e.root, *path, {}});
            current = at->second;
            continue;
        }
        if (current == kNoKey) continue; // its key is a problem already, or there is none
        registry::NamedValue value{e.valueName,
                                   {static_cast<registry::ValueType>(e.type), {e.stored.begin(), e.stored.end()}}};
        std::vector<registry::NamedValue>& values = plan.keys[current].values;
        const auto same = std::find_if(values.begin(), values.end(), [&](const registry::NamedValue& v) {
            return text::equalIgnoringCase(v.name, value.name);
        });
        if (same != values.end()) same->value = std::move(value.value);
        else values.push_back(std::move(value));
    }

    for (const RegEntry& e : unRegisterScript.entries) {
        if (e.kind == RegEntryKind::Key) {
            if (!e.keyDeleted) continue;
            if (const std::optional<std::string> path = mapped(e)) plan.removals.push_back({e.root, *path, std::nullopt});
        } else if (e.kind == RegEntryKind::DeleteValue) {
            if (e.keyDeleted) continue; // the importer passes over it
            if (const std::optional<std::string> path = viewPathOf(e.root, e.subKey, bits))
                plan.removals.push_back({e.root, *path, e.valueName});
        } else if (!e.keyDeleted) {
            plan.problems.push_back("Line " + std::to_string(e.line) +
                                    " of the un-register script sets a value; an installer's remove step only deletes.");
        }
    }
    return plan;
}

std::string installerNameOf(std::string_view fileName)
{
    std::string name;
    for (const char c : fileName) {
        const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        name += allowed ? c : '_';
    }
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) name.insert(name.begin(), '_');
    return name.substr(0, 64); // WiX identifiers end at 72 characters; room for a suffix
}

bool startsLikeOutputOf(OutputFormat format, std::string_view firstBytes)
{
    switch (format) {
    case OutputFormat::Reg: return startsLikeRegistryScript(firstBytes);
    case OutputFormat::Nsis: return firstBytes.substr(0, kNsisFirstLine.size()) == kNsisFirstLine;
    case OutputFormat::Wix: return firstBytes.substr(0, kWixFirstLine.size()) == kWixFirstLine;
    }
    return false;
}

// ---- NSIS -----------------------------------------------------------------

InstallerText nsisIncludeOf(const InstallPlan& plan, const InstalledFile& file)
{
    InstallerText out;
    out.problems = plan.problems;
    const std::string name = installerNameOf(text::fileNameOf(file.fileName).substr(
        0, text::fileNameOf(file.fileName).rfind('.')));
    const std::optional<std::string> fileText = nsisQuoted(file.fileName);
    if (!fileText) out.problems.push_back("The file name " + quotedName(file.fileName) + " cannot be written in NSIS.");
    // "$INSTDIR\<file name>" inside a quoted string, without its quotes.
    const std::string reference = "$INSTDIR\\" + (fileText ? fileText->substr(1, fileText->size() - 2) : std::string());
    const std::string view = "  SetRegView " + std::to_string(plan.bits == 32 ? 32 : 64) + kCrLf;
    size_t longest = 0; // characters (UTF-16 units and NUL) of the longest string NSIS holds

    std::string writes;
    for (const InstallKey& k : plan.keys) {
        const std::string fullName = fullNameOf(k.root, k.path);
        const std::optional<std::string> key = nsisQuoted(k.path);
        if (!key) {
            out.problems.push_back("The key " + quotedName(fullName) + " holds a control character NSIS cannot write.");
            continue;
        }
        const std::string head = nsisRoot(k.root) + " " + *key + " ";
        longest = std::max(longest, text::utf16FromUtf8(k.path).size() + 1);
        if (k.values.empty()) {
            writes += "  WriteRegStr " + head + "\"" + kEmptyKeyValue + "\" \"\"" + kCrLf;
            writes += "  DeleteRegValue " + head + "\"" + kEmptyKeyValue + "\"" + kCrLf;
        }
        for (const registry::NamedValue& v : k.values) {
            const auto problem = [&](const std::string& why) {
                out.problems.push_back(valueSentence(fullName, v.name) + " " + why);
            };
            const std::optional<std::string> valueName = nsisQuoted(v.name);
            if (!valueName) {
                problem("has a name with a control character NSIS cannot write.");
                continue;
            }
            const std::string start = head + *valueName + " ";
            const std::string bytes(v.value.data.begin(), v.value.data.end());
            const bool namesServer = !file.serverPath.empty() && registry::holdsStrings(v.value.type) &&
                                     text::utf8FromUtf16(text::utf16Units(bytes)).find(file.serverPath) != std::string::npos;
            longest = std::max(longest, text::utf16FromUtf8(v.name).size() + 1);
            switch (v.value.type) {
            case registry::ValueType::String:
            case registry::ValueType::ExpandString: {
                const std::optional<std::string> text = exactText(v.value);
                const std::optional<std::string> quoted =
                    text ? nsisQuoted(*text, file.serverPath, reference) : std::nullopt;
                if (!quoted) {
                    problem(text ? "holds a control character NSIS cannot write."
                                 : "is not one string with its NUL, which is all NSIS writes of this type.");
                    continue;
                }
                longest = std::max(longest, bytes.size() / 2 + reference.size());
                writes += std::string(v.value.type == registry::ValueType::String ? "  WriteRegStr "
                                                                                  : "  WriteRegExpandStr ") +
                          start + *quoted + kCrLf;
                break;
            }
            case registry::ValueType::Dword: {
                const std::optional<std::uint32_t> number = v.value.dword();
                if (!number) {
                    problem("is a REG_DWORD of " + std::to_string(bytes.size()) + " bytes, which NSIS cannot write.");
                    continue;
                }
                char hex[16];
                std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(*number));
                writes += "  WriteRegDWORD " + start + hex + kCrLf;
                break;
            }
            case registry::ValueType::Binary:
            case registry::ValueType::None:
            case registry::ValueType::MultiString:
                if (namesServer) {
                    problem("is a REG_MULTI_SZ naming the server; NSIS writes it as bytes, which cannot hold "
                            "$INSTDIR: name the installed path with --server.");
                    continue;
                }
                if (v.value.type != registry::ValueType::None && bytes.empty()) {
                    problem("is empty; NSIS writes no empty " + registry::typeName(v.value.type) + ".");
                    continue;
                }
                longest = std::max(longest, bytes.size() * 2 + 1);
                writes += std::string(v.value.type == registry::ValueType::Binary ? "  WriteRegBin "
                                      : v.value.type == registry::ValueType::None ? "  WriteRegNone "
                                                                                  : "  WriteRegMultiStr /REGEDIT5 ") +
                          start + upperHex(v.value.data) + kCrLf;
                break;
            default: problem("is a " + registry::typeName(v.value.type) + ", which NSIS has no instruction to write.");
            }
        }
    }

    std::string removes;
    for (const InstallRemoval& r : plan.removals) {
        const std::optional<std::string> key = nsisQuoted(r.path);
        const std::optional<std::string> valueName = r.valueName ? nsisQuoted(*r.valueName) : std::optional<std::string>("");
        if (!key || !valueName) {
            out.problems.push_back("The deletion in " + quotedName(fullNameOf(r.root, r.path)) +
                                   " holds a control character NSIS cannot write.");
            continue;
        }
        removes += r.valueName ? "  DeleteRegValue " + nsisRoot(r.root) + " " + *key + " " + *valueName + kCrLf
                               : "  DeleteRegKey " + nsisRoot(r.root) + " " + *key + kCrLf;
    }
    if (!out.problems.empty()) return out;

    std::string body;
    body += std::string(kNsisFirstLine) + ": the registry keys of " + file.fileName + kCrLf;
    body += std::string("; Install:   File \"") + file.fileName + "\", then !insertmacro Register_" + name + kCrLf;
    body += std::string("; Uninstall: !insertmacro Unregister_") + name + ", then Delete \"$INSTDIR\\" + file.fileName +
            "\"" + kCrLf;
    body += "!ifndef ADDINREG_" + name + kCrLf + "!define ADDINREG_" + name + kCrLf;
    if (hasNonAscii(writes + removes + file.fileName))
        body += std::string("!if ${NSIS_CHAR_SIZE} < 2") + kCrLf +
                "  !error \"These keys hold characters outside ASCII: put Unicode true at the top of the script.\"" +
                kCrLf + "!endif" + kCrLf;
    if (longest > kNsisShortestStrings)
        body += "!if ${NSIS_MAX_STRLEN} < " + std::to_string(longest) + kCrLf +
                "  !error \"A value holds " + std::to_string(longest) +
                " characters, more than this NSIS build's strings: use the build with large strings.\"" + kCrLf +
                "!endif" + kCrLf;
    body += "!macro Register_" + name + kCrLf + view + writes + "  SetRegView lastused" + kCrLf + "!macroend" + kCrLf;
    body += "!macro Unregister_" + name + kCrLf + view + removes + "  SetRegView lastused" + kCrLf + "!macroend" + kCrLf;
    body += std::string("!endif") + kCrLf;
    out.bytes = body;
    return out;
}

// ---- WiX ------------------------------------------------------------------

InstallerText wixFragmentOf(const InstallPlan& plan, const InstalledFile& file)
{
    InstallerText out;
    out.problems = plan.problems;
    const std::string_view fileName = text::fileNameOf(file.fileName);
    const std::string componentId = installerNameOf(fileName.substr(0, fileName.rfind('.')));
    const std::string fileId = installerNameOf(fileName);
    const std::string reference = "[#" + fileId + "]";

    // Where the key goes: the machine's classes below HKLM.
    const auto wixRoot = [](RegRoot root, const std::string& path) -> std::pair<std::string, std::string> {
        switch (root) {
        case RegRoot::ClassesRoot: return {"HKLM", path.empty() ? "Software\\Classes" : text::below("Software\\Classes", path)};
        case RegRoot::CurrentUser: return {"HKCU", path};
        case RegRoot::LocalMachine: return {"HKLM", path};
        case RegRoot::Users: return {"HKU", path};
        case RegRoot::CurrentConfig: break;
        }
        return {"", path};
    };

    // Each key below the nearest other key of the plan that holds it.
    const size_t count = plan.keys.size();
    std::vector<std::string> upper(count);
    for (size_t i = 0; i < count; ++i) upper[i] = text::upperAscii(plan.keys[i].path) + "\\";
    std::vector<std::optional<size_t>> parent(count);
    std::vector<std::vector<size_t>> children(count);
    std::vector<size_t> tops;
    for (size_t i = 0; i < count; ++i) {
        for (size_t j = 0; j < count; ++j)
            if (j != i && plan.keys[j].root == plan.keys[i].root && upper[j].size() < upper[i].size() &&
                upper[i].compare(0, upper[j].size(), upper[j]) == 0 &&
                (!parent[i] || upper[j].size() > upper[*parent[i]].size()))
                parent[i] = j;
        if (parent[i]) children[*parent[i]].push_back(i);
        else tops.push_back(i);
    }

    std::string keys;
    const std::function<void(size_t, const std::string&)> emit = [&](size_t i, const std::string& indent) {
        const InstallKey& k = plan.keys[i];
        const std::string fullName = fullNameOf(k.root, k.path);
        std::string attributes;
        if (parent[i]) {
            attributes = " Key=\"" + wixText(k.path.substr(plan.keys[*parent[i]].path.size() + 1)).value_or("") + "\"";
        } else {
            const auto [root, path] = wixRoot(k.root, k.path);
            if (root.empty()) {
                out.problems.push_back("The key " + quotedName(fullName) + " lies in HKEY_CURRENT_CONFIG, which WiX cannot name.");
                return;
            }
            attributes = " Root=\"" + root + "\" Key=\"" + wixText(path).value_or("") + "\"";
        }
        if (!wixText(k.path)) {
            out.problems.push_back("The key " + quotedName(fullName) + " holds a character XML cannot carry.");
            return;
        }
        if (k.values.empty() && children[i].empty()) {
            keys += indent + "<RegistryKey" + attributes + " ForceCreateOnInstall=\"yes\" />" + kCrLf;
            return;
        }
        keys += indent + "<RegistryKey" + attributes + ">" + kCrLf;
        const std::string inner = indent + "  ";
        for (const registry::NamedValue& v : k.values) {
            const auto problem = [&](const std::string& why) {
                out.problems.push_back(valueSentence(fullName, v.name) + " " + why);
            };
            const std::optional<std::string> valueName = wixText(v.name);
            if (!valueName) {
                problem("has a name with a character XML cannot carry.");
                continue;
            }
            const std::string start = inner + "<RegistryValue" + (v.name.empty() ? "" : " Name=\"" + *valueName + "\"");
            switch (v.value.type) {
            case registry::ValueType::String:
            case registry::ValueType::ExpandString: {
                const std::optional<std::string> text = exactText(v.value);
                const std::optional<std::string> value = text ? wixText(*text, file.serverPath, reference) : std::nullopt;
                if (!text) problem("is not one string with its NUL, which is all WiX writes of this type.");
                else if (text->empty()) problem("is an empty string, which the Windows Installer does not write.");
                else if (!value) problem("holds a character XML cannot carry.");
                if (!value || text->empty()) continue;
                keys += start + " Type=\"" + (v.value.type == registry::ValueType::String ? "string" : "expandable") +
                        "\" Value=\"" + *value + "\" />" + kCrLf;
                break;
            }
            case registry::ValueType::Dword: {
                const std::optional<std::uint32_t> number = v.value.dword();
                if (!number) {
                    problem("is a REG_DWORD of " + std::to_string(v.value.data.size()) + " bytes, which WiX cannot write.");
                    continue;
                }
                // The Windows Installer reads the number as a signed 32-bit integer.
                const long long signedNumber =
                    *number > 0x7FFFFFFFu ? static_cast<long long>(*number) - 0x100000000LL : static_cast<long long>(*number);
                keys += start + " Type=\"integer\" Value=\"" + std::to_string(signedNumber) + "\" />" + kCrLf;
                break;
            }
            case registry::ValueType::Binary:
                if (v.value.data.empty()) {
                    problem("is an empty REG_BINARY, which WiX cannot write.");
                    continue;
                }
                keys += start + " Type=\"binary\" Value=\"" + upperHex(v.value.data) + "\" />" + kCrLf;
                break;
            case registry::ValueType::MultiString: {
                const std::optional<std::vector<std::string>> strings = exactStrings(v.value);
                // One string alone the Windows Installer writes as a REG_SZ.
                if (!strings || strings->size() < 2) {
                    problem("is a REG_MULTI_SZ that is not two or more strings, none empty; WiX writes no other exactly.");
                    continue;
                }
                std::string items;
                for (const std::string& s : *strings) {
                    const std::optional<std::string> item = wixText(s, file.serverPath, reference);
                    if (!item) break;
                    items += inner + "  <MultiStringValue Value=\"" + *item + "\" />" + kCrLf;
                }
                if (items.empty() || std::count(items.begin(), items.end(), '\n') != std::ptrdiff_t(strings->size())) {
                    problem("holds a character XML cannot carry.");
                    continue;
                }
                keys += start + " Type=\"multiString\">" + kCrLf + items + inner + "</RegistryValue>" + kCrLf;
                break;
            }
            default: problem("is a " + registry::typeName(v.value.type) + ", which WiX has no type for.");
            }
        }
        for (const size_t child : children[i]) emit(child, inner);
        keys += indent + "</RegistryKey>" + kCrLf;
    };
    for (const size_t top : tops) emit(top, "        ");

    std::string removes;
    for (const InstallRemoval& r : plan.removals) {
        const std::string fullName = fullNameOf(r.root, r.path);
        if (r.valueName) {
            // The Windows Installer removes every value it wrote; one it did not write it cannot remove at uninstall.
            const bool written = std::any_of(plan.keys.begin(), plan.keys.end(), [&](const InstallKey& k) {
                return k.root == r.root && text::equalIgnoringCase(k.path, r.path) &&
                       std::any_of(k.values.begin(), k.values.end(), [&](const registry::NamedValue& v) {
                           return text::equalIgnoringCase(v.name, *r.valueName);
                       });
            });
            if (!written)
                out.problems.push_back(valueSentence(fullName, *r.valueName) +
                                       " is deleted by the un-register script but not written; the Windows Installer "
                                       "cannot delete a single value at uninstall.");
            continue;
        }
        const auto [root, path] = wixRoot(r.root, r.path);
        const std::optional<std::string> key = wixText(path);
        if (root.empty() || !key) {
            out.problems.push_back("The deletion of " + quotedName(fullName) + " cannot be written in WiX.");
            continue;
        }
        removes += "        <RemoveRegistryKey Action=\"removeOnUninstall\" Root=\"" + root + "\" Key=\"" + *key +
                   "\" />" + kCrLf;
    }
    const std::optional<std::string> source = wixText(file.fileName, {}, {}, false);
    if (!source) out.problems.push_back("The file name " + quotedName(file.fileName) + " holds a character XML cannot carry.");
    if (!out.problems.empty()) return out;

    std::string body = std::string(kWixFirstLine) + ": the registry keys of the add-in's DLL. Reference the "
                       "component from a Feature; INSTALLFOLDER is the add-in's folder. -->" + kCrLf;
    body += std::string("<Wix xmlns=\"http://wixtoolset.org/schemas/v4/wxs\">") + kCrLf;
    body += std::string("  <Fragment>") + kCrLf;
    body += std::string("    <DirectoryRef Id=\"INSTALLFOLDER\">") + kCrLf;
    body += "      <Component Id=\"" + componentId + "\" Bitness=\"" + (plan.bits == 32 ? "always32" : "always64") +
            "\">" + kCrLf;
    body += "        <File Id=\"" + fileId + "\" Source=\"" + *source + "\" KeyPath=\"yes\" />" + kCrLf;
    body += keys + removes;
    body += std::string("      </Component>") + kCrLf + "    </DirectoryRef>" + kCrLf + "  </Fragment>" + kCrLf +
            "</Wix>" + kCrLf;
    out.bytes = body;
    return out;
}

} // namespace scripts
