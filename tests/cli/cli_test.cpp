// AddInRegCli.exe as a build step runs it: `list` and `find` on prepared
// classes in both registry views, their CSV and JSON read back with real
// parsers, `write` against the shared script rules, bad input, and
// `write --register` with the real regsvr32 and reg.
#include "ChildProcess.h"
#include "CliProcess.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "Ui.h"
#include "platform/Ansi.h"
#include "platform/ServerFiles.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using namespace testing_support;
using Rows = std::vector<std::vector<std::string>>;

namespace {

const ClsidFamily clsid{"ADD1C11E"};
const std::string kSystemDll = "%SystemRoot%\\system32\\kernel32.dll";
// A comma, double quotes, backslashes and a letter of the code page above ASCII.
const std::string kOddProgId = "AddInRegCliTest.Odd,\"q\"\xE9";
const std::string kOddServer = "C:\\Odd Add-Ins\\a,b \"q\" \xE9t\xE9.dll";

// RFC 4180: fields in quotes may hold commas, quotes ("") and line breaks;
// records end in CR LF.
Rows readCsv(const std::string& text)
{
    Rows rows(1);
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
        else if (c == '"') quoted = !quoted;
        else if (!quoted && c == ',') rows.back().push_back(std::exchange(field, {}));
        else if (!quoted && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.back().push_back(std::exchange(field, {}));
            rows.emplace_back();
            ++i;
        } else field += c;
    }
    if (rows.back().empty() && field.empty()) rows.pop_back();
    return rows;
}

// The names in an ASCII folder (with its trailing separator).
std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const std::wstring& name : namesIn(wideOf(folder.substr(0, folder.size() - 1))))
        names.push_back(std::string(name.begin(), name.end()));
    return names;
}

std::vector<std::string> tempFilesIn(const std::string& folder)
{
    std::vector<std::string> temps;
    for (const std::string& name : filesIn(folder))
        if (name.rfind("~AddInReg-", 0) == 0) temps.push_back(name);
    return temps;
}



// The ProgIDs in the order a sorted list box (the main window's) shows them.
std::vector<std::string> listBoxOrder(const std::vector<std::string>& names)
{
    HWND box = CreateWindowExA(0, "LISTBOX", "", WS_POPUP | LBS_SORT | LBS_HASSTRINGS, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
    for (const std::string& name : names) SendMessageA(box, LB_ADDSTRING, 0, LPARAM(name.c_str()));
    std::vector<std::string> sorted = listItems(box);
    DestroyWindow(box);
    return sorted;
}

Rows rowsOf(const Rows& rows, const std::string& prefix, size_t progIdColumn = 0)
{
    Rows mine;
    for (const auto& row : rows)
        if (row.size() > progIdColumn && row[progIdColumn].rfind(prefix, 0) == 0) mine.push_back(row);
    return mine;
}

class CliClasses : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(removeFolder(folder_));
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        writeFileBytes(inProc_, "MZ");
        writeFileBytes(local_, "MZ");
        writeFileBytes(localBare_, "MZ");
        // A ProgID is shared by both views; only its class is the 32-bit view's, written by the system's reg.
        EXPECT_EQ(runReg({"add", "HKCR\\AddInRegCliTest.Only32\\CLSID", "/ve", "/d", clsid(7), "/f"}), 0u);
        EXPECT_EQ(runReg({"add", "HKCR\\CLSID\\" + clsid(7) + "\\InProcServer32", "/ve", "/d", inProc_, "/f", "/reg:32"}), 0u);
    }
    void TearDown() override
    {
        runReg({"delete", "HKCR\\AddInRegCliTest.Only32", "/f"});
        runReg({"delete", "HKCR\\CLSID\\" + clsid(7), "/f", "/reg:32"});
        removeFolder(folder_);
    }

    const std::string folder_ = buildFolder() + "cli classes\\";
    const std::string inProc_ = folder_ + "in proc.dll";
    const std::string local_ = folder_ + "local server.exe";
    const std::string localBare_ = folder_ + "bare server.exe";
    ScopedClasses classes_{{
        {"AddInRegCliTest.Expand", clsid(1), kSystemDll, "", REG_EXPAND_SZ},
        {"AddInRegCliTest.InProc", clsid(2), inProc_, ""},
        {"AddInRegCliTest.local", clsid(3), "", "\"" + local_ + "\" /automation"},
        {"AddInRegCliTest.LocalBare", clsid(8), "", localBare_ + " -Embedding"}, // a command line, unquoted
        {"AddInRegCliTest.NoServer", clsid(4), "", ""},
        {"AddInRegCliTest.NotExpanded", clsid(5), kSystemDll, ""},
        {platform::ansiToUtf8(kOddProgId), clsid(6), kOddServer, ""}, // key names are given in UTF-8
        {"AddInRegCliTest.NoClsid", "", "", ""},
    }};

    // The rows of the classes with a CLSID, in list order ("local" before
    // "NoServer": letters compare without regard to case).
    Rows expected64() const
    {
        return {{"AddInRegCliTest.Expand", clsid(1), kSystemDll, "true", "InProcServer32"},
                {"AddInRegCliTest.InProc", clsid(2), inProc_, "true", "InProcServer32"},
                {"AddInRegCliTest.local", clsid(3), "\"" + local_ + "\" /automation", "true", "LocalServer32"},
                {"AddInRegCliTest.LocalBare", clsid(8), localBare_ + " -Embedding", "true", "LocalServer32"},
                {"AddInRegCliTest.NoServer", clsid(4), "", "false", ""},
                {"AddInRegCliTest.NotExpanded", clsid(5), kSystemDll, "false", "InProcServer32"},
                {kOddProgId, clsid(6), kOddServer, "false", "InProcServer32"},
                // The shared ProgID of a class only the 32-bit view has.
                {"AddInRegCliTest.Only32", clsid(7), "", "false", ""}};
    }
};

TEST_F(CliClasses, FindAndListGiveExactlyTheRowsOfEachView)
{
    const std::vector<std::string> header{"progId", "clsid", "server", "serverExists", "serverKind"};
    CliRun run = runCli({"find", "add1c11e", "--format", "csv"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    Rows rows = readCsv(run.out);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), header);
    EXPECT_EQ(Rows(rows.begin() + 1, rows.end()), expected64());

    run = runCli({"list", "--format", "csv"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    Rows expected = expected64();
    expected.insert(expected.begin() + 4, {"AddInRegCliTest.NoClsid", "", "", "false", ""});
    EXPECT_EQ(rowsOf(readCsv(run.out), "AddInRegCliTest."), expected);

    // The 32-bit view: the same ProgIDs; only the 32-bit class has a server there.
    const Rows in32{{"AddInRegCliTest.Expand", clsid(1), "", "false", ""},
                    {"AddInRegCliTest.InProc", clsid(2), "", "false", ""},
                    {"AddInRegCliTest.local", clsid(3), "", "false", ""},
                    {"AddInRegCliTest.LocalBare", clsid(8), "", "false", ""},
                    {"AddInRegCliTest.NoClsid", "", "", "false", ""},
                    {"AddInRegCliTest.NoServer", clsid(4), "", "false", ""},
                    {"AddInRegCliTest.NotExpanded", clsid(5), "", "false", ""},
                    {kOddProgId, clsid(6), "", "false", ""},
                    {"AddInRegCliTest.Only32", clsid(7), inProc_, "true", "InProcServer32"}};
    run = runCli({"list", "--view", "32", "--format", "csv"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(rowsOf(readCsv(run.out), "AddInRegCliTest."), in32);

    // Both views: every class's CLSID is in its lookup text, in each view.
    run = runCli({"find", "ADD1C11E", "--view", "both", "--format", "csv"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    rows = readCsv(run.out);
    ASSERT_EQ(rows.size(), 17u) << run.out;
    EXPECT_EQ(rows.front()[0], "view");
    EXPECT_EQ(rows.back(),
              (std::vector<std::string>{"32", "AddInRegCliTest.Only32", clsid(7), inProc_, "true", "InProcServer32"}));
    EXPECT_EQ(rows[1][0], "64");

    run = runCli({"find", "NoSuchServer.AddInRegCliTest"});
    EXPECT_EQ(run.exitCode, 5u);
    EXPECT_NE(run.err.find("NoSuchServer.AddInRegCliTest"), std::string::npos) << run.err;
}

TEST_F(CliClasses, ListOrderIsTheListBoxOrder)
{
    CliRun run = runCli({"list", "--format", "csv"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    std::vector<std::string> names;
    for (const auto& row : readCsv(run.out)) names.push_back(row.at(0));
    names.erase(names.begin()); // the header
    EXPECT_EQ(names, listBoxOrder(names));
}

TEST_F(CliClasses, JsonReadsBackAsTheSameValues)
{
    CliRun run = runCli({"find", "add1c11e", "--format", "json"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const nlohmann::json parsed = nlohmann::json::parse(run.out);
    ASSERT_TRUE(parsed.is_array());
    const Rows expected = expected64();
    ASSERT_EQ(parsed.size(), expected.size()) << run.out;
    for (size_t i = 0; i < expected.size(); ++i) {
        const nlohmann::json& row = parsed[i];
        EXPECT_EQ(row.size(), 6u);
        EXPECT_EQ(row.at("view"), 64);
        EXPECT_EQ(row.at("progId"), platform::ansiToUtf8(expected[i][0]));
        EXPECT_EQ(row.at("clsid"), expected[i][1]);
        EXPECT_EQ(row.at("server"), platform::ansiToUtf8(expected[i][2]));
        EXPECT_EQ(row.at("serverExists"), expected[i][3] == "true");
        EXPECT_EQ(row.at("serverKind"), expected[i][4]);
    }
}

// A local server's value is a command line: its program is the file that
// CreateProcess starts for it, blanks in an unquoted path, ".exe" added and
// the search folders included; none when CreateProcess starts nothing.
TEST(CliLocalServer, ProgramIsTheOneCreateProcessStarts)
{
    const std::string folder = buildFolder() + "local servers\\";
    ASSERT_TRUE(removeFolder(folder));
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CreateDirectoryA((folder + "sub dir").c_str(), nullptr));
    const std::string program = buildFolder() + "com_activator.exe";
    ASSERT_TRUE(CopyFileA(program.c_str(), (folder + "sub dir\\server one.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(program.c_str(), (folder + "sub dir\\server.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(program.c_str(), (folder + "sub dir\\plain.exe").c_str(), FALSE));
    const std::vector<std::string> values{
        folder + "sub dir\\plain.exe -Embedding",      // blanks in the folder, unquoted
        folder + "sub dir\\server one.exe -Embedding", // "server.exe" comes first
        folder + "sub dir\\plain -Embedding",           // ".exe" added
        "\"" + folder + "sub dir\\server one.exe\" -Embedding",
        "reg.exe -Embedding",                          // in the system folder
        "reg",
        folder + "sub dir\\missing.exe -Embedding",
        folder + "sub",
    };
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        const std::string bytes = text::utf16BytesFromUtf8(value); // as the registry stores it
        const classes::ServerFile rule = platform::resolveServerFile(
            classes::Value{classes::ValueType::String, std::vector<std::uint8_t>(bytes.begin(), bytes.end())},
            classes::View::Bits64, true);
        std::wstring line = wideOf(value);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                            &started)) {
            EXPECT_FALSE(rule.found()) << rule.file;
            continue;
        }
        wchar_t image[MAX_PATH * 4] = L"";
        DWORD length = DWORD(std::size(image));
        QueryFullProcessImageNameW(started.hProcess, 0, image, &length);
        TerminateProcess(started.hProcess, 0);
        WaitForSingleObject(started.hProcess, 10000);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        EXPECT_TRUE(rule.found());
        EXPECT_EQ(text::upperAscii(rule.file), text::upperAscii(utf8Of(std::wstring(image, length))));
    }
    removeFolder(folder);
}

// Names at the edge of UTF-16: a ProgID with an unpaired surrogate is
// carried exactly in JSON and escaped in text and CSV like any character
// the code page lacks; columns are measured on the text as written; an OUT
// with one is refused, and a reason is in the system's words.
TEST(CliNames, NamesAreCarriedExactlyOrRefused)
{
    const std::string surrogate = "HC.Sur\xED\xA0\x80x"; // U+D800 kept as the program keeps it
    const ScopedClasses classes{{
        {surrogate, clsid(1), "C:\\s.dll", ""},
        {"HC.\xC5\x81\xC3\xB3\x64\xC5\xBA", clsid(2), "C:\\\xE4\xB8\xAD.dll", ""}, // HC.Łódź
        {"HC.\xE4\xB8\xAD\xE6\x96\x87", clsid(3), "C:\\w.dll", ""},                // HC.中文
    }};
    CliRun run = runCli({"find", "ADD1C11E", "--format", "json"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_NE(run.out.find("\"HC.Sur\\ud800x\""), std::string::npos) << run.out;
    run = runCli({"find", "ADD1C11E", "--format", "csv"});
    EXPECT_NE(run.out.find("HC.Sur<U+D800>x," + clsid(1)), std::string::npos) << run.out;
    run = runCli({"find", "ADD1C11E"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const size_t column = run.out.find("CLSID");
    size_t rows = 0;
    for (size_t at = run.out.find("\r\n") + 2, end; (end = run.out.find("\r\n", at)) != std::string::npos; at = end + 2) {
        EXPECT_EQ(run.out.compare(at + column, 10, "{ADD1C11E-"), 0) << run.out.substr(at, end - at);
        ++rows;
    }
    EXPECT_EQ(rows, 3u) << run.out;
    EXPECT_NE(run.out.find("HC.Sur<U+D800>x"), std::string::npos) << run.out;

    const std::string folder = buildFolder() + "cli names\\";
    ASSERT_TRUE(removeFolder(folder));
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    run = runCli({"write", "sur\xED\xA0\x80.reg", "--clsid", "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}"}, folder);
    EXPECT_EQ(run.exitCode, 2u) << run.err;
    EXPECT_NE(run.err.find("OUT holds an unpaired surrogate (U+D800)"), std::string::npos) << run.err;
    EXPECT_TRUE(namesIn(wideOf(folder.substr(0, folder.size() - 1))).empty());
    removeFolder(folder);

    run = runCli({"write", "\\\\nosuchserver\\share\\x.reg", "--clsid", "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}"});
    EXPECT_EQ(run.exitCode, 3u) << run.err;
    EXPECT_EQ(run.err.find("The system refused it"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("(error "), std::string::npos) << run.err;
}

class CliWrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(removeFolder(work_));
        ASSERT_TRUE(CreateDirectoryA(work_.c_str(), nullptr));
    }
    void TearDown() override
    {
        SetFileAttributesA((work_ + "locked.reg").c_str(), FILE_ATTRIBUTE_NORMAL);
        removeFolder(work_);
    }
    CliRun write(std::vector<std::string> options)
    {
        options.insert(options.begin(), {"write", "out.reg", "--clsid", kClsid, "--server", "s.dll"});
        return runCli(options, work_);
    }
    std::string bytes(const std::string& name) const { return readFileBytes(work_ + name).value_or("<missing>"); }

    const std::string kClsid = "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";
    const std::string work_ = buildFolder() + "cli write\\";
};

// The built-in template as filled for kClsid, written out: the menu's and the
// description's data as the script holds them, the host's category, and the
// version line or nothing. Its un-register script opens every key with "[-".
std::string builtInScript(const std::string& open, const std::string& menu, const std::string& description,
                          const std::string& category, const std::string& last)
{
    const std::string key = open + "HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13}";
    return "REGEDIT4\r\n" + key + "] \r\n@=\"" + menu + "\"\r\n" + key + "\\Description] \r\n@=\"" + description +
           "\"\r\n" + key + "\\Implemented Categories\\" + category + "] \r\n" + key + "\\Required Categories] \r\n" +
           key + "\\Required Categories\\" + category + "] \r\n" + key +
           "\\Settings] \r\n\"LoadOnStartUp\"=\"1\"\r\n\"Type\"=\"Standard\"\r\n" + last;
}

TEST_F(CliWrite, WritesTheScriptsOfTheSharedRules)
{
    const std::string r6 = "{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}", older = "{E357129A-DB40-11D2-B783-0060B0F159EF}";
    const std::string version = "\"SupportedSoftwareVersionGreaterThan\" = \"5.3.2\"";
    struct Case {
        std::vector<std::string> options;
        std::string menu, description, category, last;
    } cases[] = {
        {{}, "myAddInName", "This AddIn creates Geometry", r6, version},
        {{"--older-host"}, "myAddInName", "This AddIn creates Geometry", older, ""},
        {{"--no-version-line"}, "myAddInName", "This AddIn creates Geometry", r6, ""},
        {{"--menu", "Say \"hi\"", "--description", "C:\\x, 50%"}, "Say \\\"hi\\\"", "C:\\\\x, 50%", r6, version},
        // Text put in is not filled again.
        {{"--menu", "Menu #SUPTDVER", "--description", "#Description"}, "Menu #SUPTDVER", "#Description", r6, version},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.menu);
        CliRun run = write(c.options);
        ASSERT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_EQ(bytes("out.reg"), builtInScript("[", c.menu, c.description, c.category, c.last));
        EXPECT_EQ(bytes("UnReg-out.reg"), builtInScript("[-", c.menu, c.description, c.category, c.last));
    }
    ASSERT_TRUE(DeleteFileA((work_ + "UnReg-out.reg").c_str()));

    // The template in the current folder, else the one named.
    const std::string own = "REGEDIT4\r\n[HKEY_CLASSES_ROOT\\CLSID\\#Clsid]\r\n@=\"#MenuName\"\r\n#SUPTDVER";
    const std::string filled = "[HKEY_CLASSES_ROOT\\CLSID\\" + kClsid + "]\r\n@=\"myAddInName\"\r\n" + version;
    writeFileBytes(work_ + "AddInTemplate.Reg", own);
    ASSERT_EQ(write({"--no-unreg"}).exitCode, 0u);
    EXPECT_EQ(bytes("out.reg"), "REGEDIT4\r\n" + filled);
    writeFileBytes(work_ + "named.txt", own + "\r\n; named");
    ASSERT_EQ(write({"--template", "named.txt", "--unreg-file", "remove it.reg"}).exitCode, 0u);
    EXPECT_EQ(bytes("out.reg"), "REGEDIT4\r\n" + filled + "\r\n; named");
    EXPECT_EQ(bytes("remove it.reg"), "REGEDIT4\r\n[-" + filled.substr(1) + "\r\n; named");
    EXPECT_FALSE(pathExists(work_ + "UnReg-out.reg"));
}

// The installer formats of write: the template's keys for an x86 server, in
// the 32-bit registry view; never with a registration of their own.
TEST_F(CliWrite, InstallerFormatsHoldTheTemplatesKeysInTheServersView)
{
    const std::string server = buildFolder() + "DoctorX86.dll";
    const auto written = [&](const char* format, const char* out) {
        const CliRun run = runCli({"write", out, "--clsid", kClsid, "--server", server, "--format", format, "--menu",
                                   "Menu", "--description", "Text"},
                                  work_);
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        return bytes(out);
    };
    const std::string nsis = written("nsis", "out.nsh");
    EXPECT_EQ(nsis.rfind("\xEF\xBB\xBF", 0), 0u);
    for (const char* part : {"!macro Register_", "!macro Unregister_", "SetRegView 32", "Implemented Categories"})
        EXPECT_NE(nsis.find(part), std::string::npos) << part << "\n" << nsis;
    EXPECT_EQ(nsis.find("Wow6432Node"), std::string::npos) << "the view adds it\n" << nsis;
    const std::string wix = written("wix", "out.wxs");
    EXPECT_NE(wix.find("Bitness=\"always32\""), std::string::npos) << wix;
    EXPECT_NE(wix.find("http://wixtoolset.org/schemas/v4/wxs"), std::string::npos) << wix;

    const CliRun registered = runCli({"write", "other.nsh", "--clsid", kClsid, "--server", server, "--format", "nsis",
                                      "--register"},
                                     work_);
    EXPECT_EQ(registered.exitCode, 2u) << registered.err;
    EXPECT_FALSE(pathExists(work_ + "other.nsh"));
}

TEST_F(CliWrite, BadInputWritesNothing)
{
    ASSERT_TRUE(CreateDirectoryA((work_ + "a folder.reg").c_str(), nullptr));
    writeFileBytes(work_ + "locked.reg", "REGEDIT4\r\n");
    SetFileAttributesA((work_ + "locked.reg").c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string g = kClsid;
    struct Case {
        std::vector<std::string> args;
        unsigned long exitCode;
        std::string says;
    } cases[] = {
        {{"write", "out.reg", "--clsid", g, "--server", "s.dll", "--bogus"}, 2, "--bogus"},
        {{"write", "out.reg", "--clsid", g, "--server"}, 2, "--server"},
        {{"write", "out.reg", "--clsid", "{6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B1}", "--server", "s.dll"}, 2, "GUID"},
        {{"write", "out.reg", "--clsid", "6B1F3C52-8E4D-4A9B-9C71-2D5E0A7F4B13", "--server", "s.dll"}, 2, "GUID"},
        {{"list", "--view", "16"}, 2, "16"},
        {{"write", "a folder.reg", "--clsid", g, "--server", "s.dll"}, 3, "\"a folder.reg\" was not written. It is a folder"},
        {{"write", "none\\out.reg", "--clsid", g, "--server", "s.dll"}, 3, "\"none\\out.reg\" was not written. Its folder"},
        {{"write", "locked.reg", "--clsid", g, "--server", "s.dll"}, 3, "\"locked.reg\" was not written. The file is read-only"},
        {{"write", "out.reg", "--clsid", g, "--server", "s.dll", "--template", "none.reg"}, 3, "\"none.reg\" is missing"},
    };
    for (const Case& c : cases) {
        CliRun run = runCli(c.args, work_);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.says;
        EXPECT_EQ(run.err.rfind("AddInRegCli: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.substr(0, run.err.find('\n')).find(c.says), std::string::npos) << run.err;
        if (c.exitCode == 2) {
            EXPECT_NE(run.err.find("\nRun \"AddInRegCli "), std::string::npos) << run.err;
        }
        EXPECT_FALSE(pathExists(work_ + "out.reg"));
        EXPECT_FALSE(pathExists(work_ + "UnReg-out.reg"));
        EXPECT_FALSE(pathExists(work_ + "UnReg-locked.reg"));
        EXPECT_EQ(bytes("locked.reg"), "REGEDIT4\r\n");
    }
}

TEST_F(CliWrite, RegisterRunsRegsvr32AndRegImportAndReportsTheirExitCodes)
{
    const std::string classKey = "CLSID\\" + kClsid;
    const std::string addIns = work_ + "Sample Add-Ins\\";
    const std::string dll = addIns + "AddInRegSample.dll";
    ASSERT_TRUE(CreateDirectoryA(addIns.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA((buildFolder() + "AddInRegSample.dll").c_str(), dll.c_str(), FALSE));
    writeFileBytes(addIns + "not a server.dll", "text");
    deleteTree(HKEY_CLASSES_ROOT, classKey);

    CliRun run = runCli({"write", "add in.reg", "--clsid", kClsid, "--server", dll, "--register"}, work_);
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_NE(run.err.find("regsvr32.exe /s \"" + dll + "\": exit code 0\r\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("reg.exe import \"add in.reg\": exit code 0\r\n"), std::string::npos) << run.err;
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, classKey + "\\InProcServer32"), dll);
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, classKey + "\\Implemented Categories\\{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}"));
    EXPECT_EQ(readString(HKEY_CLASSES_ROOT, classKey + "\\Settings", "LoadOnStartUp"), "1");

    run = runCli({"write", "add in.reg", "--clsid", kClsid, "--server", addIns + "not a server.dll", "--register"}, work_);
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_NE(run.err.find("not a server.dll\": exit code "), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("not a server.dll\": exit code 0"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("reg.exe import \"add in.reg\": exit code 0"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("registration failed"), std::string::npos) << run.err;

    deleteTree(HKEY_CLASSES_ROOT, classKey);
    deleteTree(HKEY_CLASSES_ROOT, "AddInRegSample.Server.1");
}

// --- The files a write touches ---------------------------------------------------

TEST_F(CliWrite, UnRegFileNamingOutInAnySpellingIsAUsageError)
{
    std::string shouted = text::upperAscii(work_) + "SAME.REG";
    std::replace(shouted.begin(), shouted.end(), '\\', '/');
    for (int exists = 0; exists < 2; ++exists) {
        if (exists) writeFileBytes(work_ + "same.reg", "REGEDIT4\r\nkept");
        for (const std::string& spelling : {std::string("SAME.REG"), std::string(".\\sub\\..\\same.reg"), shouted}) {
            CliRun run = runCli({"write", "same.reg", "--clsid", kClsid, "--server", "s.dll", "--unreg-file", spelling,
                                 "--register", "--verify"},
                                work_);
            EXPECT_EQ(run.exitCode, 2u) << spelling;
            EXPECT_EQ(run.err.rfind("AddInRegCli: --unreg-file \"" + spelling + "\" names the same file as OUT", 0), 0u)
                << run.err;
            EXPECT_NE(run.err.find("\nRun \"AddInRegCli write --help\""), std::string::npos) << run.err;
            EXPECT_EQ(run.out, ""); // nothing written, nothing started
            EXPECT_EQ(bytes("same.reg"), exists ? "REGEDIT4\r\nkept" : "<missing>");
        }
    }
}

TEST_F(CliWrite, TemplatesThatAreNotAnsiRegistryScriptsWriteNothing)
{
    const std::string body = "[HKEY_CLASSES_ROOT\\CLSID\\#Clsid]\r\n@=\"#MenuName\"\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : "REGEDIT4\r\n" + body) utf16 += {c, '\0'};
    struct Case {
        std::string file, bytes, says;
    } cases[] = {
        {"named.reg", utf16, "It is UTF-16 text"},
        {"named.reg", std::string("MZ\x90\0\3\0\0\0", 8) + body, "It does not begin with REGEDIT4"},
        {"named.reg", std::string("REGEDIT4\r\n\0\0", 12) + body, "It holds NUL bytes"},
        {"named.reg", body, "It does not begin with REGEDIT4"},
        {"AddInTemplate.Reg", utf16, "It is UTF-16 text"}, // found, not named: refused all the same
    };
    for (const Case& c : cases) {
        writeFileBytes(work_ + c.file, c.bytes);
        std::vector<std::string> options;
        if (c.file == "named.reg") options = {"--template", "named.reg"};
        CliRun run = write(options);
        EXPECT_EQ(run.exitCode, 3u) << c.says;
        const std::string line = run.err.substr(0, run.err.find('\n'));
        EXPECT_NE(line.find(c.file + "\" is not an ANSI registry script; nothing was written. " + c.says),
                  std::string::npos)
            << run.err;
        EXPECT_FALSE(pathExists(work_ + "out.reg"));
        EXPECT_FALSE(pathExists(work_ + "UnReg-out.reg"));
        DeleteFileA((work_ + c.file).c_str());
    }

    // An ANSI one: the second identical run replaces what the first wrote.
    writeFileBytes(work_ + "named.reg", "REGEDIT4\r\n" + body);
    for (int run = 0; run < 2; ++run) EXPECT_EQ(write({"--template", "named.reg"}).exitCode, 0u) << run;
}

TEST_F(CliWrite, EachFileNotWrittenIsReportedWithItsTrueReason)
{
    writeFileBytes(work_ + "held.reg", "REGEDIT4\r\nheld");
    ASSERT_TRUE(CreateDirectoryA((work_ + "a folder.reg").c_str(), nullptr));
    // As an editor holds a file open: others may read it, not replace it.
    HANDLE held = CreateFileA((work_ + "held.reg").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::string tooLong = std::string(252, 'n') + ".reg";
    struct Case {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"write", "held.reg", "--clsid", kClsid, "--server", "s.dll"}, "\"held.reg\" was not written. Another program holds it open."},
        {{"write", tooLong, "--clsid", kClsid, "--server", "s.dll"}, "was not written. Its path is longer than the system allows"},
        {{"stale", "--view", "64", "--cleanup-script", "a folder.reg"}, "\"a folder.reg\" was not written. It is a folder."},
        // The undo beside it is written first, and is the one refused.
        {{"stale", "--view", "64", "--cleanup-script", "none\\x.reg"}, "\"none\\Undo-x.reg\" was not written. Its folder does not exist."},
        {{"stale", "--view", "64", "--cleanup-script", "held.reg"}, "\"held.reg\" was not written. Another program holds it open."},
    };
    for (const Case& c : cases) {
        CliRun run = runCli(c.args, work_);
        EXPECT_EQ(run.exitCode, 3u) << c.says;
        EXPECT_NE(run.err.find("AddInRegCli: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
    CloseHandle(held);
    EXPECT_EQ(bytes("held.reg"), "REGEDIT4\r\nheld");
    EXPECT_EQ(filesIn(work_), (std::vector<std::string>{"a folder.reg", "held.reg"}));
}

TEST_F(CliWrite, AWriteKilledMidWayLeavesNoTemporaryFile)
{
    // A template that fills to about 100 MB: a write long enough to be caught.
    std::string big = "REGEDIT4\r\n";
    for (int i = 0; i < 2500000; ++i) big += "#Clsid\r\n";
    writeFileBytes(work_ + "big.tmpl", big);
    bool caught = false;
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
        const std::optional<Child> child =
            Child::start(utf8Of(wideOf(buildFolder())) + "AddInRegCli.exe",
                         {"write", "out.reg", "--no-unreg", "--template", "big.tmpl", "--clsid", kClsid}, {work_});
        ASSERT_TRUE(child.has_value());
        while (child->running()) {
            if (!tempFilesIn(work_).empty()) {
                TerminateProcess(child->process(), 9);
                caught = true;
                break;
            }
        }
        child->wait(60000);
        DeleteFileA((work_ + "out.reg").c_str());
    }
    ASSERT_TRUE(caught) << "every write ended before its temporary file was seen";
    const std::vector<std::string> left = tempFilesIn(work_);
    // A kill in the instant between the flushed write and its rename leaves
    // the whole text, which the next write removes; never a part of it.
    const std::string leftBytes = left.empty() ? std::string() : bytes(left.front());
    const CliRun again = runCli({"write", "out.reg", "--no-unreg", "--template", "big.tmpl", "--clsid", kClsid}, work_);
    EXPECT_EQ(again.exitCode, 0u) << again.err;
    if (!left.empty()) {
        EXPECT_EQ(leftBytes.size(), bytes("out.reg").size()) << "a part of the write was left";
    }
    EXPECT_EQ(tempFilesIn(work_), std::vector<std::string>{});
    EXPECT_EQ(filesIn(work_), (std::vector<std::string>{"big.tmpl", "out.reg"}));
}

// The companion reads its wide command line: "Ł" is not in the code page,
// and the file of the name the code page would make of it stays untouched.
TEST_F(CliWrite, ANameOutsideTheCodePageIsWrittenAsGiven)
{
    const std::string lodz = "\xC5\x81\xC3\xB3" "d\xC5\xBA"; // Łódź
    const std::wstring folder = wideOf(work_);
    HANDLE other = CreateFileW((folder + L"L\u00F3dz.reg").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(other, "REGEDIT4\r\nanother", 17, &written, nullptr);
    CloseHandle(other);
    const CliRun run = runCli({"write", lodz + ".reg", "--clsid", kClsid}, utf8Of(folder));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_NE(GetFileAttributesW((folder + wideOf(lodz) + L".reg").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW((folder + L"UnReg-" + wideOf(lodz) + L".reg").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(bytes("L\xF3" "dz.reg"), "REGEDIT4\r\nanother");
    // Redirected, the text output says which characters the code page lacks rather than show others.
    EXPECT_NE(run.err.find("Written: <U+0141>\xF3" "d<U+017A>.reg\r\n"), std::string::npos) << run.err;
}

// --- Conventions ------------------------------------------------------------

// Every exit code of the table, each from the command that gives it.
TEST_F(CliWrite, EachExitCodeHasOneMeaning)
{
    ASSERT_TRUE(CreateDirectoryA((work_ + "a folder.reg").c_str(), nullptr));
    struct Case {
        std::vector<std::string> args;
        unsigned long code;
    } cases[] = {
        {{"--version"}, 0},
        {{"write", "ok.reg", "--clsid", kClsid}, 0}, // --server only when registering
        {{"check", "{D0C70000-0000-4000-8000-000000000099}", "--format", "json"}, 5}, // names no class
        {{"find", "NoSuchServer.AddInRegCliTest"}, 5},
        {{"write", "x.reg", "--clsid", kClsid, "--register"}, 2}, // no --server to register
        {{"list", "--format", "xml"}, 2},
        {{"stale", "--cleanup-file", ""}, 2},
        {{"write", "a folder.reg", "--clsid", kClsid}, 3},
        {{"verify", "missing.reg"}, 3},
        {{"write", "bad.reg", "--clsid", kClsid, "--server", work_ + "missing.dll", "--register"}, 1},
    };
    for (const Case& c : cases) {
        const CliRun run = runCli(c.args, work_);
        EXPECT_EQ(run.exitCode, c.code) << c.args[0] << " " << c.args.back() << "\n" << run.err;
        if (c.code == 2) {
            EXPECT_NE(run.err.find("\nRun \"AddInRegCli"), std::string::npos) << run.err; // not the whole help
            EXPECT_EQ(run.err.find("Options:"), std::string::npos) << run.err;
        }
    }
    // A wrong choice lists the choices.
    EXPECT_NE(runCli({"list", "--format", "xml"}).err.find("is not one of: text, csv, json"), std::string::npos);
    // The template's own texts do not go out unnoticed.
    EXPECT_NE(runCli({"write", "ok.reg", "--clsid", kClsid}, work_).err.find("placeholder \"myAddInName\""),
              std::string::npos);
}

TEST_F(CliWrite, ARegistrationThatNeverEndsIsEndedAtTheTimeLimit)
{
    const CliRun run = runCli({"write", "hang.reg", "--clsid", kClsid, "--server", buildFolder() + "HangingServer.dll",
                               "--register", "--timeout", "3"},
                              work_, 120000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1u) << run.err;
    EXPECT_NE(run.err.find("HangingServer.dll\": did not finish within its time limit and was ended"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(bytes("hang.reg").rfind("REGEDIT4", 0), 0u); // the scripts stay
    deleteTree(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid);
}

// ProgIDs of up to 255 characters, the registry's longest name.
TEST_F(CliWrite, LongProgIdsAreListedAndChecked)
{
    const std::string progId = "AddInRegCliTest." + std::string(255 - 16, 'L');
    const ScopedClasses classes{{{progId, kClsid, "C:\\gone\\x.dll", ""}}};
    const CliRun list = runCli({"find", kClsid, "--format", "csv"});
    EXPECT_NE(list.out.find(progId + "," + kClsid), std::string::npos) << list.out;
    EXPECT_EQ(runCli({"check", progId, "--format", "json"}).exitCode, 1u); // found, and failing: no such file
}

} // namespace
