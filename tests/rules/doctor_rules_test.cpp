// The doctor's verdicts from plain facts, its report text, the read-back of a
// merged script against a registry held in a map, and the cleanup script.
#include "MachineImage.h"
#include "doctor/Checklist.h"
#include "doctor/Report.h"
#include "doctor/Stale.h"
#include "scripts/ValueLines.h"
#include "scripts/HostCategories.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <utility>

using namespace doctor;

namespace {

ValueFact text(const std::string& value, bool expandable = false)
{
    return {true, expandable ? "REG_EXPAND_SZ" : "REG_SZ", true, expandable, value};
}

// A server value found where a full path says.
classes::ServerFile foundAt(const std::string& value, const std::string& file)
{
    classes::ServerFile s;
    s.state = classes::ServerState::Found;
    s.type = classes::ValueType::String;
    s.text = s.expanded = value;
    s.path = s.file = file;
    return s;
}

// A complete, healthy registration of the R6 host in the 64-bit view.
ClassFacts healthy()
{
    ClassFacts f;
    f.clsid = "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";
    f.in64 = true;
    f.inMachine = true;
    f.server.keyPresent = true;
    f.server.value = text("C:\\AddIns\\a.dll");
    f.server.loaded = foundAt("C:\\AddIns\\a.dll", "C:\\AddIns\\a.dll");
    f.server.image = PeImageInfo{PeMachine::X64, 0x8664, true};
    f.server.tables = PeTables{};
    f.server.tables->readable = true;
    f.server.tables->image = *f.server.image;
    f.server.tables->exports = {{1, "DllCanUnloadNow", ""}, {2, "DllGetClassObject", ""}};
    f.server.dependencies = DependencyWalk{3, 0, {}};
    f.threadingModel = text("Apartment");
    f.menuName = text("myAddInName");
    f.descriptionKey = true;
    f.implementedCategories = f.requiredCategories = {scripts::kR6Category};
    f.settingsKey = true;
    f.loadOnStartUp = text("1");
    f.type = text("Standard");
    return f;
}

// The status of each item, by key.
std::map<std::string, Status> statuses(const ClassFacts& facts, Host host = Host::Any)
{
    std::map<std::string, Status> out;
    for (const Item& item : judge(facts, host)) out[item.key] = item.status;
    return out;
}

// Every item passes but those named.
void expectOnly(const ClassFacts& facts, const std::map<std::string, Status>& expected, Host host = Host::Any)
{
    for (const auto& [key, status] : statuses(facts, host)) {
        const auto it = expected.find(key);
        EXPECT_EQ(status, it == expected.end() ? Status::Pass : it->second) << key;
    }
    for (const auto& [key, status] : expected) EXPECT_TRUE(statuses(facts, host).count(key)) << key;
}

TEST(DoctorRules, HealthyClassPassesInTheFixedOrder)
{
    std::vector<std::string> keys;
    for (const Item& item : judge(healthy(), Host::R6)) {
        keys.push_back(item.key);
        EXPECT_EQ(item.status, Status::Pass) << item.key << ": " << item.reason;
        EXPECT_EQ(item.reason.find('\n'), std::string::npos);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{kPresence, kHive, kServer, kMachine, kExports, kDependencies, kThreading,
                                              kMenu, kCategories, kSettings}));

    // A .NET class's server is the runtime's loader: its tables are not the add-in's.
    ClassFacts withAll = healthy();
    withAll.server.value = text("mscoree.dll");
    withAll.server.loaded = foundAt("mscoree.dll", "C:\\Windows\\System32\\mscoree.dll");
    withAll.dotNet = DotNetFacts{text("A.B"), text("A, Version=1.0.0.0"), text("file:///C:/x.dll"), "C:\\x.dll", true};
    withAll.progId = ProgIdFacts{"A.B", true, withAll.clsid, "A.B", ""};
    keys.clear();
    for (const Item& item : judge(withAll, Host::Any)) keys.push_back(item.key);
    EXPECT_EQ(keys, (std::vector<std::string>{kPresence, kHive, kServer, kMachine, kThreading, kDotNet, kMenu,
                                              kCategories, kSettings, kProgId}));
}

TEST(DoctorRules, ViewsAndHives)
{
    ClassFacts f = healthy();
    f.in32 = true;
    expectOnly(f, {});
    f.in64 = false;
    f.view = 32;
    f.server.image->machine = PeMachine::X86;
    expectOnly(f, {{kPresence, Status::Fail}});
    f.in32 = false;
    EXPECT_EQ(judge(f, Host::Any).size(), 1u); // nothing else to read

    f = healthy();
    f.inUser = true;
    expectOnly(f, {{kHive, Status::Warn}});
    EXPECT_NE(judge(f, Host::Any)[1].reason.find("per-user copy wins"), std::string::npos);
    f.inMachine = false;
    expectOnly(f, {{kHive, Status::Warn}});
    EXPECT_NE(judge(f, Host::Any)[1].reason.find("elevated host ignores it"), std::string::npos);
}

TEST(DoctorRules, ServerValueAndMachine)
{
    ClassFacts f = healthy();
    f.server.value = text("%SystemRoot%\\a.dll", true);
    f.server.loaded = foundAt("%SystemRoot%\\a.dll", "C:\\windows\\a.dll");
    f.server.loaded.expanded = "C:\\windows\\a.dll";
    expectOnly(f, {{kServer, Status::Warn}});
    EXPECT_NE(judge(f, Host::Any)[2].reason.find("expands to \"C:\\windows\\a.dll\""), std::string::npos);

    f = healthy();
    f.server.value = text("\"C:\\AddIns\\a.dll\"");
    f.server.loaded.quoted = true;
    expectOnly(f, {{kServer, Status::Warn}});

    f = healthy();
    f.server.loaded.state = classes::ServerState::NotFound;
    f.server.image.reset();
    f.server.tables.reset();
    f.server.dependencies.reset();
    expectOnly(f, {{kServer, Status::Fail}, {kMachine, Status::Fail}, {kExports, Status::Fail},
                   {kDependencies, Status::Fail}});
    f.server.loaded.state = classes::ServerState::Folder;
    EXPECT_NE(judge(f, Host::Any)[2].reason.find("a folder, not a file"), std::string::npos);
    // A bare name found along the search order only warns: the host decides.
    f.server.loaded = foundAt("LpBare.dll", "C:\\windows\\LpBare.dll");
    f.server.loaded.searched = true;
    f.server.loaded.foundBy = classes::FoundBy::WindowsFolder;
    f.server.image = PeImageInfo{PeMachine::X64, 0x8664, true};
    f.server.tables = healthy().server.tables;
    f.server.dependencies = healthy().server.dependencies;
    expectOnly(f, {{kServer, Status::Warn}});
    f.server.loaded.state = classes::ServerState::NotFound;
    f.server.loaded.text = "%X%\\a.dll";
    f.server.loaded.searched = false;
    EXPECT_NE(judge(f, Host::Any)[2].reason.find("REG_SZ is not expanded"), std::string::npos);

    f = healthy();
    f.server.value = {true, "REG_DWORD", false, false, ""};
    f.server.loaded.state = classes::ServerState::NotText;
    EXPECT_EQ(statuses(f)[kServer], Status::Fail);
    f.server.keyPresent = false;
    EXPECT_EQ(judge(f, Host::Any)[2].reason, "no InProcServer32 key");

    // A server that does not load in the view has no dependencies to follow;
    // one that is no PE image no tables either.
    const std::vector<std::pair<PeMachine, Status>> machines{
        {PeMachine::X86, Status::Fail}, {PeMachine::Other, Status::Fail}, {PeMachine::Arm64, Status::Warn}};
    for (const auto& [machine, status] : machines) {
        f = healthy();
        f.server.image->machine = machine;
        if (status == Status::Fail) f.server.dependencies.reset();
        expectOnly(f, status == Status::Fail
                          ? std::map<std::string, Status>{{kMachine, status}, {kDependencies, Status::Fail}}
                          : std::map<std::string, Status>{{kMachine, status}});
    }
    f = healthy();
    f.server.image->machine = PeMachine::NotPe;
    f.server.tables.reset();
    expectOnly(f, {{kMachine, Status::Fail}, {kExports, Status::Fail}, {kDependencies, Status::Fail}});
    EXPECT_EQ(judge(f, Host::Any)[4].reason, "not read: C:\\AddIns\\a.dll is not a PE image");
    f = healthy();
    f.server.image->isDll = false;
    expectOnly(f, {{kMachine, Status::Fail}, {kDependencies, Status::Fail}});
    f = healthy();
    f.view = 32; // an x64 DLL where a 32-bit host looks
    expectOnly(f, {{kMachine, Status::Fail}, {kDependencies, Status::Fail}});
}

TEST(DoctorRules, ThreadingMenuSettingsAndDotNet)
{
    ClassFacts f = healthy();
    f.threadingModel = text("both");
    expectOnly(f, {});
    f.threadingModel = text("Single");
    expectOnly(f, {{kThreading, Status::Warn}});
    f.threadingModel = {};
    expectOnly(f, {{kThreading, Status::Warn}});

    f = healthy();
    f.menuName = text("");
    expectOnly(f, {{kMenu, Status::Warn}});
    f = healthy();
    f.descriptionKey = false;
    expectOnly(f, {{kMenu, Status::Warn}});

    f = healthy();
    f.settingsKey = false;
    expectOnly(f, {{kSettings, Status::Fail}});
    f = healthy();
    f.type = {true, "REG_DWORD", false, false, ""};
    expectOnly(f, {{kSettings, Status::Fail}});
    f = healthy();
    f.supportedVersion = text("5.3.2");
    EXPECT_NE(judge(f, Host::Any)[9].reason.find("SupportedSoftwareVersionGreaterThan \"5.3.2\""), std::string::npos);

    f = healthy();
    f.dotNet = DotNetFacts{text("A.B"), text("A"), text("file:///C:/Some%20Dir/x.dll"), "C:\\Some Dir\\x.dll", false};
    expectOnly(f, {{kDotNet, Status::Fail}});
    f.dotNet->codeBaseExists = true;
    expectOnly(f, {});
    f.dotNet->codeBasePath.reset();
    expectOnly(f, {{kDotNet, Status::Fail}});
    f.dotNet->codeBase = {};
    f.dotNet->assembly = {};
    const std::vector<Item> items = judge(f, Host::Any);
    EXPECT_EQ(items[7].reason, "no Assembly; no CodeBase");
}

TEST(DoctorRules, ExportsAndDependencies)
{
    ClassFacts f = healthy();
    f.server.tables->exports.pop_back();
    expectOnly(f, {{kExports, Status::Fail}});
    EXPECT_EQ(judge(f, Host::Any)[4].reason, "no DllGetClassObject export: COM cannot get the class object");
    f = healthy();
    f.server.tables->exports.erase(f.server.tables->exports.begin());
    expectOnly(f, {{kExports, Status::Warn}});
    f = healthy();
    f.server.tables->readable = false;
    f.server.tables->problem = "the import directory outside the file";
    expectOnly(f, {{kExports, Status::Fail}, {kDependencies, Status::Fail}});
    EXPECT_EQ(judge(f, Host::Any)[5].reason, "not read: C:\\AddIns\\a.dll has the import directory outside the file");

    // Failures come before warnings; a long list is cut.
    f = healthy();
    f.server.dependencies->findings = {{false, "w1"}};
    expectOnly(f, {{kDependencies, Status::Warn}});
    EXPECT_EQ(judge(f, Host::Any)[5].reason, "w1");
    f.server.dependencies->findings = {{false, "w1"}, {true, "f1"}, {true, "f2"}, {true, "f3"}, {true, "f4"}, {true, "f5"}};
    expectOnly(f, {{kDependencies, Status::Fail}});
    EXPECT_EQ(judge(f, Host::Any)[5].reason, "f1; f2; f3; and 2 more");
    EXPECT_EQ(judge(healthy(), Host::Any)[5].reason, "3 modules, every import found and exported");
}

TEST(DoctorRules, CategoriesFollowTheHost)
{
    ClassFacts f = healthy();
    expectOnly(f, {}, Host::R6);
    expectOnly(f, {{kCategories, Status::Fail}}, Host::Older);
    f.implementedCategories = f.requiredCategories = {"{e357129a-db40-11d2-b783-0060b0f159ef}"};
    expectOnly(f, {}, Host::Older);
    expectOnly(f, {}, Host::Any);
    expectOnly(f, {{kCategories, Status::Fail}}, Host::R6);
    f.requiredCategories.clear();
    expectOnly(f, {{kCategories, Status::Fail}}, Host::Any);
    EXPECT_NE(judge(f, Host::Any)[8].reason.find("is not under Required Categories"), std::string::npos);
}

TEST(DoctorRules, ProgIdConsistency)
{
    ClassFacts f = healthy();
    f.progId = ProgIdFacts{"A.B.1", true, "{6b1f3c52-8e4d-4a9b-9c71-2d5e0a7f4b13}", "A.B.1", "A.B"};
    expectOnly(f, {});
    f.progId->classProgId = "Other.1";
    f.progId->classIndependentProgId = "";
    expectOnly(f, {{kProgId, Status::Warn}});
    f.progId->clsid = "{00000000-0000-0000-0000-000000000000}";
    expectOnly(f, {{kProgId, Status::Fail}});
    f.progId->keyPresent = false;
    expectOnly(f, {{kProgId, Status::Fail}});
}

TEST(DoctorRules, TargetsAndPaths)
{
    EXPECT_EQ(targetKindOf("{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}"), TargetKind::Clsid);
    EXPECT_EQ(targetKindOf("AddInRegSample.Server.1"), TargetKind::ProgId);
    EXPECT_EQ(targetKindOf("Sample.DLL"), TargetKind::Path);
    EXPECT_EQ(targetKindOf("C:x"), TargetKind::Path);
    EXPECT_EQ(targetKindOf("a/b"), TargetKind::Path);
    EXPECT_TRUE(text::isBracedGuid("{6b1f3c52-8E4D-4A9B-9C71-2D5E0A7F4B13}"));
    EXPECT_FALSE(text::isBracedGuid("{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B1G}"));
    EXPECT_FALSE(text::isBracedGuid("6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13"));

    EXPECT_TRUE(text::samePathSpelling("C:\\Add Ins\\A.dll", "c:/add ins//a.DLL"));
    EXPECT_FALSE(text::samePathSpelling("C:\\Add Ins\\A.dll", "C:\\Add Ins\\A.dl"));
    EXPECT_FALSE(text::samePathSpelling("\\\\server\\a.dll", "\\server\\a.dll"));
    EXPECT_TRUE(isDotNetLoader("C:\\Windows\\System32\\MSCOREE.DLL"));
    EXPECT_FALSE(isDotNetLoader("C:\\x\\notmscoree.dll"));
    EXPECT_EQ(machineName({PeMachine::Other, 0x1C4, true}), "machine 0x01C4");
}

TEST(DoctorRules, ReportIsOneLinePerItem)
{
    Checklist list;
    list.facts = healthy();
    list.facts.progId = ProgIdFacts{"A.B", true, list.facts.clsid, "", ""};
    list.facts.settingsKey = false;
    list.facts.menuName = text("My\r\nMenu"); // a line break in a value stays inside its line
    list.items = judge(list.facts, Host::Any);
    const std::string text = checklistText({list, list});
    EXPECT_NE(text.find("\"My<CR><LF>Menu\""), std::string::npos) << text;
    EXPECT_EQ(text.find("{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13} (A.B), read in the 64-bit view\r\n"), 0u);
    EXPECT_NE(text.find("\r\n  FAIL  Settings          no Settings key\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n  PASS  Presence by view  in the 64-bit view\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  Result: FAIL (1 failed, 0 warnings)\r\n\r\n{6B1F"), std::string::npos) << text;
    size_t lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 2 * (1 + list.items.size() + 1) + 1);
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
}

TEST(DoctorRules, CleanupScriptDeletesExactlyTheKeysItCanName)
{
    StaleClass a;
    a.key = "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{A}";
    for (const char* name : {"A.1", "B]x", "Kept.1"})
        a.progIds.push_back({name, std::string("HKEY_LOCAL_MACHINE\\Software\\Classes\\") + name, "",
                             classes::Hive::MachineClasses, classes::View::Bits64});
    a.progIds.back().kept = "holds shell\\open\\command";
    StaleClass b;
    b.key = "HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{B}";
    StaleClass kept;
    kept.key = "HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{C}";
    kept.kept = "holds LocalServer32";
    EXPECT_EQ(cleanupScript({a, kept, b}), "REGEDIT4\r\n\r\n"
                                     "[-HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{A}]\r\n"
                                     "[-HKEY_LOCAL_MACHINE\\Software\\Classes\\A.1]\r\n\r\n"
                                     "[-HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{B}]\r\n");
    for (const char* bad : {"", "A\r\n[-HKEY_X", "A ", "A\t", "A]"}) EXPECT_FALSE(scripts::fitsKeyLine(bad)) << bad;
    EXPECT_FALSE(scripts::fitsKeyLine(std::string("A\0B", 3)));
}

} // namespace

namespace {

// A machine in memory with stale registrations beside others that must stay.
class StaleImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        using classes::Hive;
        using classes::View;
        m.files.insert("C:\\LIVE\\A.DLL");
        addClass("{5A1E0000-0000-0000-0000-000000000001}", "C:\\gone\\a.dll", "Stale.One");
        addClass("{5A1E0000-0000-0000-0000-000000000002}", "C:\\gone\\b.dll", "Stale.Verb");
        m.key(Hive::MachineClasses, View::Bits64, "Stale.Verb\\shell\\open\\command");
        addClass("{5A1E0000-0000-0000-0000-000000000003}", "C:\\gone\\c.dll", "");
        m.setText(Hive::MachineClasses, View::Bits64, "CLSID\\{5A1E0000-0000-0000-0000-000000000003}\\LocalServer32",
                  "", "C:\\live\\a.exe");
        addClass("{5A1E0000-0000-0000-0000-000000000004}", "C:\\gone\\d.dll", "");
        m.key(Hive::MachineClasses, View::Bits64, "CLSID\\{5A1E0000-0000-0000-0000-000000000004}\\Settings").link = true;
        addClass("{5A1E0000-0000-0000-0000-000000000005}", "C:\\live\\a.dll", "Live.One");
        addClass("{5A1E0000-0000-0000-0000-000000000006}", "bare.dll", "");
        m.setValue(Hive::MachineClasses, View::Bits64, "CLSID\\{5A1E0000-0000-0000-0000-000000000001}", "Data",
                   classes::Value{classes::ValueType::Binary, {0, 1, 0xFF}});
        m.setText(Hive::MachineClasses, View::Bits64, "CLSID\\{5A1E0000-0000-0000-0000-000000000001}", "Two\r\nLines",
                  "x");
        m.key(Hive::MachineClasses, View::Bits64, "CLSID\\{5A1E0000-0000-0000-0000-000000000001}");
    }
    void addClass(const std::string& clsid, const std::string& server, const std::string& progId)
    {
        using classes::Hive;
        using classes::View;
        m.setText(Hive::MachineClasses, View::Bits64, "CLSID\\" + clsid + "\\InProcServer32", "", server);
        m.setText(Hive::MachineClasses, View::Bits64, "CLSID\\" + clsid + "\\InProcServer32", "ThreadingModel", "Both");
        if (progId.empty()) return;
        m.setText(Hive::MachineClasses, View::Bits64, progId + "\\CLSID", "", clsid);
        m.setText(Hive::MachineClasses, View::Bits64, progId, "", "a \"quoted\" name\\");
    }
    std::map<std::string, StaleClass> stale() const
    {
        std::map<std::string, StaleClass> byClsid;
        for (StaleClass& c : findStaleClasses(m.machine(), true, true)) byClsid[c.clsid.substr(34, 3)] = std::move(c);
        return byClsid;
    }
    testing_image::MachineImage m;
};

TEST_F(StaleImage, TheCleanupKeepsWhatServesAnotherRegistrationAndWhatItCannotRestore)
{
    auto byClsid = stale();
    EXPECT_EQ(byClsid.size(), 4u); // the live class and the bare name are not stale
    EXPECT_EQ(byClsid["001"].kept, "cannot be restored exactly: the value \"Two<CR><LF>Lines\" cannot be written in a script");
    EXPECT_EQ(byClsid["002"].kept, "");
    ASSERT_EQ(byClsid["002"].progIds.size(), 1u);
    EXPECT_EQ(byClsid["002"].progIds[0].kept, "holds shell\\open\\command");
    EXPECT_EQ(byClsid["003"].kept, "holds LocalServer32");
    EXPECT_EQ(byClsid["004"].kept, "holds a link: Settings");

    std::vector<StaleClass> all;
    for (auto& [id, c] : byClsid) all.push_back(c);
    const std::string cleanup = cleanupScript(all);
    EXPECT_EQ(cleanup, "REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{5A1E0000-0000-0000-0000-000000000002}]\r\n");

    // Without the value that cannot be written, the first class goes too, and
    // its undo holds every value with its type.
    m.key(classes::Hive::MachineClasses, classes::View::Bits64, "CLSID\\{5A1E0000-0000-0000-0000-000000000001}")
        .values.erase("TWO\r\nLINES");
    byClsid = stale();
    EXPECT_EQ(byClsid["001"].kept, "");
    const std::string undo = undoScript(m, {byClsid["001"]});
    ASSERT_EQ(undo.substr(0, 2), "\xFF\xFE");
    const std::string text = text::utf8FromUtf16Bytes(undo.substr(2) + std::string(2, '\0'));
    EXPECT_EQ(text, "Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{5A1E0000-0000-0000-0000-000000000001}]\r\n"
                    "\"Data\"=hex:00,01,ff\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{5A1E0000-0000-0000-0000-000000000001}\\InProcServer32]\r\n"
                    "@=\"C:\\\\gone\\\\a.dll\"\r\n"
                    "\"ThreadingModel\"=\"Both\"\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\Software\\Classes\\Stale.One]\r\n"
                    "@=\"a \\\"quoted\\\" name\\\\\"\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\Software\\Classes\\Stale.One\\CLSID]\r\n"
                    "@=\"{5A1E0000-0000-0000-0000-000000000001}\"\r\n");
    EXPECT_EQ(undoFileNameOf("C:/x/clean.reg"), "C:/x/Undo-clean.reg");
}

} // namespace
