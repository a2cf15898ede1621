// The installer formats' rules on scripts held in memory: a 32-bit add-in's
// keys named as its view names them, the instruction or type each value gets,
// the values each format cannot carry exactly refused by name, and the files
// the safe write may replace. The escaping is held to each format's reading
// by the fuzz target of the capture's scripts.
#include "scripts/Installer.h"
#include "scripts/RegFileReader.h"

#include <gtest/gtest.h>

using namespace scripts;

namespace {

InstallPlan planOf(const std::string& reg, const std::string& unReg, int bits = 64)
{
    return installPlanOf(readRegScript(reg), readRegScript("REGEDIT4\r\n" + unReg), bits);
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(InstallerRules, ThirtyTwoBitKeysAreNamedAsTheirViewNamesThem)
{
    using R = RegRoot;
    EXPECT_EQ(viewPathOf(R::ClassesRoot, "Wow6432Node\\CLSID\\{A}", 32), "CLSID\\{A}");
    EXPECT_EQ(viewPathOf(R::ClassesRoot, "My.ProgId\\CLSID", 32), "My.ProgId\\CLSID"); // shared by both views
    EXPECT_EQ(viewPathOf(R::CurrentUser, "Software\\Classes\\Wow6432Node\\Interface\\{I}", 32),
              "Software\\Classes\\Interface\\{I}");
    EXPECT_EQ(viewPathOf(R::LocalMachine, "Software\\Wow6432Node\\Vendor", 32), "Software\\Vendor");
    // Keys only the 64-bit view has: a 32-bit installer cannot name them.
    EXPECT_EQ(viewPathOf(R::ClassesRoot, "CLSID\\{A}", 32), std::nullopt);
    EXPECT_EQ(viewPathOf(R::LocalMachine, "Software\\Vendor", 32), std::nullopt);
    EXPECT_EQ(viewPathOf(R::ClassesRoot, "CLSID\\{A}", 64), "CLSID\\{A}");

    const InstallPlan plan = planOf("REGEDIT4\r\n[HKEY_CLASSES_ROOT\\CLSID\\{A}]\r\n@=\"x\"\r\n", "", 32);
    ASSERT_EQ(plan.problems.size(), 1u);
    EXPECT_TRUE(has(plan.problems[0], "64-bit registry only")) << plan.problems[0];
}

// The Wow6432Node a 32-bit per-user registration made: the installer deletes
// the class keys it wrote, then what they leave empty, the Wow6432Node by
// its 64-bit name; WiX, which cannot delete a key only if empty, the class key.
TEST(InstallerRules, PerUserWow6432NodeIsRemovedThroughWhatWasWrittenBelowIt)
{
    const std::string user = "HKEY_CURRENT_USER\\Software\\Classes\\";
    const InstallPlan plan = planOf("REGEDIT4\r\n[" + user + "Wow6432Node\\CLSID\\{A}\\InProcServer32]\r\n@=\"x\"\r\n[" +
                                        user + "My.ProgId]\r\n@=\"y\"\r\n",
                                    "[-" + user + "My.ProgId]\r\n[-" + user + "Wow6432Node]\r\n", 32);
    ASSERT_TRUE(plan.problems.empty()) << plan.problems[0];
    const InstallerText nsis = nsisIncludeOf(plan, {"My.dll", ""});
    EXPECT_TRUE(has(nsis.bytes, "  DeleteRegKey HKCU \"Software\\Classes\\My.ProgId\"\r\n"
                                "  DeleteRegKey HKCU \"Software\\Classes\\CLSID\\{A}\"\r\n"
                                "  DeleteRegKey /ifempty HKCU \"Software\\Classes\\CLSID\"\r\n"
                                "  DeleteRegKey /ifempty HKCU64 \"Software\\Classes\\Wow6432Node\"\r\n"))
        << nsis.bytes;
    const InstallerText wix = wixFragmentOf(plan, {"My.dll", ""});
    EXPECT_TRUE(has(wix.bytes, "Key=\"Software\\Classes\\CLSID\\{A}\" />")) << wix.bytes;
    EXPECT_FALSE(has(wix.bytes, "Wow6432Node")) << wix.bytes;
}

TEST(InstallerRules, EachValueGetsTheInstructionOfItsType)
{
    // Hex of a string type in an ANSI script is text of the code page.
    const std::string reg = "REGEDIT4\r\n"
                            "[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InProcServer32]\r\n"
                            "@=\"C:\\\\Build\\\\My.dll\"\r\n"
                            "\"Path\"=hex(2):25,41,25,00\r\n"
                            "\"Count\"=dword:ffffffff\r\n"
                            "\"Bytes\"=hex:01,ab\r\n"
                            "\"List\"=hex(7):61,00,62,00,00\r\n"
                            "[HKEY_CLASSES_ROOT\\CLSID\\{A}\\Implemented Categories\\{C}]\r\n";
    const InstallPlan plan = planOf(reg, "[-HKEY_CLASSES_ROOT\\CLSID\\{A}]\r\n[HKEY_CLASSES_ROOT\\X]\r\n\"v\"=-\r\n");
    const InstalledFile file{"My.dll", "C:\\Build\\My.dll"};

    const InstallerText nsis = nsisIncludeOf(plan, file);
    ASSERT_TRUE(nsis.problems.empty()) << nsis.problems[0];
    for (const char* line :
         {"  SetRegView 64\r\n",
          "  WriteRegStr HKCR \"CLSID\\{A}\\InProcServer32\" \"\" \"$INSTDIR\\My.dll\"\r\n",
          "  WriteRegExpandStr HKCR \"CLSID\\{A}\\InProcServer32\" \"Path\" \"%A%\"\r\n",
          "  WriteRegDWORD HKCR \"CLSID\\{A}\\InProcServer32\" \"Count\" 0xFFFFFFFF\r\n",
          "  WriteRegBin HKCR \"CLSID\\{A}\\InProcServer32\" \"Bytes\" 01AB\r\n",
          "  WriteRegMultiStr /REGEDIT5 HKCR \"CLSID\\{A}\\InProcServer32\" \"List\" 61000000620000000000\r\n",
          "  DeleteRegValue HKCR \"CLSID\\{A}\\Implemented Categories\\{C}\" \"AddInReg.EmptyKey\"\r\n",
          "  DeleteRegKey HKCR \"CLSID\\{A}\"\r\n", "  DeleteRegValue HKCR \"X\" \"v\"\r\n", "  SetRegView lastused\r\n"})
        EXPECT_TRUE(has(nsis.bytes, line)) << line << nsis.bytes;
    EXPECT_TRUE(startsLikeOutputOf(OutputFormat::Nsis, nsis.bytes));
    EXPECT_FALSE(startsLikeOutputOf(OutputFormat::Wix, nsis.bytes));

    // WiX: the value "v" the un-register script deletes is not written, which
    // the Windows Installer cannot delete by itself.
    InstallPlan written = plan;
    written.removals.pop_back();
    const InstallerText wix = wixFragmentOf(written, file);
    ASSERT_TRUE(wix.problems.empty()) << wix.problems[0];
    for (const char* part :
         {"<Component Id=\"My\" Bitness=\"always64\">", "<File Id=\"My_dll\" Source=\"My.dll\" KeyPath=\"yes\" />",
          "<RegistryKey Root=\"HKLM\" Key=\"Software\\Classes\\CLSID\\{A}\\InProcServer32\">",
          "<RegistryValue Type=\"string\" Value=\"[#My_dll]\" />",
          "<RegistryValue Name=\"Path\" Type=\"expandable\" Value=\"%A%\" />",
          "<RegistryValue Name=\"Count\" Type=\"integer\" Value=\"-1\" />",
          "<RegistryValue Name=\"Bytes\" Type=\"binary\" Value=\"01AB\" />",
          "<MultiStringValue Value=\"a\" />\r\n            <MultiStringValue Value=\"b\" />",
          "Key=\"Software\\Classes\\CLSID\\{A}\\Implemented Categories\\{C}\" ForceCreateOnInstall=\"yes\" />",
          "<RemoveRegistryKey Action=\"removeOnUninstall\" Root=\"HKLM\" Key=\"Software\\Classes\\CLSID\\{A}\" />"})
        EXPECT_TRUE(has(wix.bytes, part)) << part << "\n" << wix.bytes;
    EXPECT_FALSE(wixFragmentOf(plan, file).problems.empty());
}

TEST(InstallerRules, ValuesAFormatCannotCarryExactlyAreNamed)
{
    const std::string reg = "REGEDIT4\r\n[HKEY_CLASSES_ROOT\\K]\r\n"
                            "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                            "\"One\"=hex(7):61,00,00\r\n"
                            "\"Empty\"=\"\"\r\n"
                            "\"Nul\"=hex(1):61,00,62,00\r\n"
                            "\"Bell\"=\"a\x07\"\r\n";
    const InstallPlan plan = planOf(reg, "");
    const InstallerText nsis = nsisIncludeOf(plan, {"My.dll", ""});
    const InstallerText wix = wixFragmentOf(plan, {"My.dll", ""});
    EXPECT_TRUE(nsis.bytes.empty());
    EXPECT_TRUE(wix.bytes.empty());
    // NSIS: the REG_QWORD, the string with a NUL inside, the bell; WiX also the
    // one-string REG_MULTI_SZ and the empty string.
    EXPECT_EQ(nsis.problems.size(), 3u);
    EXPECT_EQ(wix.problems.size(), 5u);
    for (const std::string& p : wix.problems) EXPECT_TRUE(has(p, "of \"HKEY_CLASSES_ROOT\\K\"")) << p;
}

} // namespace
