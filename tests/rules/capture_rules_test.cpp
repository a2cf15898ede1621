// The captured registration's rules on keys held in memory: where each key
// goes for a bitness and hive, the server's path put in, the encoding
// chosen, and the un-register plan against a registry that already holds
// some of the keys. The scripts are read back with the REGEDIT4 reader.
#include "scripts/CapturedRegistration.h"
#include "scripts/RegFileReader.h"
#include "text/Utf.h"

#include <gtest/gtest.h>

#include <set>

using namespace scripts;

namespace {

classes::NamedValue text(const std::string& name, const std::string& value,
                          classes::ValueType type = classes::ValueType::String)
{
    return {name, classes::Value::ofText(value, type)};
}

std::string fullName(CapturedRoot root, const std::string& path, const CaptureTarget& target)
{
    const std::optional<ScriptKey> key = targetKeyOf(root, path, target);
    return key ? key->fullName() : "(left out)";
}

TEST(CaptureRules, KeysGoToTheTargetsClasses)
{
    const CaptureTarget machine64{64, false};
    const CaptureTarget user64{64, true};
    const CaptureTarget machine32{32, false};
    const CaptureTarget user32{32, true};
    // Any predefined key's classes are the target's classes.
    for (const auto& [root, path] : {std::pair{CapturedRoot::ClassesRoot, "CLSID\\{A}"},
                                     std::pair{CapturedRoot::LocalMachine, "SOFTWARE\\classes\\CLSID\\{A}"},
                                     std::pair{CapturedRoot::CurrentUser, "Software\\Classes\\CLSID\\{A}"}}) {
        EXPECT_EQ(fullName(root, path, machine64), "HKEY_CLASSES_ROOT\\CLSID\\{A}");
        EXPECT_EQ(fullName(root, path, user64), "HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{A}");
        EXPECT_EQ(fullName(root, path, machine32), "HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{A}");
        EXPECT_EQ(fullName(root, path, user32), "HKEY_CURRENT_USER\\Software\\Classes\\Wow6432Node\\CLSID\\{A}");
    }
    // Only the redirected class keys move for 32 bits; a ProgID or a type library is shared.
    EXPECT_EQ(fullName(CapturedRoot::ClassesRoot, "My.ProgId\\CLSID", machine32), "HKEY_CLASSES_ROOT\\My.ProgId\\CLSID");
    EXPECT_EQ(fullName(CapturedRoot::ClassesRoot, "TypeLib\\{T}", user32),
              "HKEY_CURRENT_USER\\Software\\Classes\\TypeLib\\{T}");
    EXPECT_EQ(fullName(CapturedRoot::ClassesRoot, "interface\\{I}", machine32),
              "HKEY_CLASSES_ROOT\\Wow6432Node\\interface\\{I}");
    EXPECT_EQ(fullName(CapturedRoot::ClassesRoot, "CLSIDX\\{A}", machine32), "HKEY_CLASSES_ROOT\\CLSIDX\\{A}");
    // Written into the other view (RegisterTypeLib's interfaces): the view the DLL's bitness does not read.
    EXPECT_EQ(fullName(CapturedRoot::OtherViewClasses, "Interface\\{I}", machine64),
              "HKEY_CLASSES_ROOT\\Wow6432Node\\Interface\\{I}");
    EXPECT_EQ(fullName(CapturedRoot::OtherViewClasses, "Interface\\{I}", user32),
              "HKEY_CURRENT_USER\\Software\\Classes\\Interface\\{I}");
    EXPECT_EQ(fullName(CapturedRoot::OtherViewClasses, "TypeLib\\{T}", machine64), "HKEY_CLASSES_ROOT\\TypeLib\\{T}");
    // "Software\ClassesX" is no classes key.
    EXPECT_EQ(fullName(CapturedRoot::LocalMachine, "Software\\ClassesX", machine64),
              "HKEY_LOCAL_MACHINE\\Software\\ClassesX");
    // The machine's software for 32 bits is redirected; the user's is shared.
    EXPECT_EQ(fullName(CapturedRoot::LocalMachine, "Software\\Vendor", machine32),
              "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Vendor");
    EXPECT_EQ(fullName(CapturedRoot::CurrentUser, "Software\\Vendor", user32), "HKEY_CURRENT_USER\\Software\\Vendor");
    // A per-user script holds no key of the machine or of other users.
    EXPECT_EQ(fullName(CapturedRoot::LocalMachine, "Software\\Vendor", user64), "(left out)");
    EXPECT_EQ(fullName(CapturedRoot::Users, ".DEFAULT\\Software", user64), "(left out)");
}

TEST(CaptureRules, ServerPathIsReplacedInEverySpelling)
{
    const std::vector<std::string> spellings{"C:\\Build\\AddIn.dll", "C:\\BUILD~1\\ADDIN.DLL"};
    const std::string server = "D:\\AddIns\\AddIn.dll";
    const auto replaced = [&](const classes::NamedValue& v) {
        return withServerReplaced(v.value, spellings, server).leadingText();
    };
    EXPECT_EQ(replaced(text("", "c:\\build\\addin.dll")), server);
    EXPECT_EQ(replaced(text("", "\"C:\\build~1\\addin.dll\" /x")), "\"" + server + "\" /x");
    EXPECT_EQ(replaced(text("", "C:\\Build\\AddIn.dllx;C:\\Build\\AddIn.dll", classes::ValueType::ExpandString)),
              server + "x;" + server);
    EXPECT_EQ(replaced(text("", "C:\\Build\\Other.dll")), "C:\\Build\\Other.dll");
    // Every string of a REG_MULTI_SZ, its NULs kept.
    classes::Value multi{classes::ValueType::MultiString, {}};
    const std::string bytes = text::utf16Bytes(std::u16string(u"C:\\Build\\AddIn.dll\0b\0\0", 22));
    multi.data.assign(bytes.begin(), bytes.end());
    const classes::Value out = withServerReplaced(multi, spellings, server);
    EXPECT_EQ(std::string(out.data.begin(), out.data.end()),
              text::utf16Bytes(text::utf16FromUtf8(server)) + text::utf16Bytes(std::u16string(u"\0b\0\0", 4)));
    // Binary data and an unpaired surrogate stay as they are.
    const classes::Value binary{classes::ValueType::Binary, {'C', ':', '\\'}};
    EXPECT_EQ(withServerReplaced(binary, {"C:\\"}, server).data, binary.data);
    classes::Value broken{classes::ValueType::String, {0x00, 0xD8, 'C', 0, 0, 0}};
    EXPECT_EQ(withServerReplaced(broken, {"C"}, server).data, broken.data);
}

// The sample's capture, with what a registry may already hold.
std::vector<CapturedKey> sampleCapture()
{
    return {
        {CapturedRoot::ClassesRoot, "CLSID", {}, true},
        {CapturedRoot::ClassesRoot, "CLSID\\{A}", {text("", "Sample")}, true},
        {CapturedRoot::ClassesRoot, "CLSID\\{A}\\Implemented Categories", {}, true},
        {CapturedRoot::ClassesRoot, "CLSID\\{A}\\Implemented Categories\\{C}", {}, false},
        {CapturedRoot::ClassesRoot, "CLSID\\{A}\\InProcServer32", {text("", "C:\\b\\a.dll"), text("T", "Both")}, false},
        {CapturedRoot::ClassesRoot, "Component Categories", {}, true},
        {CapturedRoot::ClassesRoot, "Component Categories\\{C}", {text("409", "Shared")}, false},
    };
}

TEST(CaptureRules, RegisterScriptHoldsWhatWasWrittenAndReadsBack)
{
    const CapturePlan plan = planCapture(sampleCapture(), {64, false}, {"C:\\b\\a.dll"}, "D:\\a.dll");
    EXPECT_TRUE(plan.problems.empty());
    const std::string script = registerScriptOf(plan, "\r\n[HKEY_CLASSES_ROOT\\CLSID\\{A}\\Settings]\r\n");
    EXPECT_EQ(script, "REGEDIT4\r\n\r\n"
                      "[HKEY_CLASSES_ROOT\\CLSID\\{A}]\r\n@=\"Sample\"\r\n\r\n"
                      "[HKEY_CLASSES_ROOT\\CLSID\\{A}\\Implemented Categories\\{C}]\r\n\r\n"
                      "[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InProcServer32]\r\n@=\"D:\\\\a.dll\"\r\n\"T\"=\"Both\"\r\n\r\n"
                      "[HKEY_CLASSES_ROOT\\Component Categories\\{C}]\r\n\"409\"=\"Shared\"\r\n"
                      "\r\n[HKEY_CLASSES_ROOT\\CLSID\\{A}\\Settings]\r\n");
    const RegScriptContent read = readRegScript(script, {});
    EXPECT_TRUE(read.errors.empty());
    EXPECT_EQ(read.entries.size(), 9u);
}

TEST(CaptureRules, WhatRegedit4CannotCarryGoesToUtf16)
{
    std::vector<CapturedKey> keys{{CapturedRoot::ClassesRoot, "CLSID\\{A}\\InProcServer32",
                                   {text("", "%ProgramFiles%\\a.dll", classes::ValueType::ExpandString)}, false}};
    std::string script = registerScriptOf(planCapture(keys, {64, false}, {}, ""));
    ASSERT_EQ(script.substr(0, 2), std::string("\xFF\xFE", 2));
    RegScriptContent read = readRegScript(script, {});
    ASSERT_EQ(read.entries.size(), 2u);
    EXPECT_EQ(read.entries[1].type, 2u);
    EXPECT_EQ(read.entries[1].stored, text::utf16BytesFromUtf8("%ProgramFiles%\\a.dll"));

    keys = {{CapturedRoot::ClassesRoot, "CLSID\\{A}", {text("", "Zeile\r\nzwei"), text("\xC3\x9C", "x")}, false}};
    script = registerScriptOf(planCapture(keys, {64, false}, {}, ""));
    read = readRegScript(script, {});
    ASSERT_EQ(read.entries.size(), 3u);
    EXPECT_EQ(read.entries[1].stored, text::utf16BytesFromUtf8("Zeile\r\nzwei"));
    EXPECT_EQ(read.entries[2].valueName, "\xC3\x9C");

    // Every type by its number in hex, as the importer reads it (REG_QWORD is hex(b)), with its bytes.
    keys = {{CapturedRoot::ClassesRoot, "CLSID\\{A}", {{"Q", {classes::ValueType::Qword, {1, 0, 0, 0, 0, 0, 0, 0}}},
                                                        {"T", {static_cast<classes::ValueType>(0x1234), {7}}}},
             false}};
    script = registerScriptOf(planCapture(keys, {64, false}, {}, ""));
    EXPECT_NE(script.find("\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"), std::string::npos) << script;
    read = readRegScript(script, {});
    ASSERT_EQ(read.entries.size(), 3u);
    EXPECT_EQ(read.entries[1].type, 11u);
    EXPECT_EQ(read.entries[2].type, 0x1234u);
    EXPECT_EQ(read.entries[2].stored, std::string(1, '\x07'));

    // A name no script can carry is a problem, not a changed name.
    keys = {{CapturedRoot::ClassesRoot, "CLSID\\{A}", {text("a\nb", "x")}, false},
            {CapturedRoot::ClassesRoot, "B]", {}, false}};
    EXPECT_EQ(planCapture(keys, {64, false}, {}, "").problems.size(), 2u);
}

TEST(CaptureRules, UnRegisterDeletesOnlyWhatWasNotThere)
{
    // The registry holds CLSID, the class key with its name, and the shared category.
    const std::set<std::string> keys{"CLSID", "CLSID\\{A}", "Component Categories", "Component Categories\\{C}"};
    const std::set<std::string> values{"CLSID\\{A}|", "Component Categories\\{C}|409"};
    const ExistingKeys existing{
        [&](RegRoot, const std::string& path) { return path.empty() || keys.contains(path); },
        [&](RegRoot, const std::string& path, const std::string& name) { return values.contains(path + "|" + name); }};
    std::vector<CapturedKey> capture = sampleCapture();
    capture[1].values.push_back(text("Added", "x"));
    const CapturePlan plan = planCapture(capture, {64, false}, {}, "");
    EXPECT_EQ(unRegisterScriptOf(plan, existing, "\r\n[-HKEY_CLASSES_ROOT\\CLSID\\{A}\\Settings]\r\n"),
              "REGEDIT4\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{A}]\r\n\"Added\"=-\r\n\r\n"
              "[-HKEY_CLASSES_ROOT\\CLSID\\{A}\\Implemented Categories]\r\n\r\n"
              "[-HKEY_CLASSES_ROOT\\CLSID\\{A}\\InProcServer32]\r\n"
              "\r\n[-HKEY_CLASSES_ROOT\\CLSID\\{A}\\Settings]\r\n");

    // Nothing there before: the topmost new keys go, nothing below them again.
    const ExistingKeys empty{[](RegRoot, const std::string& path) { return path.empty(); },
                             [](RegRoot, const std::string&, const std::string&) { return false; }};
    EXPECT_EQ(unRegisterScriptOf(plan, empty), "REGEDIT4\r\n\r\n[-HKEY_CLASSES_ROOT\\CLSID]\r\n\r\n"
                                               "[-HKEY_CLASSES_ROOT\\Component Categories]\r\n");
}

// The classes key itself, captured as the parent of what a DLL wrote below
// HKEY_LOCAL_MACHINE\Software\Classes, is named without a trailing "\" and
// never deleted: "[-HKEY_CURRENT_USER\Software\Classes\]" would take every
// per-user class with it.
TEST(CaptureRules, TheClassesKeyItselfIsNeverDeleted)
{
    const std::vector<CapturedKey> keys{{CapturedRoot::LocalMachine, "Software", {}, true},
                                        {CapturedRoot::LocalMachine, "Software\\Classes", {}, true},
                                        {CapturedRoot::LocalMachine, "Software\\Classes\\CLSID\\{A}", {}, false}};
    const CapturePlan plan = planCapture(keys, {64, true}, {}, "");
    ASSERT_EQ(plan.keys.size(), 2u);
    EXPECT_EQ(plan.keys[0].key.fullName(), "HKEY_CURRENT_USER\\Software\\Classes");
    const ExistingKeys existing{
        [](RegRoot, const std::string& path) { return path == "Software\\Classes" || path == "Software"; },
        [](RegRoot, const std::string&, const std::string&) { return false; }};
    // The import makes CLSID too, which was not there: it goes, the classes key stays.
    EXPECT_EQ(unRegisterScriptOf(plan, existing),
              "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Classes\\CLSID]\r\n");
    EXPECT_EQ(planCapture({{CapturedRoot::ClassesRoot, "", {text("", "x")}, true}}, {64, false}, {}, "")
                  .keys[0]
                  .key.fullName(),
              "HKEY_CLASSES_ROOT");
}

TEST(CaptureRules, TemplateKeysFollowTheTarget)
{
    const std::string script = "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\CLSID\\{A}\\Settings]\r\n\"Type\"=\"1\"\r\n"
                               "[-HKEY_CLASSES_ROOT\\CLSID\\{A}] ; gone\r\n[HKEY_LOCAL_MACHINE\\Software\\X]\r\n"
                               "[HKEY_CLASSES_ROOTX\\Y]\n";
    EXPECT_EQ(bodyForTarget(script, {32, true}),
              "\r\n[HKEY_CURRENT_USER\\Software\\Classes\\Wow6432Node\\CLSID\\{A}\\Settings]\r\n\"Type\"=\"1\"\r\n"
              "[-HKEY_CURRENT_USER\\Software\\Classes\\Wow6432Node\\CLSID\\{A}] ; gone\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\X]\r\n[HKEY_CLASSES_ROOTX\\Y]\n");
    EXPECT_EQ(bodyForTarget(script, {64, false}), script.substr(10));
}

// What the seed put in the scratch key is not the DLL's: a value left as it
// was goes, and a key with nothing changed; what the DLL added or changed
// stays, and a value outside the classes is named for the report.
TEST(CaptureRules, OnlyWhatTheDllChangedInTheSeedStays)
{
    const std::string crypto = "Software\\Microsoft\\Cryptography";
    const std::vector<CapturedKey> seed{
        {CapturedRoot::LocalMachine, "Software", {}, true},
        {CapturedRoot::LocalMachine, crypto, {text("MachineGuid", "{1}")}, true},
        {CapturedRoot::LocalMachine, crypto + "\\Defaults", {text("", "d")}, false},
        {CapturedRoot::CurrentUser, "Environment", {text("TEMP", "C:\\t")}, false},
    };
    std::vector<CapturedKey> after = seed;
    after[3].values = {text("temp", "C:\\t"), text("Vendor", "v")}; // a name in another case is the same value
    after[1].values = {text("MachineGuid", "{2}")};
    after.push_back({CapturedRoot::LocalMachine, "Software\\Vendor", {text("Path", "C:\\v")}, false});
    after.push_back({CapturedRoot::ClassesRoot, "CLSID\\{A}", {text("", "A")}, false});
    const std::vector<CapturedKey> kept = withoutSeed(after, seed);
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept[0].path, crypto);
    ASSERT_EQ(kept[0].values.size(), 1u); // changed
    EXPECT_EQ(kept[1].path, "Environment");
    ASSERT_EQ(kept[1].values.size(), 1u);
    EXPECT_EQ(kept[1].values[0].name, "Vendor");
    EXPECT_EQ(kept[2].path, "Software\\Vendor");
    EXPECT_EQ(kept[3].path, "CLSID\\{A}");

    const CapturePlan plan = planCapture(kept, {}, {}, "");
    EXPECT_EQ(valuesOutsideClasses(plan),
              (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\" + crypto + " \"MachineGuid\"",
                                        "HKEY_CURRENT_USER\\Environment \"Vendor\"",
                                        "HKEY_LOCAL_MACHINE\\Software\\Vendor \"Path\""}));
    EXPECT_EQ(registerScriptOf(plan).find("[HKEY_LOCAL_MACHINE\\Software]"), std::string::npos);
}

} // namespace
