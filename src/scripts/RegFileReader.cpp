#include "scripts/RegFileReader.h"

#include "classes/Registry.h"
#include "scripts/ScriptBuilder.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <array>
#include <utility>

namespace scripts {

namespace {

constexpr uint32_t kRegSz = classes::typeCode(classes::ValueType::String);
constexpr uint32_t kRegDword = classes::typeCode(classes::ValueType::Dword);

constexpr char kEscapedNul[] = "the escape '\\0' in a string";

using text::isBlank;


// Where the data of a line ends: at its end, or at a ";" comment.
bool atDataEnd(std::string_view s) { return s.empty() || s.front() == ';'; }


struct RootSpelling {
    std::string_view name;
    RegRoot root;
    bool abbreviation;
};

constexpr std::array<RootSpelling, 10> kRoots{{
    {"HKEY_CLASSES_ROOT", RegRoot::ClassesRoot, false},
    {"HKEY_CURRENT_USER", RegRoot::CurrentUser, false},
    {"HKEY_LOCAL_MACHINE", RegRoot::LocalMachine, false},
    {"HKEY_USERS", RegRoot::Users, false},
    {"HKEY_CURRENT_CONFIG", RegRoot::CurrentConfig, false},
    {"HKCR", RegRoot::ClassesRoot, true},
    {"HKCU", RegRoot::CurrentUser, true},
    {"HKLM", RegRoot::LocalMachine, true},
    {"HKU", RegRoot::Users, true},
    {"HKCC", RegRoot::CurrentConfig, true},
}};

// The script's text as UTF-8, cut at its first NUL as the importer cuts it.
std::string decodedText(std::string_view script, const ReadOptions& options, bool& utf16)
{
    utf16 = text::startsWithUtf16Mark(script);
    if (utf16) return text::utf8FromUtf16Bytes(script.substr(text::kUtf16Mark.size()));
    const std::string_view bytes = script.substr(0, script.find('\0'));
    return options.ansiToUtf8 ? options.ansiToUtf8(bytes) : std::string(bytes);
}

class Reader {
public:
    Reader(std::string_view script, const ReadOptions& options) : options_(options)
    {
        text_ = decodedText(script, options, content_.utf16);
        splitLines();
    }

    RegScriptContent read()
    {
        const std::string_view header = lines_.empty() ? std::string_view() : text::trimLeadingBlanks(lines_[0]);
        if (header == "REGEDIT") {
            readWindows31();
            return std::move(content_);
        }
        if (header != kRegedit4Header && header != kVersion5Header) {
            content_.imported = false;
            fail(1, "the first line is not exactly \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\", "
                    "so the importer imports nothing");
            return std::move(content_);
        }
        for (next_ = 1; next_ < lines_.size() && !stopped_;) {
            const size_t index = next_++;
            const std::string_view line = text::trimLeadingBlanks(lines_[index]);
            if (line.empty() || line.front() == ';' || line.front() == '#') continue;
            if (line.front() == '[')
                readKey(line, index + 1);
            else if (line.front() == '@' || line.front() == '"')
                readValue(line, index + 1);
            else
                fail(index + 1, "not a key, a value or a comment");
        }
        return std::move(content_);
    }

private:
    // Lines end in CR LF, LF or CR alone, as the importer splits them.
    void splitLines()
    {
        std::string_view rest = text_;
        for (;;) {
            const size_t end = rest.find_first_of("\r\n");
            lines_.push_back(rest.substr(0, end));
            if (end == std::string_view::npos) break;
            const size_t breakLength = rest.compare(end, 2, text::kCrLf) == 0 ? 2 : 1;
            rest.remove_prefix(end + breakLength);
            if (rest.empty()) break;
        }
    }

    // The Windows 3.1 form under "REGEDIT": each line
    // "HKEY_CLASSES_ROOT\path [= ]text" writes the key's default value; a
    // single blank after "=" belongs to it, the rest of the text is kept.
    void readWindows31()
    {
        constexpr std::string_view root = "HKEY_CLASSES_ROOT\\";
        for (size_t index = 1; index < lines_.size(); ++index) {
            const std::string_view line = lines_[index];
            if (text::trimLeadingBlanks(line).empty()) continue;
            if (line.substr(0, root.size()) != root) {
                fail(index + 1, "in a REGEDIT script, a line must start with HKEY_CLASSES_ROOT\\");
                continue;
            }
            const size_t blank = line.find_first_of(" \t", root.size());
            RegEntry key;
            key.line = index + 1;
            key.root = RegRoot::ClassesRoot;
            key.subKey = std::string(line.substr(root.size(), blank - root.size()));
            key.keyPath = std::string(line.substr(0, blank));
            std::string_view text = text::trimLeadingBlanks(blank == std::string_view::npos ? std::string_view() : line.substr(blank));
            if (!text.empty() && text.front() == '=') {
                text.remove_prefix(1);
                if (!text.empty() && text.front() == ' ') text.remove_prefix(1);
            }
            RegEntry value = key;
            value.kind = RegEntryKind::String;
            value.data = std::string(text);
            value.type = kRegSz;
            value.stored = text::utf16BytesFromUtf8(value.data);
            content_.entries.push_back(std::move(key));
            content_.entries.push_back(std::move(value));
        }
    }

    void fail(size_t line, std::string message, std::optional<std::string> valueName = std::nullopt)
    {
        const bool inKey = haveKey_ && !key_.keyDeleted;
        RegReadError error{line, std::move(message), "", RegRoot::ClassesRoot, "", std::move(valueName)};
        if (inKey) {
            error.keyPath = key_.keyPath;
            error.root = key_.root;
            error.subKey = key_.subKey;
        }
        content_.errors.push_back(std::move(error));
    }

    // "[path]" or "[-path]"; the importer ignores what follows the last "]".
    // A key line it refuses leaves the values after it with no key.
    void readKey(std::string_view line, size_t number)
    {
        haveKey_ = false;
        const size_t close = line.rfind(']');
        if (close == std::string_view::npos) return fail(number, "a key line must end with ']'");
        std::string_view path = line.substr(1, close - 1);
        const bool deleted = !path.empty() && path.front() == '-';
        if (deleted) path.remove_prefix(1);
        if (path.empty() || isBlank(path.front())) return fail(number, "no key path right after '[' or '[-'");

        const std::string_view rootText = path.substr(0, path.find('\\'));
        const RootSpelling* spelling = nullptr;
        for (const RootSpelling& known : kRoots)
            if (text::equalIgnoringCase(rootText, known.name)) spelling = &known;
        if (!spelling) return fail(number, "the key path does not start with a root key");
        if (spelling->abbreviation && options_.importer == Importer::Regedit)
            return fail(number, "regedit does not accept the abbreviation " + std::string(rootText));

        std::string_view below = path.substr(rootText.size());
        if (!below.empty()) below.remove_prefix(1);
        if (!below.empty() && below.front() == '\\') return fail(number, "an empty key name after the root");
        std::string subKey;
        for (char c : below)
            if (c != '\\' || (!subKey.empty() && subKey.back() != '\\')) subKey += c;
        if (!subKey.empty() && subKey.back() == '\\') subKey.pop_back();

        RegEntry entry;
        entry.line = number;
        entry.root = spelling->root;
        entry.subKey = subKey;
        entry.keyPath = std::string(rootText) + (subKey.empty() ? "" : "\\" + subKey);
        entry.keyDeleted = deleted;
        key_ = entry;
        haveKey_ = true;
        content_.entries.push_back(std::move(entry));
    }

    // A double-quoted string at the start of `s`; `s` is left after the
    // closing quote. "" on success, else what is wrong. An escape the
    // importer does not know is noted for the line, as the importer warns of
    // it whether the line is then understood or not.
    std::string readQuoted(std::string_view& s, std::string& out, size_t number)
    {
        for (size_t i = 1; i < s.size(); ++i) {
            char c = s[i];
            if (c == '"') {
                s.remove_prefix(i + 1);
                return "";
            }
            if (c == '\\') {
                if (++i == s.size()) break;
                c = s[i];
                if (c == '0') return kEscapedNul;
                if (c == 'n') c = '\n';
                if (c == 'r') c = '\r';
                // Any other escaped character stands for itself; the importer
                // warns of every one but "\\" and "\"".
                if (c != '\n' && c != '\r' && c != '\\' && c != '"') noteUnknownEscape(s, i, number);
            }
            out += c;
        }
        return "a string without its closing quote";
    }

    // The escape whose character starts at s[at]: the whole character, its
    // UTF-8 continuation bytes with it.
    void noteUnknownEscape(std::string_view s, size_t at, size_t number)
    {
        size_t end = at + 1;
        while (end < s.size() && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) ++end;
        std::string escape(1, '\\');
        escape.append(s.substr(at, end - at));
        content_.unknownEscapes.push_back({number, std::move(escape)});
    }

    void readValue(std::string_view line, size_t number)
    {
        RegEntry entry;
        entry.line = number;
        std::string_view s = line;
        if (s.front() == '@') {
            s.remove_prefix(1);
        } else if (std::string problem = readQuoted(s, entry.valueName, number); !problem.empty()) {
            return fail(number, "the value name: " + problem);
        }
        s = text::trimLeadingBlanks(s);
        if (s.empty() || s.front() != '=') return fail(number, "a value name must be followed by '='", entry.valueName);
        s = text::trimLeadingBlanks(s.substr(1));

        std::string problem = readData(s, entry);
        if (problem.empty() && !haveKey_) problem = "a value with no valid key line above it";
        if (!problem.empty()) return fail(number, problem, entry.valueName);

        // The importer ignores a value below a deleted key: un-register
        // scripts keep the values of the keys they delete.
        entry.keyPath = key_.keyPath;
        entry.root = key_.root;
        entry.subKey = key_.subKey;
        entry.keyDeleted = key_.keyDeleted;
        content_.entries.push_back(std::move(entry));
    }

    // The data after "=": a deletion, a string, a dword or hex bytes. "" on
    // success, else what is wrong.
    std::string readData(std::string_view s, RegEntry& entry)
    {
        if (!s.empty() && s.front() == '-') {
            entry.kind = RegEntryKind::DeleteValue;
            return atDataEnd(text::trimLeadingBlanks(s.substr(1))) ? "" : "text after '-'";
        }
        if (!s.empty() && s.front() == '"') {
            entry.kind = RegEntryKind::String;
            if (std::string problem = readQuoted(s, entry.data, entry.line); !problem.empty()) {
                // regedit gives up on the whole rest of the script there.
                if (problem == kEscapedNul && options_.importer == Importer::Regedit) {
                    stopped_ = true;
                    problem += "; regedit stops the import here and imports no line below";
                }
                return problem;
            }
            if (!atDataEnd(text::trimLeadingBlanks(s))) return "text after a string value";
            entry.type = kRegSz;
            entry.stored = text::utf16BytesFromUtf8(entry.data);
            return "";
        }
        if (s.substr(0, 6) == "dword:") {
            entry.kind = RegEntryKind::Dword;
            return readDword(text::trimLeadingBlanks(s.substr(6)), entry);
        }
        if (s.substr(0, 4) == "hex:" || s.substr(0, 4) == "hex(") {
            entry.kind = RegEntryKind::Hex;
            return readHexValue(s, entry);
        }
        return s.empty() ? "no data after '='" : "unknown value data";
    }

    static std::string readDword(std::string_view s, RegEntry& entry)
    {
        size_t digits = 0;
        uint32_t value = 0;
        while (digits < s.size() && text::hexDigitValue(s[digits]) >= 0) {
            value = (value << 4) | static_cast<uint32_t>(text::hexDigitValue(s[digits]));
            ++digits;
        }
        if (digits == 0 || digits > 8 || !atDataEnd(text::trimLeadingBlanks(s.substr(digits))))
            return "dword: takes one to eight hex digits";
        for (int i = 0; i < 4; ++i) entry.data += static_cast<char>((value >> (8 * i)) & 0xFF);
        entry.type = kRegDword;
        entry.stored = entry.data;
        return "";
    }

    // A number as the importer reads one in hex data: blanks, a sign, an
    // optional "0x", hex digits. Advances `s`; nothing when there are no digits.
    static std::optional<uint64_t> readNumber(std::string_view& s, bool allowPrefix)
    {
        s = text::trimLeadingBlanks(s);
        bool negative = false;
        if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
            negative = s.front() == '-';
            s.remove_prefix(1);
        }
        if (allowPrefix && s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && text::hexDigitValue(s[2]) >= 0)
            s.remove_prefix(2);
        uint64_t value = 0;
        size_t digits = 0;
        while (digits < s.size() && text::hexDigitValue(s[digits]) >= 0) {
            value = (value << 4) | static_cast<uint64_t>(text::hexDigitValue(s[digits]));
            if (value > 0xFFFFFFFFU) value = 0x100000000U; // out of range, whatever follows
            ++digits;
        }
        if (digits == 0) return std::nullopt;
        s.remove_prefix(digits);
        if (negative && value != 0) return 0x100000000U;
        return value;
    }

    // "hex:" or "hex(n):" and the bytes that follow.
    std::string readHexValue(std::string_view s, RegEntry& entry)
    {
        if (s[3] == '(') {
            s.remove_prefix(4);
            const std::optional<uint64_t> type = readNumber(s, false);
            // ffffffff is a type like any other (Wine's reg import refuses it
            // only after an overflowing number earlier in the same import).
            if (!type || *type > 0xFFFFFFFFU || s.substr(0, 2) != "):")
                return "hex( takes a type up to ffffffff in hex digits and \"):\"";
            entry.hexType = static_cast<uint32_t>(*type);
            s.remove_prefix(2);
        } else {
            s.remove_prefix(4);
        }
        if (std::string problem = readHexBytes(s, entry.data); !problem.empty()) return problem;
        entry.type = entry.hexType;
        entry.stored = storedHex(entry.hexType, entry.data);
        return "";
    }

    // Comma-separated bytes. A "\" after a comma (or right after the colon)
    // continues them on the next line that is neither blank nor a ";"
    // comment; a line taken so is used up even when it is not hex data.
    std::string readHexBytes(std::string_view s, std::string& bytes)
    {
        size_t continuedOn = 0; // the number of the line s is, when the data continued on it
        for (;;) {
            // Expecting a byte, the end, or "\\".
            const std::string_view before = text::trimLeadingBlanks(s);
            if (atDataEnd(before)) return "";
            if (before.front() == '\\' && continuedOn == 0) {
                if (!atDataEnd(text::trimLeadingBlanks(before.substr(1)))) return "text after the '\\' that continues hex data";
                if (!nextDataLine(s)) return ""; // continued past the end: the bytes so far
                continuedOn = next_;
                continue;
            }
            if (std::optional<std::string> end = readHexByte(s, bytes, std::exchange(continuedOn, 0))) return *end;
        }
    }

    // The next line that is neither blank nor a ";" comment, its leading
    // blanks dropped; false at the end of the script.
    bool nextDataLine(std::string_view& s)
    {
        while (next_ < lines_.size() && atDataEnd(text::trimLeadingBlanks(lines_[next_]))) ++next_;
        if (next_ == lines_.size()) return false;
        s = text::trimLeadingBlanks(lines_[next_++]);
        return true;
    }

    // One byte and the comma after it (then `s` is left after the comma and
    // nothing is returned), or the end of the data ("" or what is wrong).
    std::optional<std::string> readHexByte(std::string_view& s, std::string& bytes, size_t continuedOn)
    {
        std::string_view rest = s;
        const std::optional<uint64_t> value = readNumber(rest, true);
        if (!value && continuedOn != 0) return continuedOnBadLine(continuedOn);
        if (!value) return "not a hex byte";
        if (*value > 0xFF) return "a hex byte above ff";
        bytes += static_cast<char>(*value);
        if (!rest.empty() && rest.front() == ',') {
            s = rest.substr(1);
            return std::nullopt;
        }
        if (!rest.empty() && rest.front() == '\\')
            return "a '\\' without a comma before it ends the value; the next line is read on its own";
        if (atDataEnd(text::trimLeadingBlanks(rest))) return "";
        return "hex bytes must be separated by commas";
    }

    // The line that hex data continued on is not hex data: the importer
    // passes over both, and whatever that line says is lost with them.
    std::string continuedOnBadLine(size_t line)
    {
        content_.errors.push_back({line, "read as the hex data that the line above continues, so the importer passes over it",
                                   "", RegRoot::ClassesRoot, "", std::nullopt});
        return "hex data continued on line " + std::to_string(line) + ", which is not hex data";
    }

    // What the importer stores for hex data: the bytes, but for the string
    // types the text they spell (ANSI in an ANSI script, UTF-16 in a UTF-16
    // one), with a NUL added when it does not end in one.
    std::string storedHex(uint32_t type, const std::string& bytes) const
    {
        if (!classes::holdsStrings(static_cast<classes::ValueType>(type))) return bytes;
        if (bytes.empty()) return bytes;
        std::string wide = bytes;
        if (!content_.utf16) {
            const std::string utf8 = options_.ansiToUtf8 ? options_.ansiToUtf8(bytes) : bytes;
            wide = text::utf16Bytes(text::utf16FromUtf8(utf8));
        }
        if (wide.size() % 2 != 0) wide += '\0';
        if (wide.size() < 2 || wide[wide.size() - 1] != '\0' || wide[wide.size() - 2] != '\0') wide.append(2, '\0');
        return wide;
    }

    const ReadOptions& options_;
    std::string text_;
    std::vector<std::string_view> lines_;
    size_t next_ = 0; // index of the next line to read
    RegEntry key_;    // the key line in force
    bool haveKey_ = false;
    bool stopped_ = false; // the importer gave up: no line after is read
    RegScriptContent content_;
};

} // namespace

std::string_view rootName(RegRoot root)
{
    for (const RootSpelling& known : kRoots)
        if (known.root == root && !known.abbreviation) return known.name;
    return {};
}

RegScriptContent readRegScript(std::string_view script, const ReadOptions& options)
{
    return Reader(script, options).read();
}

RegScriptContent readRegScript(std::string_view script) { return readRegScript(script, ReadOptions{}); }

} // namespace scripts
