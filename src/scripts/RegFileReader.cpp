#include "scripts/RegFileReader.h"

#include <algorithm>
#include <array>

namespace scripts {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One to eight hex digits, the whole of `digits`.
bool parseHexNumber(std::string_view digits, uint32_t& value)
{
    if (digits.empty() || digits.size() > 8) return false;
    value = 0;
    for (char c : digits) {
        if (hexDigit(c) < 0) return false;
        value = (value << 4) | static_cast<uint32_t>(hexDigit(c));
    }
    return true;
}

bool startsWith(std::string_view s, std::string_view start) { return s.substr(0, start.size()) == start; }

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool isKnownRoot(std::string_view keyPath)
{
    static constexpr std::array<std::string_view, 5> roots{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                                           "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
    const std::string_view root = keyPath.substr(0, keyPath.find('\\'));
    return std::ranges::any_of(roots, [&](std::string_view known) { return equalIgnoringCase(root, known); });
}

class Reader {
public:
    explicit Reader(std::string_view text) : rest_(text) {}

    RegScriptContent read()
    {
        std::string_view line;
        if (!nextLine(line) || (line != "REGEDIT4" && line != "Windows Registry Editor Version 5.00"))
            fail(1, "no REGEDIT4 header");
        while (nextLine(line)) {
            if (line.empty() || line.front() == ';') continue;
            if (line.front() == '[')
                readKey(line);
            else if (line.front() == '@' || line.front() == '"')
                readValue(line);
            else
                fail(lineNumber_, "not a key, a value or a comment");
        }
        return std::move(content_);
    }

private:
    // The next line, its line break and the blanks at either end removed.
    bool nextLine(std::string_view& line)
    {
        if (rest_.empty()) return false;
        size_t end = rest_.find('\n');
        line = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = trimmed(line);
        ++lineNumber_;
        return true;
    }

    void fail(size_t line, std::string message) { content_.errors.push_back({line, std::move(message)}); }

    // A bad key line leaves the values after it with no key.
    void readKey(std::string_view line)
    {
        haveKey_ = false;
        if (line.size() < 2 || line.back() != ']') return fail(lineNumber_, "a key line must end with ']'");
        std::string_view path = line.substr(1, line.size() - 2);
        const bool deleted = !path.empty() && path.front() == '-';
        if (deleted) path.remove_prefix(1);
        if (!isKnownRoot(path)) return fail(lineNumber_, "the key path does not start with an HKEY_ root");
        key_ = std::string(path);
        keyDeleted_ = deleted;
        haveKey_ = true;
        RegEntry entry;
        entry.line = lineNumber_;
        entry.keyPath = key_;
        entry.keyDeleted = deleted;
        content_.entries.push_back(std::move(entry));
    }

    // A double-quoted string at the start of `s`, with \\ and \" as its only
    // escapes; `s` is left after the closing quote. "" on success, else what is wrong.
    static std::string readQuoted(std::string_view& s, std::string& out)
    {
        for (size_t i = 1; i < s.size(); ++i) {
            if (s[i] == '"') {
                s.remove_prefix(i + 1);
                return "";
            }
            if (s[i] == '\\') {
                if (++i == s.size()) break;
                if (s[i] != '\\' && s[i] != '"') return "unknown escape '\\" + std::string(1, s[i]) + "' in a string";
            }
            out += s[i];
        }
        return "a string without its closing quote";
    }

    void readValue(std::string_view line)
    {
        const size_t first = lineNumber_;
        RegEntry entry;
        entry.line = first;
        entry.keyPath = key_;
        entry.keyDeleted = keyDeleted_;

        std::string_view s = line;
        if (s.front() == '@') {
            s.remove_prefix(1);
        } else if (std::string problem = readQuoted(s, entry.valueName); !problem.empty()) {
            return fail(first, problem);
        }
        s = trimmed(s);
        if (s.empty() || s.front() != '=') return failValue(s, "a value name must be followed by '='");
        s = trimmed(s.substr(1));
        if (!haveKey_) return failValue(s, "a value with no valid key line above it");
        if (readData(s, entry)) content_.entries.push_back(std::move(entry));
    }

    // The data after "=": a deletion, a string, a dword or hex bytes. False
    // when it was reported as an error.
    bool readData(std::string_view s, RegEntry& entry)
    {
        const size_t first = entry.line;
        if (s == "-") {
            entry.kind = RegEntryKind::DeleteValue;
        } else if (!s.empty() && s.front() == '"') {
            entry.kind = RegEntryKind::String;
            std::string problem = readQuoted(s, entry.data);
            if (problem.empty() && !s.empty()) problem = "text after a string value";
            if (!problem.empty()) {
                fail(first, problem);
                return false;
            }
        } else if (startsWith(s, "dword:")) {
            entry.kind = RegEntryKind::Dword;
            uint32_t value = 0;
            if (!parseHexNumber(s.substr(6), value)) {
                fail(first, "dword: takes one to eight hex digits");
                return false;
            }
            for (int i = 0; i < 4; ++i) entry.data += static_cast<char>((value >> (8 * i)) & 0xFF);
        } else if (startsWith(s, "hex:") || startsWith(s, "hex(")) {
            entry.kind = RegEntryKind::Hex;
            return readHexValue(s, entry);
        } else {
            failValue(s, "unknown value data");
            return false;
        }
        return true;
    }

    // Reports a value line; lines it continues belong to it and go unread.
    void failValue(std::string_view rest, std::string message)
    {
        fail(lineNumber_, std::move(message));
        while (!rest.empty() && rest.back() == '\\' && nextLine(rest)) {
        }
    }

    // "hex:" or "hex(n):" and the bytes that follow.
    bool readHexValue(std::string_view s, RegEntry& entry)
    {
        if (s[3] == '(') {
            const size_t close = s.find("):");
            if (close == std::string_view::npos || !parseHexNumber(s.substr(4, close - 4), entry.hexType)) {
                failValue(s, "hex( takes one to eight hex digits and \"):\"");
                return false;
            }
            s.remove_prefix(close + 2);
        } else {
            s.remove_prefix(4);
        }
        return readHexBytes(s, entry.data);
    }

    // Comma-separated bytes of one or two hex digits. A "\" at the end of a
    // line continues them on the next; no byte is split across lines.
    bool readHexBytes(std::string_view s, std::string& bytes)
    {
        bool afterByte = false;
        bool afterComma = false;
        for (;;) {
            const bool continued = !s.empty() && s.back() == '\\';
            std::string_view part = trimmed(continued ? s.substr(0, s.size() - 1) : s);
            while (!part.empty()) {
                const size_t used = afterByte ? readComma(part) : readHexByte(part, bytes);
                if (used == 0) {
                    failValue(s, afterByte ? "hex bytes must be separated by commas" : "not a hex byte");
                    return false;
                }
                afterComma = afterByte;
                afterByte = !afterByte;
                part = trimmed(part.substr(used));
            }
            if (!continued) break;
            if (!nextLine(s)) {
                fail(lineNumber_, "hex data continued past the end of the script");
                return false;
            }
        }
        if (afterComma) fail(lineNumber_, "hex data ends with a comma");
        return !afterComma;
    }

    // The characters a comma takes at the start of the part: 1, or 0 when
    // there is none.
    static size_t readComma(std::string_view part) { return part.front() == ',' ? 1 : 0; }

    // One byte of one or two hex digits; the characters it took, 0 for none.
    static size_t readHexByte(std::string_view part, std::string& bytes)
    {
        size_t used = 0;
        int value = 0;
        while (used < part.size() && used < 2 && hexDigit(part[used]) >= 0) value = value * 16 + hexDigit(part[used++]);
        if (used > 0) bytes += static_cast<char>(value);
        return used;
    }

    std::string_view rest_;
    size_t lineNumber_ = 0;
    std::string key_;
    bool keyDeleted_ = false;
    bool haveKey_ = false;
    RegScriptContent content_;
};

} // namespace

RegScriptContent readRegScript(std::string_view text) { return Reader(text).read(); }

} // namespace scripts
