// A server's path: from its registry value, as an argument, from a file URI,
// and the machine its PE header names.
#include "doctor/FileUri.h"
#include "doctor/PeImage.h"
#include "MachineImage.h"
#include "classes/Arguments.h"
#include "classes/ClassLookup.h"
#include "classes/HandOff.h"
#include "classes/ServerRule.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TEST(ServerRules, PathOfServerValue)
{
    using classes::pathOfServerValue;
    EXPECT_EQ(pathOfServerValue("\"C:\\P F\\x.exe\" /automation"), "C:\\P F\\x.exe");
    EXPECT_EQ(pathOfServerValue("C:\\x.dll"), "C:\\x.dll");
    EXPECT_EQ(pathOfServerValue("\"C:\\x.dll"), "C:\\x.dll");
    EXPECT_EQ(pathOfServerValue(""), "");
}

TEST(ServerRules, QuotedArgumentAndCommandLineRefuseWhatCannotBePassed)
{
    using classes::quotedArgument;
    for (const std::string path : {"", "a\"b", "/u", "-s", "\""}) EXPECT_FALSE(quotedArgument(path)) << path;
    EXPECT_FALSE(quotedArgument(std::string("a\0b", 3)));
    EXPECT_EQ(quotedArgument("C:\\x\\"), "\"C:\\x\\\\\"");
    EXPECT_EQ(quotedArgument("a-b/c d"), "\"a-b/c d\"");

    // Each argument quoted once, after the switches; glued to a switch that ends in a comma.
    using classes::commandLine;
    EXPECT_EQ(commandLine("reg.exe", "import", {"C:\\a b\\"}), "reg.exe import \"C:\\a b\\\\\"");
    EXPECT_EQ(commandLine("explorer.exe", "/select,", {"C:\\x"}), "explorer.exe /select,\"C:\\x\"");
    EXPECT_EQ(commandLine("explorer.exe", "", {"C:\\x"}), "explorer.exe \"C:\\x\"");
    EXPECT_EQ(commandLine("h.exe", "", {"load", "C:\\x.dll"}), "h.exe \"load\" \"C:\\x.dll\"");
    EXPECT_FALSE(commandLine("h.exe", "", {"load", "-x.dll"}));
}

// A header of `size` bytes: "MZ", the PE header at `at`, its machine and characteristics.
std::string image(size_t size, uint32_t at, uint16_t machine, uint16_t characteristics)
{
    std::string bytes(size, '\0');
    auto put = [&](size_t offset, uint32_t value, int count) {
        for (int i = 0; i < count && offset + i < size; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
    };
    put(0, 'M' | 'Z' << 8, 2);
    put(0x3C, at, 4);
    put(at, 'P' | 'E' << 8, 4);
    put(size_t{at} + 4, machine, 2);
    put(size_t{at} + 22, characteristics, 2);
    return bytes;
}

TEST(ServerRules, PeMachineAndDll)
{
    using doctor::PeMachine;
    using doctor::readPeImage;
    EXPECT_EQ(readPeImage(image(512, 0x80, 0x14C, 0x2102)).machine, PeMachine::X86);
    EXPECT_TRUE(readPeImage(image(512, 0x80, 0x14C, 0x2102)).isDll);
    EXPECT_FALSE(readPeImage(image(512, 0x80, 0x8664, 0x0022)).isDll);
    EXPECT_EQ(readPeImage(image(512, 0x80, 0x8664, 0x0022)).machine, PeMachine::X64);
    EXPECT_EQ(readPeImage(image(512, 0x80, 0xAA64, 0x2022)).machine, PeMachine::Arm64);
    const doctor::PeImageInfo other = readPeImage(image(512, 0x80, 0x1C4, 0));
    EXPECT_EQ(other.machine, PeMachine::Other);
    EXPECT_EQ(other.machineCode, 0x1C4);

    // The file header's 24 bytes must lie within the bytes given, to the last one.
    EXPECT_EQ(readPeImage(image(0x80 + 24, 0x80, 0x8664, 0)).machine, PeMachine::X64);
    EXPECT_EQ(readPeImage(image(0x80 + 23, 0x80, 0x8664, 0)).machine, PeMachine::NotPe);
    EXPECT_EQ(readPeImage(image(512, 0xFFFFFFF0, 0x8664, 0)).machine, PeMachine::NotPe);
    EXPECT_EQ(readPeImage(image(0x3F, 0x10, 0x8664, 0)).machine, PeMachine::NotPe);
    std::string noMz = image(512, 0x80, 0x8664, 0), noPe = noMz;
    noMz[1] = 'X';
    noPe[0x82] = 'X';
    EXPECT_EQ(readPeImage(noMz).machine, PeMachine::NotPe);
    EXPECT_EQ(readPeImage(noPe).machine, PeMachine::NotPe);
}

TEST(ServerRules, PathFromFileUri)
{
    using doctor::pathFromFileUri;
    EXPECT_EQ(pathFromFileUri("file:///C:/Some%20Dir/x.dll"), "C:\\Some Dir\\x.dll");
    EXPECT_EQ(pathFromFileUri("FILE:///c:/a%2fb%5C%41.dll"), "c:\\a\\b\\A.dll");
    EXPECT_EQ(pathFromFileUri("file://localhost/C:/x.dll"), "C:\\x.dll");
    EXPECT_EQ(pathFromFileUri("file://server/share/x"), "\\\\server\\share\\x");
    EXPECT_EQ(pathFromFileUri("file:///x/y"), "\\x\\y");
    for (const char* refused : {"file:///C:/a%2", "file:///C:/a%g0", "file:///C:/a%00", "http://server/x", "file:/C:/x",
                                "file://server", "file://server/", "file:///", "C:\\x.dll", "file:"})
        EXPECT_FALSE(pathFromFileUri(refused)) << refused;
}

} // namespace

// The server rule where a machine in memory can stage what the test prefix
// cannot: the search order along PATH and the 32-bit view's folders. The
// shapes of a value are held against the real loader in loader_test.
TEST(ServerRules, TheSearchOrderAndThe32BitView)
{
    using classes::FoundBy;
    using classes::ServerState;
    using classes::Value;
    using classes::ValueType;
    testing_image::MachineImage m;
    for (const char* file : {"C:\\WINDOWS\\BARE.DLL", "C:\\TOOLS\\ONPATH.DLL", "C:\\WINDOWS\\SYSWOW64\\SYS.DLL",
                             "C:\\WINDOWS\\SYSTEM32\\SYS.DLL"})
        m.files.insert(file);
    const auto resolve = [&](const std::string& text, classes::View view = classes::View::Bits64) {
        return classes::resolveServer(Value::ofText(text), view, m);
    };
    EXPECT_EQ(resolve("bare.dll").foundBy, FoundBy::WindowsFolder);
    EXPECT_EQ(resolve("onpath.dll").foundBy, FoundBy::SearchPath);
    EXPECT_EQ(resolve("sys.dll", classes::View::Bits32).file, "C:\\Windows\\SysWOW64\\sys.dll");
    EXPECT_EQ(resolve("nowhere.dll").state, ServerState::NotFound);
    EXPECT_TRUE(resolve("nowhere.dll").searched); // so never stale
    // A 32-bit host's path into the system folder lands in the 32-bit one.
    EXPECT_EQ(resolve("C:\\Windows\\System32\\sys.dll", classes::View::Bits32).file,
              "C:\\Windows\\SysWOW64\\sys.dll");
    EXPECT_EQ(classes::resolveServer(Value{ValueType::Dword, {1, 0, 0, 0}}, classes::View::Bits64, m).state,
              ServerState::NotText);
    EXPECT_EQ(resolve("  ").state, ServerState::NotSet);
}

// Whether a value names a server: a value of blanks does not, for the list
// and the checks. The main window's lookup shows a value as stored and falls
// back to LocalServer32 only for an empty one; the windows act on a server
// of five characters or more, blanks counted, and name its script after it.
TEST(ServerRules, WhetherThereIsAServer)
{
    EXPECT_FALSE(classes::hasServer(""));
    EXPECT_FALSE(classes::hasServer(" \t "));
    EXPECT_TRUE(classes::hasServer(" x"));

    std::map<std::string, std::string> defaults{{"P\\CLSID", "{C}"}, {"CLSID\\{C}\\LocalServer32", "app.exe /automation"}};
    const auto lookUp = [&] {
        return classes::lookUpClass("P", [&](const std::string& key) { return defaults[key]; });
    };
    classes::ClassLookup found = lookUp();
    EXPECT_TRUE(found.localServer);
    EXPECT_EQ(found.text, "CLSID = {C}\r\nInProcServer = app.exe /automation\r\n");
    defaults["CLSID\\{C}\\InProcServer32"] = "  ";
    found = lookUp();
    EXPECT_FALSE(found.localServer);
    EXPECT_EQ(found.text, "CLSID = {C}\r\nInProcServer =   \r\n"); // as stored

    testing_image::MachineImage m;
    EXPECT_EQ(classes::resolveLocalServer(classes::Value::ofText(" \t"), classes::View::Bits64, m).state,
              classes::ServerState::NotSet);

    using classes::regFileNameOf;
    EXPECT_FALSE(classes::windowsActOnServer("C:\\a"));
    EXPECT_TRUE(classes::windowsActOnServer("     "));
    EXPECT_TRUE(classes::windowsActOnServer("x.dll"));
    EXPECT_EQ(regFileNameOf("C:\\AddIns\\MyAddIn.dll"), "C:\\AddIns\\MyAddIn.reg");
    EXPECT_EQ(regFileNameOf("C:\\ab"), "C:reg"); // the last three characters, whatever they are
    EXPECT_EQ(regFileNameOf("a.ax"), "default.reg");
    const classes::HandOff none = classes::handOffFor("{", "C:\\a");
    EXPECT_EQ(none.clsid, "{xxx-xxx}");
    EXPECT_EQ(none.server, "NoServer");
    EXPECT_EQ(none.regFileName, "default.reg");
}
