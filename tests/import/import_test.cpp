// The reader against the importer itself: each case is a script that the
// real `reg import` (a few: `regedit /s`) merges into keys of its own. What
// the reader predicts the merge writes, deletes and passes over must be what
// the registry holds afterwards, key by key and value by value, and the
// escapes it notes those reg import warns of; and the verifier must find
// nothing to report on the merge it just saw, beyond the lines the importer
// passed over or changed.
#include "ChildProcess.h"
#include "CliProcess.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "doctor/Verify.h"
#include "scripts/RegFileReader.h"
#include "platform/Process.h"
#include "platform/VerifyProbe.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <sstream>

using namespace testing_support;
using scripts::RegRoot;
using namespace std::literals;

namespace {

// The keys the cases write below, one per root the cases name.
struct Base {
    const char* placeholder;
    const char* scriptName;
    RegRoot root;
    HKEY handle;
    const char* path;
};
const Base kBases[] = {
    {"$K", "HKEY_CURRENT_USER\\Software\\AddInRegImportTest", RegRoot::CurrentUser, HKEY_CURRENT_USER,
     "Software\\AddInRegImportTest"},
    {"$M", "HKEY_LOCAL_MACHINE\\Software\\AddInRegImportTest", RegRoot::LocalMachine, HKEY_LOCAL_MACHINE,
     "Software\\AddInRegImportTest"},
    {"$C", "HKEY_CLASSES_ROOT\\AddInRegImportTest", RegRoot::ClassesRoot, HKEY_CLASSES_ROOT, "AddInRegImportTest"},
};

enum class Form { Ansi, Utf16 };
enum class Tool { Reg, Regedit };

struct Case {
    const char* group;
    std::string script; // "$K" and the like name the bases; UTF-8 where the form is UTF-16
    Form form = Form::Ansi;
    const char* setup = ""; // merged first, to give the case something to delete or leave over
    Tool tool = Tool::Reg;
};

// ---- the registry, held as a value ---------------------------------------

struct Value {
    std::string name;
    uint32_t type = 0;
    std::string data;
    bool operator==(const Value&) const = default;
};
struct Key {
    std::string path; // as the root names it
    std::map<std::string, Value> values; // by name in upper case
    bool operator==(const Key&) const = default;
};
using Tree = std::map<std::pair<RegRoot, std::string>, Key>; // by path in upper case

void readTree(RegRoot root, HKEY handle, const std::string& path, Tree& tree)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(handle, wideOf(path).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return;
    Key& node = tree[{root, text::upperAscii(path)}];
    node.path = path;
    wchar_t name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::string data(size, '\0');
        nameLength = 16384;
        RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        const std::string valueName = utf8Of({name, nameLength});
        node.values[text::upperAscii(valueName)] = {valueName, static_cast<uint32_t>(type), data.substr(0, size)};
    }
    std::vector<std::string> subKeys;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 16384;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subKeys.push_back(utf8Of({name, nameLength}));
    }
    RegCloseKey(key);
    for (const std::string& sub : subKeys) readTree(root, handle, path + "\\" + sub, tree);
}

Tree snapshot()
{
    Tree tree;
    for (const Base& base : kBases) readTree(base.root, base.handle, base.path, tree);
    return tree;
}

void clearBases()
{
    for (const Base& base : kBases) deleteTree(base.handle, base.path);
}

const Base* baseOf(RegRoot root, const std::string& upperPath)
{
    for (const Base& base : kBases) {
        const std::string top = text::upperAscii(base.path);
        if (base.root == root && (upperPath == top || upperPath.rfind(top + "\\", 0) == 0)) return &base;
    }
    return nullptr;
}

// The registry after the merge, as the reader predicts it. Keys above the
// bases are there anyway and are not followed.
Tree predict(Tree tree, const scripts::RegScriptContent& content)
{
    if (!content.imported) return tree;
    for (const scripts::RegEntry& entry : content.entries) {
        const std::string upper = text::upperAscii(entry.subKey);
        const std::pair<RegRoot, std::string> id{entry.root, upper};
        if (!baseOf(entry.root, upper)) continue;
        if (entry.kind == scripts::RegEntryKind::Key && entry.keyDeleted) {
            std::erase_if(tree, [&](const auto& k) {
                return k.first.first == entry.root &&
                       (k.first.second == upper || k.first.second.rfind(upper + "\\", 0) == 0);
            });
        } else if (entry.kind == scripts::RegEntryKind::Key) {
            // The key and every key between it and its base; a key that is
            // there keeps its spelling, and so do the names below it.
            std::string spelled;
            for (size_t start = 0;;) {
                const size_t cut = entry.subKey.find('\\', start);
                const std::string part = entry.subKey.substr(start, cut - start);
                spelled = spelled.empty() ? part : spelled + "\\" + part;
                const std::string path = text::upperAscii(entry.subKey.substr(0, cut));
                if (baseOf(entry.root, path)) {
                    Key& key = tree[{entry.root, path}];
                    if (key.path.empty()) key.path = spelled;
                    spelled = key.path;
                }
                if (cut == std::string::npos) break;
                start = cut + 1;
            }
        } else if (!entry.keyDeleted) {
            Key& key = tree[id];
            if (entry.kind == scripts::RegEntryKind::DeleteValue)
                key.values.erase(text::upperAscii(entry.valueName));
            else
                key.values[text::upperAscii(entry.valueName)] = {entry.valueName, entry.type, entry.stored};
        }
    }
    return tree;
}

std::string hexOf(const std::string& bytes)
{
    std::string out;
    char part[4];
    for (char c : bytes) {
        std::snprintf(part, sizeof(part), "%02x ", static_cast<unsigned>(static_cast<unsigned char>(c)));
        out += part;
    }
    return out;
}

std::string describe(const Tree& tree)
{
    std::ostringstream out;
    for (const auto& [id, key] : tree) {
        out << "  [" << key.path << "]\n";
        for (const auto& [upper, value] : key.values)
            out << "    \"" << value.name << "\" type " << value.type << ": " << hexOf(value.data) << "\n";
    }
    return out.str();
}

// ---- the cases -----------------------------------------------------------

std::string withBases(std::string script)
{
    for (const Base& base : kBases)
        for (size_t at = script.find(base.placeholder); at != std::string::npos; at = script.find(base.placeholder, at))
            script.replace(at, 2, base.scriptName);
    return script;
}

std::string scriptBytes(const Case& c)
{
    const std::string text = withBases(c.script);
    if (c.form == Form::Ansi) return text;
    return "\xff\xfe" + text::utf16Bytes(text::utf16FromUtf8(text));
}

const char kLeftOver[] = "REGEDIT4\n[$K]\n\"A\"=\"old\"\n\"B\"=dword:00000001\n\"C\"=\"c\"\n[$K\\Sub]\n\"D\"=\"d\"\n";

// Grouped by the rule they hold the reader to.
const std::vector<Case>& cases()
{
    static const std::vector<Case> all{
        // Header: exactly one of the two, after blanks; anything else on
        // line 1 and nothing is imported, left-over values or not.
        {"header", "REGEDIT4 \n[$K]\n\"A\"=\"new\"\n", Form::Ansi, kLeftOver},
        {"header", "REGEDIT4\t\n[$K]\n\"A\"=\"new\"\n", Form::Ansi, kLeftOver},
        {"header", "REGEDIT4 ;x\n[$K]\n\"A\"=\"new\"\n"},
        {"header", "Windows Registry Editor Version 5.00 \n[$K]\n\"A\"=\"new\"\n"},
        {"header", "\nREGEDIT4\n[$K]\n\"A\"=\"new\"\n"},
        {"header", "regedit4\n[$K]\n\"A\"=\"new\"\n"},
        {"header", "\xef\xbb\xbfWindows Registry Editor Version 5.00\n[$K]\n\"A\"=\"new\"\n"},
        {"header", " \tREGEDIT4\r\n[$K]\r\n\"A\"=\"new\"\r\n"},
        {"header", "REGEDIT3\n[$K]\n\"A\"=\"new\"\n"},
        {"header", "Windows Registry Editor Version 4.00\n[$K]\n\"A\"=\"new\"\n"},
        // The Windows 3.1 form: default values below HKEY_CLASSES_ROOT only.
        {"header", "REGEDIT\r\n$C = Value0\r\n$C\\a =  Value1 \r\n$C\\b Value2\r\n$C\\c\r\n"
                   " $C\\d = x\r\n;$C\\e = x\r\nhkey_classes_root\\AddInRegImportTest\\f = x\r\n$C\\g =x"},

        // Comments: lines of '#' or ';', and ';' after the data of a value.
        {"comments", "REGEDIT4\n#c\n  ;c\n[$K] ;c\n\"A\"=\"x\"  ;note\n\"B\"=dword:00000001 ;note\n\"C\"=- ;note\n"
                     "\"D\"=hex:01,02;n\n\"E\"=\"e\";n\n\"F\"=\"f\" #n\n\"G\"=dword:2#n\n\"H\"=hex(2):41 #n\n",
         Form::Ansi, kLeftOver},
        {"comments", "REGEDIT4\n[$K]\n\"A\"=-;n\n\"B\"=-#n\n\"C\"=-  \t\n\"Wine\"=\"#x;y\"\n", Form::Ansi, kLeftOver},
        {"comments", "REGEDIT4\n[$K\\a]junk\n\"A\"=\"1\"\n[$K\\b] #c\n\"B\"=\"2\"\n[$K\\c]]\n\"C\"=\"3\"\n"},

        // Continuation: "\" after a comma; blank lines, lines of blanks and
        // ';' comments inside; '#' or a value or key line ends it, used up.
        {"continuation", "REGEDIT4\n[$K]\n\"A\"=hex:01,\\\n\n \t\n ;c\n   02,\\\n03\n\"B\"=hex(7):41,\\ ;c\n  42,00\n"},
        {"continuation", "REGEDIT4\n[$K]\n\"A\"=hex:01,\\\n#c\n\"B\"=\"b\"\n\"C\"=hex:01,\\\n\"D\"=\"d\"\n\"E\"=\"e\"\n"},
        {"continuation", "REGEDIT4\n[$K]\n\"A\"=hex:01,\\\n[$K\\Sub]\n\"B\"=\"b\"\n"},
        {"continuation", "REGEDIT4\n[$K]\n\"A\"=hex:01,02\\\n[$K\\Sub]\n\"B\"=\"b\"\n"},
        {"continuation", "REGEDIT4\n[$K]\n\"A\"=hex:01\\\n,02\n\"B\"=hex:01,\\\n\\\n02\n\"C\"=hex:\\\n 03\n"},
        {"continuation", "REGEDIT4\n[$K]\n\"A\"=hex:01,\\ x\n02\n\"B\"=hex:01,\\#x\n02\n\"C\"=hex:01,  \\  \n,02\n"},
        {"continuation", "REGEDIT4\n[$K]\n\"A\"=\"a\"\n\"B\"=hex:01,02,\\"},
        {"continuation", "REGEDIT4\n[$K]\n\"B\"=hex(2):41,42,\\\n\n\n"},
        {"continuation", "REGEDIT4\n[$K]\n\"B\"=hex(2):41,42\\"},
        {"continuation", "REGEDIT4\n[$K]\n\"A\"=dword:1,\\\n[$K\\Sub]\n\"B\"=\"x\",\\\n\"C\"=\"c\"\n"},
        {"continuation", "REGEDIT4\n[$K]\n\"A\"=hex:01,0\\\n2\n\"B\"=hex:01,\\02\n\"C\"=hex:01\\,02\n\"D\"=hex:01,\\ 02\n"
                         "\"E\"=hex:01,\\\\\n02\n\"F\"=hex:01,/\n02\n\"G\"=hex(2):41,\\\n  ,42\n\"H\"=hex:01,\\\n\t02,\\;c\n\n\t;c\n  03;c\n"},
        {"continuation", "Windows Registry Editor Version 5.00\n[$K]\n\"A\"=hex(7):41,00,\\\n;c\n  @=\"x\"\n\"B\"=hex:01,\\\n  \\\n02\n"},

        // Data forms.
        {"data", "REGEDIT4\n[$K]\n\"A\"=dword: 1\n\"B\"=dword:\t0000002a\t\n\"C\"=dword:123456789\n\"D\"=dword:0x1\n"
                 "\"E\"=DWORD:1\n\"F\"=dword:ffffffff\n\"G\"=dword :1\n\"H\"=dword:+1\n\"I\"=dword:12 34\n"},
        {"data", "REGEDIT4\n[$K]\n\"A\"=hex: 01, 02\n\"B\"=hex:01 ,02\n\"C\"=hex:01,02,\n\"D\"=hex:0x1,+2,003\n"
                 "\"E\"=hex:100\n\"F\"=hex:,01\n\"G\"=hex:01,,02\n\"H\"=hex:\n\"I\"=Hex:01\n\"J\"=hex :01\n"},
        // ffffffff before an overflowing type: Wine's reg import refuses it
        // after one (VerifyFindsWhatTheImporterStored).
        {"data", "REGEDIT4\n[$K]\n\"A\"=hex( 2):41\n\"B\"=hex(+7):41\n\"C\"=hex(0x2):41\n\"E\"=hex(ffffffff):41\n"
                 "\"D\"=hex(100000000):41\n\"E2\"=hex(fffffffe):41\n\"F\"=hex(2 ):41\n\"G\"=hex(abcd):\n\"H\"=hex(0):41\n\"I\"=hex(4):01,02,03,04\n"},
        {"data", "REGEDIT4\n[$K]\n\"A\"=hex(2):25,50,41,54,48,25\n\"B\"=hex(2):25,50,00\n\"C\"=hex(7):41,00,42\n"
                 "\"D\"=hex(7):41,00,00\n\"E\"=hex(1):41,42\n\"F\"=hex(2):\n\"G\"=hex(7):e9,80,00\n"},
        {"data", "REGEDIT4\n[$K]\n\"A\"=\"1\\n2\\r3\\t4\\\\5\\\"6\"\n\"B\"=\"x\\0\"\n\"C\"=\"x\" y\n\"D\"=\"x\"\t\n"
                 "\"E\"=\"\"\n\"F\"=\n\"G\"=\"\xe9\x80\"\n\"\xe9\"=\"n\"\n\"H\"=\"a\\\"\n@ = \"d\"\n\"I\" =\t\"i\"\n"},
        {"data", "REGEDIT4\r[$K]\r\"A\"=\"a\"\r\"B\"=hex:01,\\\r02\r\r"},
        {"data", "REGEDIT4\r\n[$K]\r\n\"A\"=\"x\ry\"\r\n\"B\"=\"b\"\r\n\"C\"=hex:01,\r02\r\n"},
        {"data", "REGEDIT4\n[$K]\n\"A\"=hex:01,\0\n\"B\"=\"b\"\n"s},
        {"data", "REGEDIT4\n[$K]\n\"A\"=\"foo\"bar\"\n\"B\"=\"foo\"\"bar\"\n\"C\"=\\\"x\"\n\"D\"=x\"\n\"E\"=dword:12345678abc\n"
                 "\"F\"=dword:1234#5678\n\"G\"=dword:1234 ;5678\n\"H\"=\"Test \\\nValue\"\n\"I\"=-\"x\"\n"},
        {"names", "REGEDIT4\n[$K]\n\"a\\\"b\"=\"1\"\n\"c\\\\d\"=\"2\"\n\"e\\nf\"=\"3\"\n\"g\"h\"=\"4\"\n\"\"=\"5\"\n"
                  "\"  i \"  =  \"  6  \"  \n\t\"j\"\t=\tdword:\t7\t\n\"k\\\nl\"=\"8\"\nm\"=\"9\"\n\"n=\"10\"\n\"o\\0\"=\"11\"\n"
                  "\"p\\tq\"=\"12\"\n\"count/up\"=\"one/two\"\n\"\\\\x\\\\y\"=\"\"\n"},

        // UTF-16 scripts, marked: hex(2) and hex(7) bytes are UTF-16 already.
        {"utf16", "Windows Registry Editor Version 5.00\r\n[$K\\\xc3\xa9]\r\n\"\xe4\xb8\xad\"=\"\xc3\xa9\"\r\n"
                  "\"B\"=hex(2):41,00,42,00\r\n\"C\"=hex(7):41,00,00,00,42,00\r\n\"D\"=dword:2\r\n\"E\"=hex(1):41,00\r\n",
         Form::Utf16},
        {"utf16", "REGEDIT4\r\n[$K]\r\n\"A\"=\"a\"\r\n\"B\"=hex(2):41,42\r\n", Form::Utf16},
        {"utf16", "Windows Registry Editor Version 5.00\r[$K]\r\"A\"=hex:01,\\\r;c\r02\r", Form::Utf16},
        {"utf16", "Windows Registry Editor Version 5.00 \r\n[$K]\r\n\"A\"=\"new\"\r\n", Form::Utf16, kLeftOver},

        // Keys.
        {"keys", "REGEDIT4\n[$K\\D]\n\"Old\"=\"o\"\n[-$K\\D]\n[$K\\D]\n\"New\"=\"n\"\n"},
        {"keys", "REGEDIT4\n[-$K]\n\"A\"=\"a\"\n[$K\\Sub\\Deeper]\n\"E\"=\"e\"\n", Form::Ansi, kLeftOver},
        {"keys", "REGEDIT4\n\"A\"=\"a\"\n[$K]\n\"B\"=\"b\"\n[HKEY_NOPE\\x]\n\"C\"=\"c\"\n[$K\n\"D\"=\"d\"\n[]\n\"E\"=\"e\"\n"},
        {"keys", "REGEDIT4\n[$K\\t1\\]\n\"A\"=\"1\"\n[ $K\\t2]\n[- $K\\Sub]\n[$K\\t3 ]\n[$K\\t4\\\\t5\\\\]\n"
                 "[HKEY_CURRENT_USER\\\\Software\\AddInRegImportTest\\t6]\n",
         Form::Ansi, kLeftOver},
        {"keys", "REGEDIT4\n[HKCU\\Software\\AddInRegImportTest\\a]\n\"A\"=\"1\"\n[hkcu\\Software\\AddInRegImportTest\\b]\n"
                 "[HkEy_CuRrEnT_uSeR\\Software\\AddInRegImportTest\\c]\n[-HKCU\\Software\\AddInRegImportTest\\Sub]\n",
         Form::Ansi, kLeftOver},
        {"keys", "REGEDIT4\n[HKCU\\Software\\AddInRegImportTest\\a]\n\"A\"=\"1\"\n[$K\\b]\n\"B\"=\"2\"\n", Form::Ansi, "",
         Tool::Regedit},
        // regedit gives up at an escaped NUL in string data; reg import passes over that line only.
        {"keys", "REGEDIT4\n[$K]\n\"A\"=\"a\"\n\"B\"=\"x\\0\"\n\"C\"=\"c\"\n[$K\\k]\n\"o\\0\"=\"n\"\n", Form::Ansi, "",
         Tool::Regedit},
        {"keys", "REGEDIT4\n[$K]\n\"o\\0\"=\"n\"\n\"p\"=hex(2):41,00,42\n\"q\"=\"\\\\0\"\n", Form::Ansi, "", Tool::Regedit},
        {"keys", "REGEDIT4\n[$M\\m]\n\"A\"=\"1\"\n[HKLM\\Software\\AddInRegImportTest\\n]\n[$C\\c]\n@=\"x\"\n"
                 "[HKCR\\AddInRegImportTest\\d]\n[-$C\\c]\n"},
        {"keys", "REGEDIT4\n[$K]\n\"A\"=-\n\"c\"=-\n\"Missing\"=-\n[$K\\Sub]\n@=-\n", Form::Ansi, kLeftOver},
        {"keys", "REGEDIT4\n[$K\\Sub\"1]\n\"A\"=\"1\"\n[$K\\Sub/2]\n[$K\\https://example.org]\n[$K\\t\t]\n"
                 "HKEY_CURRENT_USER\\Software\\AddInRegImportTest\\u]\n[HKEY_CURRENT_USERS\\Software\\AddInRegImportTest]\n"
                 "\"B\"=\"2\"\n[$K\\SUB\"1\\v]\n\"C\"=\"3\"\n"},
        {"keys", "REGEDIT4\n[$K\\a]\n\"A\"=\"1\"\n[-$K\\a]\n[$K\\a\\b]\n[-$K\\A\\B]\n[$K\\c]\n[-$K\\C]\n\"C\"=\"3\"\n[$K\\c]\n"},
    };
    return all;
}

std::string tempScriptPath()
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + "AddInRegImportTest.reg";
}

// Merges the script; `warnings` counts the escapes reg import warns of.
bool merge(const std::string& path, const std::string& bytes, Tool tool, size_t* warnings = nullptr)
{
    writeFileBytes(path, bytes);
    if (tool == Tool::Regedit)
        return platform::runUtility(platform::kRegedit, "/s", path).outcome == platform::ProcessRun::Outcome::Exited;
    const ChildRun run = runChild(platform::utilityPath(platform::kReg), {"import", path});
    const std::string said = run.out + run.err;
    if (warnings) {
        *warnings = 0;
        for (size_t at = said.find("Unrecognized escape"); at != std::string::npos; at = said.find("Unrecognized escape", at + 1))
            ++*warnings;
    }
    return run.finished;
}

TEST(ImportTest, ReaderPredictsWhatTheImporterDoes)
{
    const std::string path = tempScriptPath();
    const scripts::ReadOptions reg{platform::ansiScriptDecoder(), scripts::Importer::Reg};
    const scripts::ReadOptions regedit{platform::ansiScriptDecoder(), scripts::Importer::Regedit};
    std::map<std::string, std::pair<int, int>> byGroup; // agreeing, all
    int agreeing = 0;
    for (size_t i = 0; i < cases().size(); ++i) {
        const Case& c = cases()[i];
        SCOPED_TRACE(std::string(c.group) + " case " + std::to_string(i) + ":\n" + withBases(c.script));
        clearBases();
        if (*c.setup) {
            ASSERT_TRUE(merge(path, withBases(c.setup), Tool::Reg));
        }
        const Tree before = snapshot();

        const std::string bytes = scriptBytes(c);
        size_t warnings = 0;
        ASSERT_TRUE(merge(path, bytes, c.tool, &warnings));
        const Tree after = snapshot();
        const scripts::RegScriptContent content = scripts::readRegScript(bytes, c.tool == Tool::Reg ? reg : regedit);
        if (c.tool == Tool::Reg) {
            EXPECT_EQ(content.unknownEscapes.size(), warnings) << "escapes reg import warns of";
        }
        const Tree predicted = predict(before, content);
        EXPECT_EQ(describe(predicted), describe(after)) << "predicted, then merged";
        ++byGroup[c.group].second;
        if (predicted == after) {
            ++agreeing;
            ++byGroup[c.group].first;
        }

        // The verifier on the merge it just saw: only lines passed over, or
        // a header that made the importer import nothing.
        const doctor::VerifyOptions options{platform::ansiScriptDecoder(),
                                            c.tool == Tool::Reg ? scripts::Importer::Reg : scripts::Importer::Regedit};
        for (const doctor::Finding& finding : doctor::verifyScript(bytes, platform::verifyProbe(), options)) {
            const bool expected = finding.kind == doctor::FindingKind::Skipped ||
                                  finding.kind == doctor::FindingKind::Escape ||
                                  (finding.kind == doctor::FindingKind::NotImported && !content.imported);
            EXPECT_TRUE(expected) << finding.message;
        }
    }
    clearBases();
    DeleteFileA(path.c_str());
    for (const auto& [group, counts] : byGroup)
        std::cout << group << ": " << counts.first << " of " << counts.second << " scripts as reg import merges them\n";
    std::cout << agreeing << " of " << cases().size() << " scripts agree\n";
}

// The command: its text and JSON, the importer it judges by, its exit codes.
TEST(ImportTest, VerifyCommandJudgesAMergeByItsImporter)
{
    const std::string path = tempScriptPath();
    const std::string script = withBases("REGEDIT4\r\n[HKCU\\Software\\AddInRegImportTest]\r\n\"A\"=\"x\"  ;note\r\n"
                                         "\"B\"=dword:00000001\r\n[-$K\\Gone]\r\n");
    clearBases();
    ASSERT_TRUE(merge(path, script, Tool::Reg));
    CliRun run = runCli({"verify", path});
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_EQ(run.out, "Verified: the registry holds every key and value of \"" + path + "\".\r\n");

    // regedit would have refused the abbreviation: nothing of lines 2 to 4.
    run = runCli({"verify", path, "--importer", "regedit", "--format", "json"});
    EXPECT_EQ(run.exitCode, 1u);
    const nlohmann::json skipped = nlohmann::json::parse(run.out);
    ASSERT_EQ(skipped.size(), 3u) << run.out;
    EXPECT_EQ(skipped[0]["line"], 2);
    EXPECT_EQ(skipped[0]["kind"], "skipped");

    ASSERT_EQ(runReg({"add", "HKCU\\Software\\AddInRegImportTest", "/v", "B", "/d", "1", "/f"}), 0u);
    run = runCli({"verify", path, "--format", "json"});
    EXPECT_EQ(run.exitCode, 1u);
    const nlohmann::json different = nlohmann::json::parse(run.out);
    ASSERT_EQ(different.size(), 1u) << run.out;
    EXPECT_EQ(different[0]["line"], 4);
    EXPECT_EQ(different[0]["kind"], "different");
    EXPECT_EQ(different[0]["key"], "HKCU\\Software\\AddInRegImportTest");
    EXPECT_EQ(different[0]["valueName"], "B");
    EXPECT_EQ(different[0]["expected"], "REG_DWORD dword:00000001");
    EXPECT_EQ(different[0]["found"], "REG_SZ \"1\"");

    // A header the importer refuses: its values are left over from before,
    // and that is no verification.
    writeFileBytes(path, "REGEDIT4 \r\n" + script.substr(script.find('\n') + 1));
    run = runCli({"verify", path});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out.find("line 1: "), 0u) << run.out;
    EXPECT_EQ(run.out.find("Verified"), std::string::npos);

    EXPECT_EQ(runCli({"verify", path + ".missing"}).exitCode, 3u);
    EXPECT_EQ(runCli({"verify", path, "--importer", "regini"}).exitCode, 2u);
    EXPECT_EQ(runCli({"verify"}).exitCode, 2u);
    clearBases();
    DeleteFileA(path.c_str());
}

// What the importer stored is judged, not what the line seems to say: a
// path in single backslashes, and a type ffffffff that Wine's reg import
// refuses after an overflowing one.
TEST(ImportTest, VerifyFindsWhatTheImporterStored)
{
    const std::string path = tempScriptPath();
    clearBases();
    ASSERT_TRUE(merge(path, withBases("REGEDIT4\r\n[$K]\r\n@=\"C:\\Program Files\\My AddIn\\AddIn.dll\"\r\n"), Tool::Reg));
    CliRun run = runCli({"verify", path});
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_EQ(run.out, "line 3: the escapes \"\\P\", \"\\M\" and \"\\A\" are not known to reg import (only \\\\, \\\", "
                       "\\n and \\r are): it warns and drops the \"\\\", and stores the default value of "
                       "HKEY_CURRENT_USER\\Software\\AddInRegImportTest as \"C:Program FilesMy AddInAddIn.dll\"\r\n");
    run = runCli({"verify", path, "--format", "json"});
    const nlohmann::json escape = nlohmann::json::parse(run.out);
    ASSERT_EQ(escape.size(), 1u) << run.out;
    EXPECT_EQ(escape[0]["kind"], "escape");
    EXPECT_EQ(escape[0]["found"], "REG_SZ \"C:Program FilesMy AddInAddIn.dll\""); // what reg import stored

    for (const bool overflowFirst : {false, true}) {
        SCOPED_TRACE(overflowFirst ? "hex(100000000) first" : "hex(ffffffff) first");
        const std::string e = "\"E\"=hex(ffffffff):41\r\n";
        const std::string d = "\"D\"=hex(100000000):41\r\n";
        clearBases();
        ASSERT_TRUE(merge(path, withBases("REGEDIT4\r\n[$K]\r\n" + (overflowFirst ? d + e : e + d)), Tool::Reg));
        const size_t line = overflowFirst ? 4 : 3;
        HKEY key = nullptr;
        DWORD type = 0;
        const bool stored = RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\AddInRegImportTest", 0, KEY_READ, &key) == 0 &&
                            RegQueryValueExA(key, "E", nullptr, &type, nullptr, nullptr) == 0 && type == 0xFFFFFFFF;
        if (key) RegCloseKey(key);
        if (!overflowFirst) {
            EXPECT_TRUE(stored);
        }
        run = runCli({"verify", path, "--format", "json"});
        bool missing = false;
        for (const nlohmann::json& finding : nlohmann::json::parse(run.out))
            if (finding["line"] == line) missing = finding["kind"] == "missing";
        EXPECT_EQ(missing, !stored) << run.out;
    }
    clearBases();
    DeleteFileA(path.c_str());
}

} // namespace
