// The register and un-register scripts as text: escaping, the worked example
// read back, the un-register name, the header check and the encoding the
// written scripts take.
#include "scripts/RegFileReader.h"
#include "scripts/RegScript.h"
#include "scripts/ScriptBuilder.h"
#include "text/Utf.h"

#include <gtest/gtest.h>

using namespace scripts;

namespace {

const char kZeroClsid[] = "{00000000-0000-0000-0000-000000000000}";

TEST(ScriptRules, MenuAndDescriptionAreEscapedAndReadBack)
{
    const ScriptFields fields{"{C}", "My \"Best\" AddIn", "C:\\Add-Ins\\ \"x\"\\", true, true};
    const std::string script = fillRegTemplate("REGEDIT4\r\n[HKEY_CLASSES_ROOT\\#Clsid]\r\n@=\"#MenuName\"\r\n"
                                               "\"D\"=\"#Description\"\r\n#SUPTDVER",
                                               fields);
    EXPECT_EQ(script, "REGEDIT4\r\n[HKEY_CLASSES_ROOT\\{C}]\r\n@=\"My \\\"Best\\\" AddIn\"\r\n"
                      "\"D\"=\"C:\\\\Add-Ins\\\\ \\\"x\\\"\\\\\"\r\n"
                      "\"SupportedSoftwareVersionGreaterThan\" = \"5.3.2\"");
    const RegScriptContent read = readRegScript(script);
    ASSERT_TRUE(read.errors.empty());
    ASSERT_EQ(read.entries.size(), 4u);
    EXPECT_EQ(read.entries[1].data, fields.menuName);
    EXPECT_EQ(read.entries[2].data, fields.description);
    EXPECT_EQ(read.entries[3].valueName, "SupportedSoftwareVersionGreaterThan");
    EXPECT_EQ(read.entries[3].data, "5.3.2");

    // A line break cannot end the value line and start a key of its own.
    const std::string injected = fillRegTemplate("REGEDIT4\r\n[HKEY_CLASSES_ROOT\\K]\r\n@=\"#MenuName\"",
                                                 {"", "x\"\r\n[HKEY_LOCAL_MACHINE\\Evil]\n@=\"", "", true, true});
    const RegScriptContent evil = readRegScript(injected);
    EXPECT_TRUE(evil.errors.empty());
    ASSERT_EQ(evil.entries.size(), 2u);
    EXPECT_EQ(evil.entries[1].data, "x\"  [HKEY_LOCAL_MACHINE\\Evil] @=\"");
}

TEST(ScriptRules, ANulInAFieldBecomesABlank)
{
    // The importer would end the whole script at it.
    EXPECT_EQ(escapeRegString(std::string("a\0b\r\nc", 6)), "a b  c");
}

TEST(ScriptRules, WorkedExampleReadsBackAsItsKeysAndValues)
{
    const std::string script =
        fillRegTemplate(builtInTemplate(), {kZeroClsid, "myAddInName", "This AddIn creates Geometry", true, true});
    EXPECT_EQ(script.size(), 711u);
    const RegScriptContent read = readRegScript(script);
    EXPECT_TRUE(read.errors.empty());
    ASSERT_EQ(read.entries.size(), 11u);
    const std::string key = std::string("HKEY_CLASSES_ROOT\\CLSID\\") + kZeroClsid;
    EXPECT_EQ(read.entries[0].keyPath, key);
    EXPECT_EQ(read.entries[1].data, "myAddInName");
    EXPECT_EQ(read.entries[3].data, "This AddIn creates Geometry");
    EXPECT_EQ(read.entries[10].keyPath, key + "\\Settings");
    EXPECT_EQ(read.entries[10].line, 12u);

    const RegScriptContent unReg = readRegScript(unRegScriptOf(script));
    EXPECT_TRUE(unReg.errors.empty());
    ASSERT_EQ(unReg.entries.size(), 11u);
    for (const RegEntry& entry : unReg.entries) EXPECT_TRUE(entry.keyDeleted) << entry.line;
}

TEST(ScriptRules, UnRegisterNameFollowsTheLastSeparatorOfEitherKind)
{
    EXPECT_EQ(unRegFileNameOf("C:/p/x.reg"), "C:/p/UnReg-x.reg");
    EXPECT_EQ(unRegFileNameOf("C:\\a/b\\c.reg"), "C:\\a/b\\UnReg-c.reg");
    EXPECT_EQ(unRegFileNameOf("C:\\a\\b/c.reg"), "C:\\a\\b/UnReg-c.reg");
    EXPECT_EQ(unRegFileNameOf("c.reg"), "UnReg-c.reg");
}

std::string utf16(bool littleEndian, const std::string& text)
{
    std::string wide = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char c : text) wide += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    return wide;
}

TEST(ScriptRules, RegistryScriptHeadersInAnsiAndUtf16)
{
    const std::string v5 = "Windows Registry Editor Version 5.00";
    EXPECT_TRUE(startsLikeRegistryScript("REGEDIT4\r\n[HKEY_CLASSES_ROOT\\x]"));
    EXPECT_TRUE(startsLikeRegistryScript(v5 + "\r\n"));
    EXPECT_TRUE(startsLikeRegistryScript(utf16(true, "REGEDIT4\r\n")));
    EXPECT_TRUE(startsLikeRegistryScript(utf16(false, "REGEDIT4")));
    // The longest header fits the bytes a caller is told to read.
    EXPECT_TRUE(startsLikeRegistryScript(utf16(true, v5 + "\r\n").substr(0, kScriptHeaderBytes)));

    EXPECT_FALSE(startsLikeRegistryScript(""));
    EXPECT_FALSE(startsLikeRegistryScript("REGEDIT"));
    EXPECT_FALSE(startsLikeRegistryScript(utf16(true, "REGEDIT4").substr(0, 17)));
    EXPECT_FALSE(startsLikeRegistryScript(utf16(true, "REGEDIT4").substr(2)));
    EXPECT_FALSE(startsLikeRegistryScript("regedit4"));
    EXPECT_FALSE(startsLikeRegistryScript("Hello, world"));
}

TEST(ScriptRules, TextPutInIsNeverFilledAgainAndReadsBackAsGiven)
{
    const ScriptFields fields{kZeroClsid, "Menu #SUPTDVER", "#Description #Clsid #INVCLSID", true, true};
    const std::string script = fillRegTemplate(builtInTemplate(), fields);
    const RegScriptContent read = readRegScript(script);
    EXPECT_TRUE(read.errors.empty());
    ASSERT_EQ(read.entries.size(), 11u);
    EXPECT_EQ(read.entries[1].data, fields.menuName);
    EXPECT_EQ(read.entries[3].data, fields.description);
    EXPECT_EQ(read.entries[10].valueName, "SupportedSoftwareVersionGreaterThan");
    // A placeholder word in the CLSID stays a word too.
    EXPECT_EQ(fillRegTemplate("[#Clsid]\r\n@=\"#MenuName\"", {"{#MenuName}", "m", "", true, true}),
              "[{#MenuName}]\r\n@=\"m\"");
}

TEST(ScriptRules, OnlyAnAnsiRegistryScriptIsATemplate)
{
    EXPECT_EQ(templateKindOf("REGEDIT4\r\n[HKEY_CLASSES_ROOT\\#Clsid]"), TemplateKind::AnsiScript);
    EXPECT_EQ(templateKindOf("Windows Registry Editor Version 5.00\r\n"), TemplateKind::AnsiScript);
    EXPECT_EQ(templateKindOf("REGEDIT4\r\n@=\"Caf\xE9\""), TemplateKind::AnsiScript);
    EXPECT_EQ(templateKindOf(utf16(true, "REGEDIT4\r\n")), TemplateKind::Utf16);
    EXPECT_EQ(templateKindOf(utf16(false, "Windows Registry Editor Version 5.00")), TemplateKind::Utf16);
    EXPECT_EQ(templateKindOf("\xFF\xFE"), TemplateKind::Utf16);
    EXPECT_EQ(templateKindOf("\xEF\xBB\xBFREGEDIT4\r\n"), TemplateKind::Utf8);
    EXPECT_EQ(templateKindOf(std::string("REGEDIT4\r\n\0", 11)), TemplateKind::Binary);
    EXPECT_EQ(templateKindOf(std::string("MZ\x90\0\3\0", 6)), TemplateKind::NotAScript);
    EXPECT_EQ(templateKindOf("[HKEY_CLASSES_ROOT\\#Clsid]"), TemplateKind::NotAScript);
    EXPECT_EQ(templateKindOf("regedit4"), TemplateKind::NotAScript);
    EXPECT_EQ(templateKindOf(""), TemplateKind::NotAScript);
}

// The lines of a written script: REGEDIT4 while every line fits it, else
// Version 5.00 in UTF-16 LE behind its mark.
TEST(ScriptRules, AWrittenScriptIsRegedit4UntilALineDoesNotFit)
{
    ScriptBuilder ascii;
    ascii.key("HKEY_CLASSES_ROOT\\A");
    EXPECT_TRUE(ascii.value({"N", classes::Value::ofText("x")}));
    EXPECT_FALSE(ascii.value({"a\nb", classes::Value::ofText("x")})); // no line carries it: nothing written
    ascii.deletedValue("");
    ascii.deletedKeys({"HKEY_CLASSES_ROOT\\B", "HKEY_CLASSES_ROOT\\C"});
    ascii.deletedKey("HKEY_CLASSES_ROOT\\D");
    EXPECT_EQ(ascii.file(), "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\A]\r\n\"N\"=\"x\"\r\n@=-\r\n"
                            "\r\n[-HKEY_CLASSES_ROOT\\B]\r\n[-HKEY_CLASSES_ROOT\\C]\r\n\r\n[-HKEY_CLASSES_ROOT\\D]\r\n");

    const auto utf16Text = [](const ScriptBuilder& script) {
        const std::string bytes = script.file();
        EXPECT_TRUE(text::startsWithUtf16Mark(bytes));
        return text::utf8FromUtf16Bytes(bytes.substr(text::kUtf16Mark.size()));
    };
    ScriptBuilder named;
    named.deletedKey("HKEY_CLASSES_ROOT\\\xC3\x9C");
    EXPECT_EQ(utf16Text(named), "Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_CLASSES_ROOT\\\xC3\x9C]\r\n");
    // ASCII, but REGEDIT4 reads a string type's hex in the code page.
    ScriptBuilder expand;
    expand.key("HKEY_CLASSES_ROOT\\A");
    expand.value({"", classes::Value::ofText("%P%", classes::ValueType::ExpandString)});
    EXPECT_FALSE(expand.regedit4());
    EXPECT_EQ(utf16Text(expand).rfind("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\A]\r\n@=hex(2):", 0), 0u);
    ScriptBuilder undo(ScriptBuilder::Encoding::Version5);
    undo.lines("\r\n[HKEY_CLASSES_ROOT\\A]\r\n");
    EXPECT_EQ(utf16Text(undo), "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\A]\r\n");
}

} // namespace
