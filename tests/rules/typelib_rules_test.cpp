// The type-library rules on registry images: which version and platform key
// LoadRegTypeLib takes, what each missing part is named with, and how the
// interfaces of the coclass are judged. The system's side of the same cases
// is held against the doctor in typelib_test.
#include "MachineImage.h"
#include "doctor/Checklist.h"
#include "doctor/Doctor.h"
#include "doctor/Stale.h"

#include <gtest/gtest.h>

using namespace doctor;
using classes::Hive;
using classes::View;

namespace {

const std::string kLib = "{7A000000-0000-0000-0000-000000000001}";
const std::string kClass = "{7A000000-0000-0000-0000-000000000002}";
const std::string kDual = "{7A000000-0000-0000-0000-000000000003}";
const std::string kFile = "C:\\AddIns\\A.dll";

class TypeLibImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        m.files.insert("C:\\ADDINS\\A.DLL");
        m.files.insert("C:\\WINDOWS\\SYSTEM32\\OLEAUT32.DLL");
        TypeLibFile file;
        file.result = 0;
        file.libid = kLib;
        file.major = 1;
        file.minor = 2;
        file.sysKind = 3;
        file.interfaces = {kDual};
        file.coclasses = {{kClass, {{kDual, "IDual", true, true, true}}}};
        m.typeLibs["C:\\ADDINS\\A.DLL"] = file;
        m.setText(Hive::MachineClasses, View::Bits64, "CLSID\\" + kClass + "\\InProcServer32", "", kFile);
        m.setText(Hive::MachineClasses, View::Bits64, "CLSID\\" + kClass + "\\TypeLib", "", kLib);
        m.setText(Hive::MachineClasses, View::Bits64, "CLSID\\" + std::string(kTypeLibMarshaller) + "\\InProcServer32",
                  "", "C:\\Windows\\System32\\oleaut32.dll");
        interfaceKey(View::Bits64, "1.2");
    }
    void interfaceKey(View view, const std::string& version)
    {
        m.setText(Hive::MachineClasses, view, "Interface\\" + kDual + "\\ProxyStubClsid32", "", kTypeLibMarshaller);
        m.setText(Hive::MachineClasses, view, "Interface\\" + kDual + "\\TypeLib", "", kLib);
        m.setText(Hive::MachineClasses, view, "Interface\\" + kDual + "\\TypeLib", "Version", version);
    }
    void library(const std::string& version, const std::string& platform, const std::string& file = kFile,
                 const std::string& locale = "0")
    {
        m.setText(Hive::MachineClasses, View::Bits64, "TypeLib\\" + kLib + "\\" + version + "\\" + locale + "\\" + platform,
                  "", file);
    }
    std::pair<Item, Item> items(const std::string& classVersion = "")
    {
        if (!classVersion.empty())
            m.setText(Hive::MachineClasses, View::Bits64, "CLSID\\" + kClass + "\\Version", "", classVersion);
        const ClassFacts facts = checkClass(m.machine(), {kClass, "", 0}, kClass, Host::Any).facts;
        std::vector<Item> all = judge(facts, Host::Any);
        Item typeLib;
        Item interfaces;
        for (const Item& item : all) {
            if (item.key == kTypeLib) typeLib = item;
            if (item.key == kInterfaces) interfaces = item;
        }
        return {typeLib, interfaces};
    }
    testing_image::MachineImage m;
};

TEST_F(TypeLibImage, TheVersionAndPlatformLoadRegTypeLibTakes)
{
    library("1.2", "win64");
    auto [typeLib, interfaces] = items("1.0");
    EXPECT_EQ(typeLib.status, Status::Pass) << typeLib.reason; // a higher minor meets 1.0
    EXPECT_EQ(interfaces.status, Status::Pass) << interfaces.reason;
    EXPECT_EQ(interfaces.reason, "marshallable: IDual by the type-library marshaller");

    typeLib = items("1.3").first; // no minor as high
    EXPECT_EQ(typeLib.status, Status::Fail);
    EXPECT_EQ(typeLib.reason, "TypeLib\\" + kLib + " has no version 1.3 or a higher minor one (registered: 1.2): "
                              "LoadRegTypeLib answers TYPE_E_LIBNOTREGISTERED (0x8002801D)");
    typeLib = items("2.0").first;
    EXPECT_EQ(typeLib.status, Status::Fail);
}

TEST_F(TypeLibImage, EachMissingPartIsNamed)
{
    EXPECT_EQ(items().first.reason, "TypeLib\\" + kLib + " is not registered: LoadRegTypeLib answers "
                                    "TYPE_E_LIBNOTREGISTERED (0x8002801D)");
    library("1.2", "win32", kFile, "409");
    EXPECT_EQ(items().first.reason, "TypeLib\\" + kLib + "\\1.2 has no locale key 0 (only 409): LoadRegTypeLib "
                                    "answers TYPE_E_LIBNOTREGISTERED (0x8002801D)");
    // win32 only: a 64-bit process falls back to it.
    library("1.2", "win32");
    EXPECT_EQ(items().first.status, Status::Warn);
    // The file gone: the loader's own answer is named.
    library("1.2", "win64", "C:\\AddIns\\Gone.dll");
    const Item gone = items().first;
    EXPECT_EQ(gone.status, Status::Fail);
    EXPECT_NE(gone.reason.find("TYPE_E_CANTLOADLIBRARY"), std::string::npos) << gone.reason;
}

TEST_F(TypeLibImage, InterfacesNeedTheirMarshaller)
{
    library("1.2", "win64");
    interfaceKey(View::Bits64, "9.0");
    auto interfaces = items().second;
    EXPECT_EQ(interfaces.status, Status::Fail);
    EXPECT_NE(interfaces.reason.find("IDual " + kDual + ": TypeLib\\" + kLib + " has no version 9.0"),
              std::string::npos)
        << interfaces.reason;
    m.setText(Hive::MachineClasses, View::Bits64, "Interface\\" + kDual + "\\ProxyStubClsid32", "",
              "{7A000000-0000-0000-0000-0000000000FF}");
    EXPECT_NE(items().second.reason.find("has no in-process server the loader finds"), std::string::npos);
}

TEST_F(TypeLibImage, StaleFindsGoneVersionsAndTheirInterfaces)
{
    library("2.0", "win64"); // another major: asked for 1.1, LoadRegTypeLib never takes it
    library("1.1", "win64", "C:\\Old\\A.dll");
    library("1.1", "win32", "C:\\Old\\A32.dll");
    library("1.0", "win64", "A.dll"); // a bare name is never stale
    interfaceKey(View::Bits64, "1.1");
    const std::vector<StaleEntry> entries = findStaleTypeLibs(m.machine(), true, false);
    ASSERT_EQ(entries.size(), 2U);
    EXPECT_EQ(entries[0].path, "TypeLib\\" + kLib + "\\1.1");
    EXPECT_EQ(entries[0].kept, "");
    EXPECT_EQ(entries[1].path, "Interface\\" + kDual);
    const std::string cleanup = cleanupScript({}, entries);
    EXPECT_NE(cleanup.find("[-" + entries[0].key + "]"), std::string::npos);
    EXPECT_NE(cleanup.find("[-" + entries[1].key + "]"), std::string::npos);
    // A key of another kind below it keeps the interface.
    m.key(Hive::MachineClasses, View::Bits64, "Interface\\" + kDual + "\\Extra");
    EXPECT_EQ(findStaleTypeLibs(m.machine(), true, false)[1].kept, "holds Extra");
    // A live version of the same major with a higher minor serves it.
    library("1.3", "win64");
    EXPECT_EQ(findStaleTypeLibs(m.machine(), true, false).size(), 1U);
}

} // namespace
