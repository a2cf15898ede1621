#include "scripts/Installer.h"

#include "scripts/CapturedRegistration.h"
#include "scripts/RegScript.h"
#include "scripts/ValueLines.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <algorithm>
#include <cstdio>
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
std::optional<std::string> exactText(const classes::Value& value)
{
    const std::string text = value.leadingText();
    if (text::utf16BytesFromUtf8(text) != std::string(value.data.begin(), value.data.end())) return std::nullopt;
    return text;
}

// The strings of a REG_MULTI_SZ that is exactly its strings, none empty,
// each with its NUL, and one NUL more; nothing for any other data.
std::optional<std::vector<std::string>> exactStrings(const classes::Value& value)
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

// One character of a WiX attribute value (see wixText); false for one that
// XML 1.0 cannot hold.
bool appendWixCharacter(std::string& out, std::string_view text, size_t at, bool formatted, bool brackets)
{
    const char c = text[at];
    const char next = at + 1 < text.size() ? text[at + 1] : '\0';
    switch (c) {
    case '[': out += formatted ? "[\\[]" : "["; return true;
    case ']': out += formatted ? "[\\]]" : "]"; return true;
    case '{': out += brackets ? "[\\{]" : "{"; return true;
    case '}': out += brackets ? "[\\}]" : "}"; return true;
    case '$': out += next == '(' ? "$$" : "$"; return true;
    case '!': out += next == '(' ? "!!" : "!"; return true;
    case '&': out += "&amp;"; return true;
    case '<': out += "&lt;"; return true;
    case '>': out += "&gt;"; return true;
    case '"': out += "&quot;"; return true;
    case '\t': out += "&#x9;"; return true;
    case '\n': out += "&#xA;"; return true;
    case '\r': out += "&#xD;"; return true;
    default: break;
    }
    if (static_cast<unsigned char>(c) < 0x20) return false;
    // U+FFFE and U+FFFF are no XML characters.
    if (text.substr(at, 3) == "\xEF\xBF\xBE" || text.substr(at, 3) == "\xEF\xBF\xBF") return false;
    out += c;
    return true;
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
        if (!appendWixCharacter(out, text, i++, formatted, brackets)) return std::nullopt;
    }
    return out;
}

std::string fullNameOf(RegRoot root, const std::string& path)
{
    return path.empty() ? std::string(rootName(root)) : text::below(rootName(root), path);
}

} // namespace

namespace {

// A path below a classes key, as a 32-bit program names it: the redirected
// keys through their Wow6432Node only.
std::optional<std::string> classesViewPath(const std::string& below)
{
    if (std::optional<std::string> inWow = pathBelow(below, "Wow6432Node")) {
        if (inWow->empty() || !classes::isRedirectedClassesKey(*inWow)) return std::nullopt;
        return inWow;
    }
    if (classes::isRedirectedClassesKey(below)) return std::nullopt;
    return below;
}

// A path of HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER below their classes key,
// as a 32-bit program names it; nothing when the path is not below it.
std::optional<std::optional<std::string>> belowClassesViewPath(const std::string& path)
{
    const std::optional<std::string> below = pathBelow(path, "Software\\Classes");
    if (!below) return std::nullopt;
    if (below->empty()) return std::optional<std::string>(path);
    const std::optional<std::string> view = classesViewPath(*below);
    return view ? std::optional<std::string>(text::below("Software\\Classes", *view)) : std::optional<std::string>();
}

} // namespace

std::optional<std::string> viewPathOf(RegRoot root, const std::string& path, int bits)
{
    if (bits != 32) return path;
    switch (root) {
    case RegRoot::ClassesRoot: return classesViewPath(path);
    case RegRoot::CurrentUser:
        if (const auto classes = belowClassesViewPath(path)) return *classes;
        return path;
    case RegRoot::LocalMachine:
        if (const auto classes = belowClassesViewPath(path)) return *classes;
        if (const std::optional<std::string> below = pathBelow(path, "Software\\Wow6432Node"))
            return below->empty() ? std::string("Software") : text::below("Software", *below);
        if (pathBelow(path, "Software")) return std::nullopt;
        return path;
    case RegRoot::Users:
    case RegRoot::CurrentConfig: return path;
    }
    return path;
}

namespace {

// The key's path in the plan's view, or a problem.
std::optional<std::string> plannedPath(InstallPlan& plan, const RegEntry& e)
{
    std::optional<std::string> path = viewPathOf(e.root, e.subKey, plan.bits);
    if (!path)
        plan.problems.push_back("The key " + quotedName(e.keyPath) +
                                " lies in the 64-bit registry only; an installer for a 32-bit add-in, which writes "
                                "the 32-bit view, cannot name it.");
    return path;
}

void addValue(std::vector<classes::NamedValue>& values, const RegEntry& e)
{
    classes::Value value{static_cast<classes::ValueType>(e.type), {e.stored.begin(), e.stored.end()}};
    const auto same = std::find_if(values.begin(), values.end(),
                                   [&](const classes::NamedValue& v) { return text::equalIgnoringCase(v.name, e.valueName); });
    if (same != values.end()) same->value = std::move(value);
    else values.push_back({e.valueName, std::move(value)});
}

void planWrites(InstallPlan& plan, const RegScriptContent& script)
{
    constexpr auto kNoKey = static_cast<size_t>(-1);
    std::map<std::pair<RegRoot, std::string>, size_t> index; // by upper-case path
    size_t current = kNoKey; // the key the value lines go to
    for (const RegEntry& e : script.entries) {
        if (e.keyDeleted || e.kind == RegEntryKind::DeleteValue) {
            plan.problems.push_back("Line " + std::to_string(e.line) +
                                    " of the register script deletes; an installer's register step only writes.");
            current = kNoKey;
        } else if (e.kind == RegEntryKind::Key) {
            current = kNoKey;
            if (const std::optional<std::string> path = plannedPath(plan, e)) {
                const auto [at, added] = index.try_emplace({e.root, text::upperAscii(*path)}, plan.keys.size());
                if (added) plan.keys.push_back({e.root, *path, {}});
                current = at->second;
            }
        } else if (current != kNoKey) { // else its key is a problem already, or there is none
            addValue(plan.keys[current].values, e);
        }
    }
}

// The deletion of a Wow6432Node the registration made, for a 32-bit
// installer: each class key written below it (such as "CLSID\{...}"), then
// the keys that held them and the Wow6432Node itself, each if left empty.
// False when the key is not such a Wow6432Node.
bool planWowRemoval(InstallPlan& plan, const RegEntry& e)
{
    const size_t cut = e.subKey.rfind('\\');
    const std::string parent = cut == std::string::npos ? std::string() : e.subKey.substr(0, cut);
    const std::string last = cut == std::string::npos ? e.subKey : e.subKey.substr(cut + 1);
    if (plan.bits != 32 || !text::equalIgnoringCase(last, "Wow6432Node")) return false;
    const std::optional<std::string> classes = viewPathOf(e.root, parent, 32);
    if (!classes) return false;
    std::vector<std::string> emptied; // the keys that held the class keys, in the 32-bit view
    for (const InstallKey& k : plan.keys) {
        std::optional<std::string> below;
        if (k.root == e.root) below = classes->empty() ? std::optional<std::string>(k.path) : pathBelow(k.path, *classes);
        if (!below || below->empty() || !classes::isRedirectedClassesKey(*below)) continue;
        const size_t first = below->find('\\');
        const size_t second = first == std::string::npos ? first : below->find('\\', first + 1);
        const std::string holder = text::below(*classes, below->substr(0, first));
        const std::string unit = text::below(*classes, below->substr(0, second));
        const auto same = [&](const std::string& path) {
            return [&](const InstallRemoval& r) { return r.root == e.root && !r.ifEmpty && text::equalIgnoringCase(r.path, path); };
        };
        if (std::none_of(plan.removals.begin(), plan.removals.end(), same(unit)))
            plan.removals.push_back({e.root, unit, std::nullopt});
        if (std::none_of(emptied.begin(), emptied.end(), [&](const std::string& h) { return text::equalIgnoringCase(h, holder); }))
            emptied.push_back(holder);
    }
    for (const std::string& holder : emptied) plan.removals.push_back({e.root, holder, std::nullopt, true});
    plan.removals.push_back({e.root, e.subKey, std::nullopt, true, true});
    return true;
}

void planRemovals(InstallPlan& plan, const RegScriptContent& script)
{
    for (const RegEntry& e : script.entries) {
        const bool keyDeletion = e.kind == RegEntryKind::Key && e.keyDeleted;
        const bool valueDeletion = e.kind == RegEntryKind::DeleteValue && !e.keyDeleted; // else the importer passes it over
        if (keyDeletion && planWowRemoval(plan, e)) continue;
        if (keyDeletion || valueDeletion) {
            if (const std::optional<std::string> path = plannedPath(plan, e))
                plan.removals.push_back({e.root, *path, valueDeletion ? std::optional<std::string>(e.valueName) : std::nullopt});
        } else if (e.kind != RegEntryKind::Key && e.kind != RegEntryKind::DeleteValue && !e.keyDeleted) {
            plan.problems.push_back("Line " + std::to_string(e.line) +
                                    " of the un-register script sets a value; an installer's remove step only deletes.");
        }
    }
}

} // namespace

InstallPlan installPlanOf(const RegScriptContent& registerScript, const RegScriptContent& unRegisterScript, int bits)
{
    InstallPlan plan;
    plan.bits = bits;
    for (const auto& [script, name] : {std::pair{&registerScript, "register"}, std::pair{&unRegisterScript, "un-register"}})
        for (const RegReadError& e : script->errors)
            plan.problems.push_back("Line " + std::to_string(e.line) + " of the " + name + " script: " + e.message);
    planWrites(plan, registerScript);
    planRemovals(plan, unRegisterScript);
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

namespace {

// One line of a file, or why there is none.
struct Line {
    std::string text;
    std::string problem;
};

struct NsisContext {
    const InstalledFile& file;
    std::string reference; // "$INSTDIR\<file name>", as NSIS text
    size_t longest = 0;    // characters (UTF-16 units and NUL) of the longest string NSIS holds
};

Line nsisStringLine(const classes::NamedValue& v, const std::string& start, NsisContext& context)
{
    const std::optional<std::string> text = exactText(v.value);
    if (!text) return {"", "is not one string with its NUL, which is all NSIS writes of this type."};
    const std::optional<std::string> quoted = nsisQuoted(*text, context.file.serverPath, context.reference);
    if (!quoted) return {"", "holds a control character NSIS cannot write."};
    context.longest = std::max(context.longest, v.value.data.size() / 2 + context.reference.size());
    const bool plain = v.value.type == classes::ValueType::String;
    return {(plain ? "  WriteRegStr " : "  WriteRegExpandStr ") + start + *quoted, ""};
}

Line nsisBytesLine(const classes::NamedValue& v, const std::string& start, NsisContext& context)
{
    const std::string bytes(v.value.data.begin(), v.value.data.end());
    const bool namesServer = v.value.type == classes::ValueType::MultiString && !context.file.serverPath.empty() &&
                             text::utf8FromUtf16(text::utf16Units(bytes)).find(context.file.serverPath) != std::string::npos;
    if (namesServer)
        return {"", "is a REG_MULTI_SZ naming the server; NSIS writes it as bytes, which cannot hold $INSTDIR: name "
                    "the installed path with --server."};
    if (v.value.type != classes::ValueType::None && bytes.empty())
        return {"", "is empty; NSIS writes no empty " + classes::typeName(v.value.type) + "."};
    context.longest = std::max(context.longest, bytes.size() * 2 + 1);
    const char* instruction = v.value.type == classes::ValueType::Binary ? "  WriteRegBin "
                              : v.value.type == classes::ValueType::None ? "  WriteRegNone "
                                                                          : "  WriteRegMultiStr /REGEDIT5 ";
    return {instruction + start + upperHex(v.value.data), ""};
}

// The instruction that writes the value, or why NSIS cannot.
Line nsisValueLine(const classes::NamedValue& v, const std::string& head, NsisContext& context)
{
    const std::optional<std::string> valueName = nsisQuoted(v.name);
    if (!valueName) return {"", "has a name with a control character NSIS cannot write."};
    const std::string start = head + *valueName + " ";
    context.longest = std::max(context.longest, text::utf16FromUtf8(v.name).size() + 1);
    switch (v.value.type) {
    case classes::ValueType::String:
    case classes::ValueType::ExpandString: return nsisStringLine(v, start, context);
    case classes::ValueType::Dword: {
        const std::optional<std::uint32_t> number = v.value.dword();
        if (!number)
            return {"", "is a REG_DWORD of " + std::to_string(v.value.data.size()) + " bytes, which NSIS cannot write."};
        char hex[16];
        std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(*number));
        return {"  WriteRegDWORD " + start + hex, ""};
    }
    case classes::ValueType::Binary:
    case classes::ValueType::None:
    case classes::ValueType::MultiString: return nsisBytesLine(v, start, context);
    default: return {"", "is a " + classes::typeName(v.value.type) + ", which NSIS has no instruction to write."};
    }
}

std::string nsisWrites(const InstallPlan& plan, NsisContext& context, std::vector<std::string>& problems)
{
    std::string writes;
    for (const InstallKey& k : plan.keys) {
        const std::string fullName = fullNameOf(k.root, k.path);
        const std::optional<std::string> key = nsisQuoted(k.path);
        if (!key) {
            problems.push_back("The key " + quotedName(fullName) + " holds a control character NSIS cannot write.");
            continue;
        }
        const std::string head = nsisRoot(k.root) + " " + *key + " ";
        context.longest = std::max(context.longest, text::utf16FromUtf8(k.path).size() + 1);
        if (k.values.empty()) {
            writes += "  WriteRegStr " + head + "\"" + kEmptyKeyValue + "\" \"\"" + kCrLf;
            writes += "  DeleteRegValue " + head + "\"" + kEmptyKeyValue + "\"" + kCrLf;
        }
        for (const classes::NamedValue& v : k.values) {
            const Line line = nsisValueLine(v, head, context);
            if (line.problem.empty()) writes += line.text + kCrLf;
            else problems.push_back(valueSentence(fullName, v.name) + " " + line.problem);
        }
    }
    return writes;
}

std::string nsisRemovals(const InstallPlan& plan, std::vector<std::string>& problems)
{
    std::string removes;
    for (const InstallRemoval& r : plan.removals) {
        const std::optional<std::string> key = nsisQuoted(r.path);
        const std::optional<std::string> valueName = r.valueName ? nsisQuoted(*r.valueName) : std::optional<std::string>("");
        if (!key || !valueName) {
            problems.push_back("The deletion in " + quotedName(fullNameOf(r.root, r.path)) +
                               " holds a control character NSIS cannot write.");
            continue;
        }
        // A root ending in 64 names that view whatever SetRegView says.
        const std::string root = nsisRoot(r.root) + (r.in64BitView ? "64" : "");
        removes += r.valueName ? "  DeleteRegValue " + root + " " + *key + " " + *valueName
                               : "  DeleteRegKey " + std::string(r.ifEmpty ? "/ifempty " : "") + root + " " + *key;
        removes += kCrLf;
    }
    return removes;
}

} // namespace

InstallerText nsisIncludeOf(const InstallPlan& plan, const InstalledFile& file)
{
    InstallerText out;
    out.problems = plan.problems;
    const std::string_view fileName = text::fileNameOf(file.fileName);
    const std::string name = installerNameOf(fileName.substr(0, fileName.rfind('.')));
    const std::optional<std::string> fileText = nsisQuoted(file.fileName);
    if (!fileText) out.problems.push_back("The file name " + quotedName(file.fileName) + " cannot be written in NSIS.");
    // "$INSTDIR\<file name>" inside a quoted string, without its quotes.
    NsisContext context{file, "$INSTDIR\\" + (fileText ? fileText->substr(1, fileText->size() - 2) : std::string())};
    const std::string writes = nsisWrites(plan, context, out.problems);
    const std::string removes = nsisRemovals(plan, out.problems);
    if (!out.problems.empty()) return out;

    const std::string view = "  SetRegView " + std::to_string(plan.bits == 32 ? 32 : 64) + kCrLf;
    std::string body = std::string(kNsisFirstLine) + ": the registry keys of " + file.fileName + kCrLf;
    body += "; Install:   File \"" + file.fileName + "\", then !insertmacro Register_" + name + kCrLf;
    body += "; Uninstall: !insertmacro Unregister_" + name + ", then Delete \"$INSTDIR\\" + file.fileName + "\"" + kCrLf;
    body += "!ifndef ADDINREG_" + name + kCrLf + "!define ADDINREG_" + name + kCrLf;
    if (!isAscii(writes + removes + file.fileName)) {
        body += std::string("!if ${NSIS_CHAR_SIZE} < 2") + kCrLf;
        body += std::string("  !error \"These keys hold characters outside ASCII: put Unicode true at the top of the "
                            "script.\"") + kCrLf + "!endif" + kCrLf;
    }
    if (context.longest > kNsisShortestStrings) {
        const std::string longest = std::to_string(context.longest);
        body += "!if ${NSIS_MAX_STRLEN} < " + longest + kCrLf;
        body += "  !error \"A value holds " + longest +
                " characters, more than this NSIS build's strings: use the build with large strings.\"" + kCrLf;
        body += std::string("!endif") + kCrLf;
    }
    body += "!macro Register_" + name + kCrLf + view + writes + "  SetRegView lastused" + kCrLf + "!macroend" + kCrLf;
    body += "!macro Unregister_" + name + kCrLf + view + removes + "  SetRegView lastused" + kCrLf + "!macroend" + kCrLf;
    body += std::string("!endif") + kCrLf;
    out.bytes = body;
    return out;
}

// ---- WiX ------------------------------------------------------------------

namespace {

// The root and key a WiX element names: the machine's classes below HKLM.
std::pair<std::string, std::string> wixRootOf(RegRoot root, const std::string& path)
{
    switch (root) {
    case RegRoot::ClassesRoot: return {"HKLM", path.empty() ? "Software\\Classes" : text::below("Software\\Classes", path)};
    case RegRoot::CurrentUser: return {"HKCU", path};
    case RegRoot::LocalMachine: return {"HKLM", path};
    case RegRoot::Users: return {"HKU", path};
    case RegRoot::CurrentConfig: break;
    }
    return {"", path};
}

Line wixMultiString(const classes::NamedValue& v, const std::string& start, const std::string& inner,
                    const InstalledFile& file, const std::string& reference)
{
    const std::optional<std::vector<std::string>> strings = exactStrings(v.value);
    // One string alone the Windows Installer writes as a REG_SZ.
    if (!strings || strings->size() < 2)
        return {"", "is a REG_MULTI_SZ that is not two or more strings, none empty; WiX writes no other exactly."};
    std::string items;
    for (const std::string& s : *strings) {
        const std::optional<std::string> item = wixText(s, file.serverPath, reference);
        if (!item) return {"", "holds a character XML cannot carry."};
        items += inner + "  <MultiStringValue Value=\"" + *item + "\" />" + kCrLf;
    }
    return {start + " Type=\"multiString\">" + kCrLf + items + inner + "</RegistryValue>", ""};
}

// The RegistryValue element of the value, or why WiX cannot write it.
Line wixValueElement(const classes::NamedValue& v, const std::string& inner, const InstalledFile& file,
                     const std::string& reference)
{
    const std::optional<std::string> valueName = wixText(v.name);
    if (!valueName) return {"", "has a name with a character XML cannot carry."};
    const std::string start = inner + "<RegistryValue" + (v.name.empty() ? "" : " Name=\"" + *valueName + "\"");
    switch (v.value.type) {
    case classes::ValueType::String:
    case classes::ValueType::ExpandString: {
        const std::optional<std::string> text = exactText(v.value);
        if (!text) return {"", "is not one string with its NUL, which is all WiX writes of this type."};
        if (text->empty()) return {"", "is an empty string, which the Windows Installer does not write."};
        const std::optional<std::string> value = wixText(*text, file.serverPath, reference);
        if (!value) return {"", "holds a character XML cannot carry."};
        const bool plain = v.value.type == classes::ValueType::String;
        return {start + " Type=\"" + (plain ? "string" : "expandable") + "\" Value=\"" + *value + "\" />", ""};
    }
    case classes::ValueType::Dword: {
        const std::optional<std::uint32_t> number = v.value.dword();
        if (!number)
            return {"", "is a REG_DWORD of " + std::to_string(v.value.data.size()) + " bytes, which WiX cannot write."};
        // The Windows Installer reads the number as a signed 32-bit integer.
        const long long value = *number > 0x7FFFFFFFU ? static_cast<long long>(*number) - 0x100000000LL
                                                      : static_cast<long long>(*number);
        return {start + " Type=\"integer\" Value=\"" + std::to_string(value) + "\" />", ""};
    }
    case classes::ValueType::Binary:
        if (v.value.data.empty()) return {"", "is an empty REG_BINARY, which WiX cannot write."};
        return {start + " Type=\"binary\" Value=\"" + upperHex(v.value.data) + "\" />", ""};
    case classes::ValueType::MultiString: return wixMultiString(v, start, inner, file, reference);
    default: return {"", "is a " + classes::typeName(v.value.type) + ", which WiX has no type for."};
    }
}

// The keys as nested RegistryKey elements: each below the nearest other key
// of the plan that holds it.
class WixKeys {
public:
    WixKeys(const InstallPlan& plan, const InstalledFile& file, std::vector<std::string>& problems)
        : plan_(plan), file_(file), problems_(problems), reference_("[#" + installerNameOf(text::fileNameOf(file.fileName)) + "]"),
          parent_(plan.keys.size()), children_(plan.keys.size())
    {
        std::vector<std::string> upper;
        upper.reserve(plan.keys.size());
        for (const InstallKey& k : plan.keys) upper.push_back(text::upperAscii(k.path) + "\\");
        for (size_t i = 0; i < plan.keys.size(); ++i) {
            for (size_t j = 0; j < plan.keys.size(); ++j)
                if (j != i && plan.keys[j].root == plan.keys[i].root && upper[j].size() < upper[i].size() &&
                    upper[i].compare(0, upper[j].size(), upper[j]) == 0 &&
                    (!parent_[i] || upper[j].size() > upper[*parent_[i]].size()))
                    parent_[i] = j;
            if (parent_[i]) children_[*parent_[i]].push_back(i);
            else tops_.push_back(i);
        }
    }

    std::string elements()
    {
        for (const size_t top : tops_) emit(top, "        ");
        return out_;
    }

private:
    std::string attributesOf(size_t i)
    {
        const InstallKey& k = plan_.keys[i];
        if (parent_[i]) return " Key=\"" + wixText(k.path.substr(plan_.keys[*parent_[i]].path.size() + 1)).value_or("") + "\"";
        const auto [root, path] = wixRootOf(k.root, k.path);
        return " Root=\"" + root + "\" Key=\"" + wixText(path).value_or("") + "\"";
    }

    void emit(size_t i, const std::string& indent)
    {
        const InstallKey& k = plan_.keys[i];
        const std::string fullName = fullNameOf(k.root, k.path);
        if (wixRootOf(k.root, k.path).first.empty() || !wixText(k.path)) {
            problems_.push_back("The key " + quotedName(fullName) + " cannot be named in WiX.");
            return;
        }
        if (k.values.empty() && children_[i].empty()) {
            out_ += indent + "<RegistryKey" + attributesOf(i) + " ForceCreateOnInstall=\"yes\" />" + kCrLf;
            return;
        }
        out_ += indent + "<RegistryKey" + attributesOf(i) + ">" + kCrLf;
        const std::string inner = indent + "  ";
        for (const classes::NamedValue& v : k.values) {
            const Line line = wixValueElement(v, inner, file_, reference_);
            if (line.problem.empty()) out_ += line.text + kCrLf;
            else problems_.push_back(valueSentence(fullName, v.name) + " " + line.problem);
        }
        for (const size_t child : children_[i]) emit(child, inner);
        out_ += indent + "</RegistryKey>" + kCrLf;
    }

    const InstallPlan& plan_;
    const InstalledFile& file_;
    std::vector<std::string>& problems_;
    std::string reference_;
    std::vector<std::optional<size_t>> parent_;
    std::vector<std::vector<size_t>> children_;
    std::vector<size_t> tops_;
    std::string out_;
};

bool writesValue(const InstallPlan& plan, const InstallRemoval& r)
{
    return std::any_of(plan.keys.begin(), plan.keys.end(), [&](const InstallKey& k) {
        return k.root == r.root && text::equalIgnoringCase(k.path, r.path) &&
               std::any_of(k.values.begin(), k.values.end(),
                           [&](const classes::NamedValue& v) { return text::equalIgnoringCase(v.name, *r.valueName); });
    });
}

std::string wixRemovals(const InstallPlan& plan, std::vector<std::string>& problems)
{
    std::string removes;
    for (const InstallRemoval& r : plan.removals) {
        const std::string fullName = fullNameOf(r.root, r.path);
        if (r.valueName) {
            // The Windows Installer removes every value it wrote; one it did not write it cannot remove at uninstall.
            if (!writesValue(plan, r))
                problems.push_back(valueSentence(fullName, *r.valueName) +
                                   " is deleted by the un-register script but not written; the Windows Installer "
                                   "cannot delete a single value at uninstall.");
            continue;
        }
        // The Windows Installer has no deletion of a key only if empty.
        if (r.ifEmpty) continue;
        const auto [root, path] = wixRootOf(r.root, r.path);
        const std::optional<std::string> key = wixText(path);
        if (root.empty() || !key) {
            problems.push_back("The deletion of " + quotedName(fullName) + " cannot be written in WiX.");
            continue;
        }
        removes += "        <RemoveRegistryKey Action=\"removeOnUninstall\" Root=\"" + root + "\" Key=\"" + *key;
        removes += "\" />";
        removes += kCrLf;
    }
    return removes;
}

} // namespace

InstallerText wixFragmentOf(const InstallPlan& plan, const InstalledFile& file)
{
    InstallerText out;
    out.problems = plan.problems;
    const std::string_view fileName = text::fileNameOf(file.fileName);
    const std::string componentId = installerNameOf(fileName.substr(0, fileName.rfind('.')));
    const std::string fileId = installerNameOf(fileName);
    const std::string keys = WixKeys(plan, file, out.problems).elements();
    const std::string removes = wixRemovals(plan, out.problems);
    const std::optional<std::string> source = wixText(file.fileName, {}, {}, false);
    if (!source) out.problems.push_back("The file name " + quotedName(file.fileName) + " holds a character XML cannot carry.");
    if (!out.problems.empty()) return out;

    std::string body = std::string(kWixFirstLine) +
                       ": the registry keys of the add-in's DLL. Reference the component from a Feature; "
                       "INSTALLFOLDER is the add-in's folder. -->";
    body += kCrLf;
    body += std::string("<Wix xmlns=\"http://wixtoolset.org/schemas/v4/wxs\">") + kCrLf;
    body += std::string("  <Fragment>") + kCrLf;
    body += std::string("    <DirectoryRef Id=\"INSTALLFOLDER\">") + kCrLf;
    body += "      <Component Id=\"" + componentId + "\" Bitness=\"" + (plan.bits == 32 ? "always32" : "always64") +
            "\">" + kCrLf;
    body += "        <File Id=\"" + fileId + "\" Source=\"" + *source + "\" KeyPath=\"yes\" />" + kCrLf;
    body += keys;
    body += removes;
    body += std::string("      </Component>") + kCrLf + "    </DirectoryRef>" + kCrLf + "  </Fragment>" + kCrLf +
            "</Wix>" + kCrLf;
    out.bytes = body;
    return out;
}

} // namespace scripts
