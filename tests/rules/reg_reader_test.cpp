// Reading a script as the importer reads it, and the verifier's verdicts on
// a registry held in a map. The importer itself is the judge in import_test;
// these run under the sanitizers, a few forms of each rule.
#include "doctor/Verify.h"
#include "scripts/RegFileReader.h"
#include "text/Utf.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

using namespace scripts;
using namespace std::literals;

namespace {

// The stand-in for the system's code page: Latin-1, each byte its own character.
std::string latin1ToUtf8(std::string_view bytes)
{
    std::u16string wide;
    for (char c : bytes) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    return text::utf8FromUtf16(wide);
}

const ReadOptions kLatin1{latin1ToUtf8, Importer::Reg};

std::string wideBytes(std::u16string_view text)
{
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

TEST(RegFileReader, ReadsEveryKindOfLine)
{
    const RegScriptContent read = readRegScript("REGEDIT4\r\n"
                                                "; a comment\n"
                                                "\r\n"
                                                "[HKEY_CURRENT_USER\\Software\\A B] \r\n"
                                                "@=\"say \\\"hi\\\" C:\\\\x\"\r\n"
                                                "\"n\"=dword:0000002a\n"
                                                "\"h\" = hex:01,ff,\\\r\n"
                                                "    0a\r\n"
                                                "\"e\"=hex(2):41,00\r\n"
                                                "\"gone\"=-\r\n"
                                                "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
                                                "[HKCU\\x\\\\y\\\\]");
    ASSERT_TRUE(read.errors.empty()) << read.errors[0].line << ": " << read.errors[0].message;
    ASSERT_EQ(read.entries.size(), 8u);
    const auto& e = read.entries;
    EXPECT_EQ(e[0].kind, RegEntryKind::Key);
    EXPECT_EQ(e[0].keyPath, "HKEY_CURRENT_USER\\Software\\A B");
    EXPECT_EQ(e[0].root, RegRoot::CurrentUser);
    EXPECT_EQ(e[0].subKey, "Software\\A B");
    EXPECT_EQ(e[0].line, 4u);
    EXPECT_EQ(e[1].kind, RegEntryKind::String);
    EXPECT_EQ(e[1].data, "say \"hi\" C:\\x");
    EXPECT_EQ(e[1].stored, text::utf16BytesFromUtf8("say \"hi\" C:\\x"));
    EXPECT_EQ(e[2].stored, std::string("\x2a\0\0\0", 4));
    EXPECT_EQ(e[3].kind, RegEntryKind::Hex);
    EXPECT_EQ(e[3].type, 3u);
    EXPECT_EQ(e[3].data, "\x01\xff\x0a");
    EXPECT_EQ(e[3].line, 7u);
    EXPECT_EQ(e[4].data, std::string("A\0", 2));
    EXPECT_EQ(e[4].stored, std::string("A\0\0\0", 4)); // each ANSI byte a character
    EXPECT_EQ(e[5].kind, RegEntryKind::DeleteValue);
    EXPECT_TRUE(e[6].keyDeleted);
    EXPECT_EQ(e[7].keyPath, "HKCU\\x\\y"); // doubled and trailing separators dropped
}

// One value line below a key: what it stores, or the error it gives.
TEST(RegFileReader, ValueLines)
{
    struct Case {
        const char* line;
        uint32_t type; // 0: an error
        std::string stored;
    };
    const std::string empty;
    const Case cases[] = {
        // Comments after the data start with ';' only.
        {"\"a\"=\"x\"  ;note", 1, text::utf16BytesFromUtf8("x")},
        {"\"a\"=\"x\" #note", 0, empty},
        {"\"a\"=dword:00000001 ;note", 4, std::string("\1\0\0\0", 4)},
        // Blanks after the colon, after a comma, at the end; a trailing comma.
        {"\"a\"=dword:\t 2 \t", 4, std::string("\2\0\0\0", 4)},
        {"\"a\"=hex: 01, 2,", 3, "\x01\x02"},
        {"\"a\"=hex( 2):", 2, empty},
        {"\"a\"=hex(fffffffe):0x1,+2", 0xFFFFFFFE, "\x01\x02"},
        // The string types gain a NUL character when they lack one.
        {"\"a\"=hex(7):41,00,42", 7, std::string("A\0\0\0B\0\0\0", 8)},
        {"\"a\"=hex(1):e9", 1, std::string("\xe9\0\0\0", 4)},
        // Escapes: \n and \r are line breaks, any other character stands for itself.
        {"\"a\"=\"1\\n2\\r3\\t\\\\\"", 1, text::utf16BytesFromUtf8("1\n2\r3t\\")},
        {"\"a\"=\"x\\0\"", 0, empty},
        {"\"a\"=dword:123456789", 0, empty},
        {"\"a\"=dword:0x1", 0, empty},
        {"\"a\"=hex:01 ,02", 0, empty},
        {"\"a\"=hex:100", 0, empty},
        {"\"a\"=hex(ffffffff):00", 0xFFFFFFFF, std::string("\0", 1)},
        {"\"a\"=hex(100000000):00", 0, empty},
        {"\"a\"=hex:01\\", 0, empty},
        {"\"a\"=- #x", 0, empty},
    };
    for (const Case& c : cases) {
        const RegScriptContent read = readRegScript(std::string("REGEDIT4\n[HKEY_USERS\\k]\n") + c.line, kLatin1);
        if (c.type == 0) {
            EXPECT_EQ(read.entries.size(), 1u) << c.line;
            ASSERT_EQ(read.errors.size(), 1u) << c.line;
            EXPECT_EQ(read.errors[0].line, 3u) << c.line;
            EXPECT_EQ(read.errors[0].valueName, "a") << c.line;
            EXPECT_EQ(read.errors[0].keyPath, "HKEY_USERS\\k") << c.line;
            continue;
        }
        ASSERT_TRUE(read.errors.empty()) << c.line << ": " << read.errors[0].message;
        ASSERT_EQ(read.entries.size(), 2u) << c.line;
        EXPECT_EQ(read.entries[1].type, c.type) << c.line;
        EXPECT_EQ(read.entries[1].stored, c.stored) << c.line;
    }
}

// Where values go, and which lines are passed over, by line number.
TEST(RegFileReader, LinesAndKeys)
{
    struct Case {
        std::string_view script;
        std::vector<size_t> entryLines;
        std::vector<size_t> errorLines;
    };
    const Case cases[] = {
        // Anything after the header on line 1: nothing is imported.
        {"REGEDIT4 \n[HKEY_USERS\\k]", {}, {1}},
        {"\nREGEDIT4\n[HKEY_USERS\\k]", {}, {1}},
        {"  REGEDIT4\n[HKEY_USERS\\k]", {2}, {}},
        // CR alone ends a line, also inside a string.
        {"REGEDIT4\r[HKEY_USERS\\k]\r\"a\"=\"x\ry\"\r\n\"b\"=\"2\"", {2, 5}, {3, 4}},
        // A continued line that is not hex data takes a key line with it;
        // the values below go to the key above.
        {"REGEDIT4\n[HKEY_USERS\\k]\n\"a\"=hex:01,\\\n[HKEY_USERS\\k\\s]\n\"b\"=\"2\"", {2, 5}, {3, 4}},
        // Without a comma before the "\" the value ends; the next line is read afresh.
        {"REGEDIT4\n[HKEY_USERS\\k]\n\"a\"=hex:01\\\n[HKEY_USERS\\k\\s]\n\"b\"=\"2\"", {2, 4, 5}, {3}},
        // Blank lines and ';' comments inside a continuation; '#' ends it.
        {"REGEDIT4\n[HKEY_USERS\\k]\n\"a\"=hex:01,\\\n\n \t\n ;c\n 02\n\"b\"=hex:\\\n#c\n\"c\"=\"3\"", {2, 3, 10}, {8, 9}},
        // Continued past the end: the bytes so far.
        {"REGEDIT4\n[HKEY_USERS\\k]\n\"a\"=hex:01,\\\n\n", {2, 3}, {}},
        // Keys: what follows the last ']' is ignored; a bad key leaves no key in force.
        {"REGEDIT4\n[HKEY_USERS\\k] junk\n\"a\"=\"1\"\n[ HKEY_USERS\\x]\n\"b\"=\"2\"\n[HKEY_NONE\\y]\n\"c\"=\"3\"", {2, 3}, {4, 5, 6, 7}},
        {"REGEDIT4\n[-HKEY_USERS\\k]\n\"a\"=\"1\"\n[HKEY_USERS\\\\k]\n[HKEY_USERS\\k", {2, 3}, {4, 5}},
        // Nothing after a NUL.
        {"REGEDIT4\n[HKEY_USERS\\k]\n\0\"a\"=\"1\""sv, {2}, {}},
    };
    for (const Case& c : cases) {
        const RegScriptContent read = readRegScript(c.script);
        std::vector<size_t> entryLines, errorLines;
        for (const RegEntry& e : read.entries) entryLines.push_back(e.line);
        for (const RegReadError& e : read.errors) errorLines.push_back(e.line);
        std::sort(errorLines.begin(), errorLines.end());
        EXPECT_EQ(entryLines, c.entryLines) << c.script;
        EXPECT_EQ(errorLines, c.errorLines) << c.script;
    }
    EXPECT_FALSE(readRegScript("REGEDIT4 ;x\n").imported);
    // The Windows 3.1 form: each line a default value below HKEY_CLASSES_ROOT.
    const RegScriptContent old = readRegScript("REGEDIT\r\nHKEY_CLASSES_ROOT\\k =  v \r\n HKEY_CLASSES_ROOT\\x\r\n");
    ASSERT_EQ(old.entries.size(), 2u);
    EXPECT_EQ(old.entries[1].subKey, "k");
    EXPECT_EQ(old.entries[1].data, " v ");
    EXPECT_EQ(old.errors.at(0).line, 3u);
    EXPECT_EQ(readRegScript("REGEDIT4\n[HKEY_USERS\\k]\n\"a\"=hex:01,\\\n[HKEY_USERS\\k\\s]").entries.back().keyPath,
              "HKEY_USERS\\k");

    // The abbreviations are reg import's; regedit refuses them.
    EXPECT_EQ(readRegScript("REGEDIT4\n[hkcu\\k]").entries.at(0).root, RegRoot::CurrentUser);
    ReadOptions regedit;
    regedit.importer = Importer::Regedit;
    EXPECT_EQ(readRegScript("REGEDIT4\n[HKCU\\k]\n\"a\"=\"1\"", regedit).errors.size(), 2u);
    // An escaped NUL in string data: reg import passes over the line, regedit gives up there.
    const std::string nul = "REGEDIT4\n[HKEY_USERS\\k]\n\"a\"=\"\\0\"\n\"b\"=\"1\"";
    EXPECT_EQ(readRegScript(nul).entries.size(), 2u);
    EXPECT_EQ(readRegScript(nul, regedit).entries.size(), 1u);
}

// A UTF-16 script reads like an ANSI one; its hex(2) bytes are UTF-16 already,
// where an ANSI script's are text of the code page.
TEST(RegFileReader, Utf16ScriptsAndTheCodePage)
{
    const std::u16string script = u"Windows Registry Editor Version 5.00\r\n[HKEY_USERS\\\u00e9]\r\n"
                                  u"\"\u4e2d\"=\"\u00e9\"\r\n\"x\"=hex(2):41,00\r\n";
    const RegScriptContent wide = readRegScript("\xff\xfe" + wideBytes(script), kLatin1);
    ASSERT_TRUE(wide.errors.empty()) << wide.errors[0].message;
    ASSERT_EQ(wide.entries.size(), 3u);
    EXPECT_TRUE(wide.utf16);
    EXPECT_EQ(wide.entries[0].subKey, "\xc3\xa9");
    EXPECT_EQ(wide.entries[1].valueName, "\xe4\xb8\xad");
    EXPECT_EQ(wide.entries[1].stored, std::string("\xe9\0\0\0", 4));
    EXPECT_EQ(wide.entries[2].stored, std::string("A\0\0\0", 4));

    const RegScriptContent ansi =
        readRegScript("Windows Registry Editor Version 5.00\n[HKEY_USERS\\\xe9]\n\"x\"=hex(2):41,00\n", kLatin1);
    EXPECT_EQ(ansi.entries[0].subKey, "\xc3\xa9");
    EXPECT_EQ(ansi.entries[1].stored, std::string("A\0\0\0", 4)); // ends in a NUL already
    // Without the byte-order mark a UTF-16 script has no header.
    EXPECT_FALSE(readRegScript(wideBytes(script)).imported);
}

// A registry held in a map, read as the probe reads.
struct MapRegistry {
    std::map<std::pair<RegRoot, std::string>, std::map<std::string, doctor::StoredValue>> keys;

    doctor::RegistryProbe probe() const
    {
        return {[this](RegRoot root, const std::string& path) { return keys.count({root, path}) > 0; },
                [this](RegRoot root, const std::string& path,
                       const std::string& name) -> std::optional<doctor::StoredValue> {
                    const auto found = keys.find({root, path});
                    if (found == keys.end() || !found->second.count(name)) return std::nullopt;
                    return found->second.at(name);
                }};
    }
};

doctor::StoredValue sz(const std::string& text) { return {1, text::utf16BytesFromUtf8(text)}; }

TEST(Verify, ReportsEachDifferenceWithItsLine)
{
    using doctor::FindingKind;
    const std::string script = "REGEDIT4\r\n"                                    // 1
                               "[HKEY_CLASSES_ROOT\\CLSID\\{A}] \r\n"            // 2
                               "@=\"menu\"\r\n"                                  // 3
                               "\"LoadOnStartUp\"=\"1\r\n"                       // 4: no closing quote
                               "\"Type\"=\"Standard\"\r\n"                       // 5
                               "\"n\"=dword:0000002a\r\n"                        // 6
                               "\"gone\"=-\r\n"                                  // 7
                               "[HKCU\\Software\\B]\r\n"                         // 8
                               "[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n"        // 9
                               "\"ignored\"=\"x\"\r\n"                           // 10: the importer ignores it
                               "[-HKEY_USERS\\Again]\r\n"                        // 11
                               "[HKEY_USERS\\Again\\Sub]\r\n"                    // 12
                               "\"v\"=hex(7):41,00\r\n";                         // 13
    MapRegistry registry;
    registry.keys[{RegRoot::ClassesRoot, "CLSID\\{A}"}] = {
        {"", sz("menu")}, {"Type", sz("Other")}, {"n", sz("42")}, {"gone", sz("x")}};
    registry.keys[{RegRoot::LocalMachine, "Software\\Old"}] = {};
    registry.keys[{RegRoot::Users, "Again"}] = {};
    registry.keys[{RegRoot::Users, "Again\\Sub"}] = {{"v", {7, std::string("A\0\0\0", 4)}}};

    const doctor::VerifyOptions options;
    const std::vector<doctor::Finding> findings = doctor::verifyScript(script, registry.probe(), options);
    std::vector<std::tuple<size_t, FindingKind>> got;
    for (const doctor::Finding& f : findings) got.emplace_back(f.line, f.kind);
    const std::vector<std::tuple<size_t, FindingKind>> expected{
        {4, FindingKind::Skipped}, {5, FindingKind::Different}, {6, FindingKind::Different},
        {7, FindingKind::Present}, {8, FindingKind::Missing},   {9, FindingKind::Present}};
    EXPECT_EQ(got, expected) << ::testing::PrintToString(findings.size());
    ASSERT_EQ(findings.size(), expected.size());
    EXPECT_EQ(findings[0].message, "line 4: \"LoadOnStartUp\" of HKEY_CLASSES_ROOT\\CLSID\\{A} is missing; the line is "
                                   "not understood (a string without its closing quote)");
    EXPECT_EQ(findings[1].message,
              "line 5: \"Type\" of HKEY_CLASSES_ROOT\\CLSID\\{A} is \"Other\", the script writes \"Standard\"");
    EXPECT_EQ(findings[1].expected, "REG_SZ \"Standard\"");
    EXPECT_EQ(findings[1].found, "REG_SZ \"Other\"");
    EXPECT_EQ(findings[2].found, "REG_SZ \"42\"");
    EXPECT_EQ(findings[2].expected, "REG_DWORD dword:0000002a");
    EXPECT_EQ(findings[4].key, "HKCU\\Software\\B");
    EXPECT_FALSE(findings[4].valueName);
    EXPECT_EQ(findings[3].valueName, "gone");

    // A header the importer refuses: one finding, whatever the registry holds.
    const std::vector<doctor::Finding> none = doctor::verifyScript("REGEDIT4 \r\n[HKEY_USERS\\Again]", registry.probe(), options);
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].kind, FindingKind::NotImported);
    EXPECT_EQ(doctor::kindName(none[0].kind), "not-imported");
    EXPECT_EQ(none[0].line, 1u);
}

// Single backslashes in a path: the importer warns of each escape it does not
// know and stores the text without them. The registry holding exactly that is
// no verification.
TEST(Verify, AnEscapeTheImporterDoesNotKnowIsAFinding)
{
    const std::string script = "REGEDIT4\r\n"
                               "[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]\r\n"
                               "@=\"C:\\Program Files\\My AddIn\\AddIn.dll\"\r\n"
                               "\"p\\tq\"=\"a\\\\b \\\"c\\\" \\\xc3\xa9\"\r\n"
                               "\"ok\"=\"1\\n2\"\r\n"
                               "\"bad\\x\"=\"no end\r\n";
    const RegScriptContent read = readRegScript(script);
    ASSERT_EQ(read.unknownEscapes.size(), 6u);
    EXPECT_EQ(read.unknownEscapes[0].line, 3u);
    EXPECT_EQ(read.unknownEscapes[0].escape, "\\P");
    EXPECT_EQ(read.unknownEscapes[3].escape, "\\t");
    EXPECT_EQ(read.unknownEscapes[4].escape, "\\\xc3\xa9"); // the whole character
    EXPECT_EQ(read.unknownEscapes[5].line, 6u);                  // warned of, though the line is passed over
    EXPECT_EQ(read.entries[2].valueName, "ptq");
    EXPECT_EQ(read.entries[2].data, "a\\b \"c\" \xc3\xa9");

    MapRegistry registry;
    registry.keys[{RegRoot::ClassesRoot, "CLSID\\{A}\\InprocServer32"}] = {
        {"", sz("C:Program FilesMy AddInAddIn.dll")}, {"ptq", sz("a\\b \"c\" \xc3\xa9")}, {"ok", sz("1\n2")}};
    const std::vector<doctor::Finding> findings = doctor::verifyScript(script, registry.probe(), {});
    ASSERT_EQ(findings.size(), 3u);
    EXPECT_EQ(findings[0].kind, doctor::FindingKind::Escape);
    EXPECT_EQ(doctor::kindName(findings[0].kind), "escape");
    EXPECT_EQ(findings[0].message,
              "line 3: the escapes \"\\P\", \"\\M\" and \"\\A\" are not known to reg import (only \\\\, \\\", \\n and "
              "\\r are): it warns and drops the \"\\\", and stores the default value of "
              "HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32 as \"C:Program FilesMy AddInAddIn.dll\"");
    EXPECT_EQ(findings[0].found, "REG_SZ \"C:Program FilesMy AddInAddIn.dll\"");
    EXPECT_EQ(findings[0].valueName, "");
    EXPECT_EQ(findings[1].line, 4u);
    EXPECT_EQ(findings[1].kind, doctor::FindingKind::Escape);
    EXPECT_EQ(findings[2].line, 6u);
    EXPECT_EQ(findings[2].kind, doctor::FindingKind::Skipped);
}

} // namespace
