// Reading a script back: every kind of line, and every bad line reported with
// its number.
#include "scripts/RegFileReader.h"

#include <gtest/gtest.h>

using namespace scripts;

namespace {

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
                                                "@=\"\"");
    ASSERT_TRUE(read.errors.empty()) << read.errors[0].line << ": " << read.errors[0].message;
    ASSERT_EQ(read.entries.size(), 8u);
    const auto& e = read.entries;
    EXPECT_EQ(e[0].kind, RegEntryKind::Key);
    EXPECT_EQ(e[0].keyPath, "HKEY_CURRENT_USER\\Software\\A B");
    EXPECT_EQ(e[0].line, 4u);
    EXPECT_EQ(e[1].kind, RegEntryKind::String);
    EXPECT_EQ(e[1].valueName, "");
    EXPECT_EQ(e[1].data, "say \"hi\" C:\\x");
    EXPECT_EQ(e[2].kind, RegEntryKind::Dword);
    EXPECT_EQ(e[2].data, std::string("\x2a\0\0\0", 4));
    EXPECT_EQ(e[3].kind, RegEntryKind::Hex);
    EXPECT_EQ(e[3].hexType, 3u);
    EXPECT_EQ(e[3].data, "\x01\xff\x0a");
    EXPECT_EQ(e[3].line, 7u);
    EXPECT_EQ(e[4].hexType, 2u);
    EXPECT_EQ(e[4].data, std::string("A\0", 2));
    EXPECT_EQ(e[5].kind, RegEntryKind::DeleteValue);
    EXPECT_EQ(e[5].valueName, "gone");
    EXPECT_TRUE(e[6].keyDeleted);
    EXPECT_EQ(e[6].keyPath, "HKEY_CURRENT_USER\\Software\\Old");
    EXPECT_EQ(e[7].line, 12u);
    EXPECT_TRUE(e[7].keyDeleted);

    EXPECT_TRUE(readRegScript("Windows Registry Editor Version 5.00\n").errors.empty());
}

// Each bad line as the third line of a script: one error there, no entry from it.
TEST(RegFileReader, ReportsEachBadLineWithItsNumber)
{
    for (const char* line :
         {"\"a\"=\"b\\n\"", "\"a\"=\"b", "\"a\"=\"b\" x", "\"a\"=dword:123456789", "\"a\"=dword:", "\"a\"=dword:x1",
          "\"a\"=hex:1,2,", "\"a\"=hex:123", "\"a\"=hex:01 02", "\"a\"=hex(z):00", "\"a\"=hex(2:00", "\"a\"=b",
          "\"a\"", "@", "a=\"b\"", "#x", "[HKEY_NOWHERE\\x]", "[HKEY_CLASSES_ROOT\\x", "[]"}) {
        const RegScriptContent read = readRegScript(std::string("REGEDIT4\r\n[HKEY_CLASSES_ROOT\\k]\r\n") + line + "\r\n");
        ASSERT_EQ(read.errors.size(), 1u) << line;
        EXPECT_EQ(read.errors[0].line, 3u) << line;
        EXPECT_EQ(read.entries.size(), 1u) << line;
    }

    EXPECT_EQ(readRegScript("").errors.at(0).line, 1u);
    EXPECT_EQ(readRegScript("REGEDIT5\n[HKEY_USERS\\x]").errors.at(0).line, 1u);
    EXPECT_EQ(readRegScript("REGEDIT4\n\n@=\"x\"").errors.at(0).line, 3u);
    // A value below a bad key line belongs to no key, not to the one before.
    EXPECT_EQ(readRegScript("REGEDIT4\n[HKEY_USERS\\a]\n[HKEY_X\\b]\n@=\"x\"").errors.size(), 2u);
    // A bad hex value is one error, whatever lines continue it; one continued
    // past the end is reported at the last line.
    EXPECT_EQ(readRegScript("REGEDIT4\n[HKEY_USERS\\x]\n\"a\"=hex:zz,\\\n 01,\\\n 02\n").errors.size(), 1u);
    EXPECT_EQ(readRegScript("REGEDIT4\n[HKEY_USERS\\x]\n\"a\"=hex:01,\\\n").errors.at(0).line, 3u);
    EXPECT_EQ(readRegScript("REGEDIT4\n[HKEY_USERS\\x]\n\"a\"=hex:01,\\\n02,\\\n\n").errors.at(0).line, 5u);
}

} // namespace
