// The output formats of the commands as plain text rules: text columns
// measured in characters, CSV quoting, JSON that carries every name exactly
// (an unpaired surrogate among them), and the doctor's lists in each format.
#include "output/DoctorOutput.h"
#include "output/Output.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using namespace output;

namespace {

const std::string kLocal = "\"C:\\Program Files\\App\\app.exe\" /automation";

std::vector<ClassRow> sampleRows()
{
    return {{64, "App.InProc", "{11111111-0000-0000-0000-000000000001}", "C:\\a.dll", true, false},
            {32, "App.Local,\"x\"", "{11111111-0000-0000-0000-000000000002}", kLocal, false, true},
            {64, "App.None", "", "", false, false}};
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

// The character (not byte) where `what` starts in the line.
size_t columnOf(const std::string& line, const std::string& what)
{
    const size_t at = line.find(what);
    return at == std::string::npos ? at : text::characterCount(line.substr(0, at));
}

TEST(OutputRules, CsvQuotesExactlyWhatNeedsIt)
{
    EXPECT_EQ(csvField("plain text"), "plain text");
    EXPECT_EQ(csvField(""), "");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csvField("two\r\nlines"), "\"two\r\nlines\"");
    EXPECT_EQ(csvField("lf\nonly"), "\"lf\nonly\"");
    EXPECT_EQ(csvLine({"a", "", "b,c"}), "a,,\"b,c\"\r\n");

    const std::vector<std::string> lines = linesOf(formatRows(sampleRows(), Format::Csv, true));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "view,progId,clsid,server,serverExists,serverKind");
    EXPECT_EQ(lines[1], "64,App.InProc,{11111111-0000-0000-0000-000000000001},C:\\a.dll,true,InProcServer32");
    EXPECT_EQ(lines[2], "32,\"App.Local,\"\"x\"\"\",{11111111-0000-0000-0000-000000000002},\"\"\"C:\\Program "
                        "Files\\App\\app.exe\"\" /automation\",false,LocalServer32");
    EXPECT_EQ(lines[3], "64,App.None,,,false,");
    // Without the view column: the same fields, the first left out.
    EXPECT_EQ(linesOf(formatRows(sampleRows(), Format::Csv, false))[0], "progId,clsid,server,serverExists,serverKind");
}

// Each column starts at the same character on every line, whatever the
// cells hold: names outside ASCII, control characters (shown escaped, the
// row one line) and text as the caller writes it.
TEST(OutputRules, TextColumnsLineUpByCharacters)
{
    std::vector<ClassRow> rows = sampleRows();
    rows.push_back({64, "HC.\xC5\x81\xC3\xB3\x64\xC5\xBA", "{11111111-0000-0000-0000-000000000003}", "C:\\\xE4\xB8\xAD.dll",
                    true, false}); // HC.Łódź, C:\中.dll
    rows.push_back({64, "Two\nLines", "{11111111-0000-0000-0000-000000000004}", "C:\\t.dll", false, false});

    const std::string out = formatRows(rows, Format::Text, true);
    std::vector<std::string> lines = linesOf(out);
    ASSERT_EQ(lines.size(), rows.size() + 1);
    EXPECT_EQ(out.size(), [&] { size_t n = 0; for (const auto& l : lines) n += l.size() + 2; return n; }());
    EXPECT_EQ(lines[0].substr(0, 4), "View");
    const size_t clsid = columnOf(lines[0], "CLSID");
    for (size_t i = 1; i < lines.size(); ++i) {
        if (rows[i - 1].clsid.empty()) continue;
        EXPECT_EQ(columnOf(lines[i], "{11111111-"), clsid) << lines[i];
        EXPECT_NE(lines[i].back(), ' ') << lines[i];
    }
    EXPECT_NE(lines[5].find("Two<LF>Lines"), std::string::npos) << lines[5];
    EXPECT_NE(lines[2].find("LocalServer32"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3].find("InProcServer32"), std::string::npos) << lines[3]; // no server, no kind

    // Shown as a file in the code page takes it: the columns are measured on that.
    const ShownText shown = [](const std::string& cell) {
        std::string out = cell;
        for (size_t at; (at = out.find("\xC5\x81")) != std::string::npos;) out.replace(at, 2, "<U+0141>");
        return out;
    };
    lines = linesOf(formatRows(rows, Format::Text, false, shown));
    EXPECT_EQ(lines[0].substr(0, 6), "ProgID");
    EXPECT_NE(lines[4].find("HC.<U+0141>\xC3\xB3"), std::string::npos) << lines[4];
    const size_t shownClsid = columnOf(lines[0], "CLSID");
    for (size_t i = 1; i < lines.size(); ++i) {
        if (rows[i - 1].clsid.empty()) continue;
        EXPECT_EQ(columnOf(lines[i], "{11111111-"), shownClsid) << lines[i];
    }
}

TEST(OutputRules, JsonCarriesEveryNameExactly)
{
    // An unpaired surrogate (as a name read from Windows keeps it) is its
    // escape, which JSON can carry; U+FDD0 and "D800" after it stay text.
    const std::string surrogate = "Sur\xED\xA0\x80x";
    const std::string mark = "Mark\xEF\xB7\x90" "D800";
    EXPECT_EQ(jsonText(nlohmann::ordered_json::array({surrogate, "\xED\xBF\xBF", mark})),
              "[\n  \"Sur\\ud800x\",\n  \"\\udfff\",\n  \"" + mark + "\"\n]");

    const std::vector<ClassRow> rows{{64, "App.Mark", "{C}", mark, false, false}, {32, "\xEF\xB7\x90", "", "", false, true}};
    const std::string out = formatRows(rows, Format::Json, true);
    EXPECT_EQ(out.substr(out.size() - 3), "]\r\n");
    const nlohmann::ordered_json parsed = nlohmann::ordered_json::parse(out);
    ASSERT_EQ(parsed.size(), 2u);
    std::vector<std::string> keys;
    for (const auto& item : parsed[0].items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"view", "progId", "clsid", "server", "serverExists", "serverKind"}));
    EXPECT_EQ(parsed[0].at("view"), 64);
    EXPECT_EQ(parsed[0].at("server"), mark);
    EXPECT_EQ(parsed[0].at("serverExists"), false);
    EXPECT_EQ(parsed[0].at("serverKind"), "InProcServer32");
    EXPECT_EQ(parsed[1].at("progId"), "\xEF\xB7\x90");
    EXPECT_EQ(parsed[1].at("serverKind"), ""); // no server: no kind, local or not

    // Bytes that are no UTF-8 at all still give JSON: U+FFFD in their place.
    EXPECT_EQ(nlohmann::json::parse(jsonText(nlohmann::ordered_json("bad\xFF"))), "bad\xEF\xBF\xBD");
}

doctor::Checklist checklist(const std::string& clsid, std::vector<doctor::Item> items)
{
    doctor::Checklist list;
    list.target = clsid;
    list.facts.clsid = clsid;
    list.facts.server.loaded.path = "C:\\gone.dll";
    list.items = std::move(items);
    return list;
}

TEST(OutputRules, AddInsNameTheWorstItemInEachFormat)
{
    using doctor::Status;
    doctor::AddInRow healthy{64, classes::Hive::MachineClasses, "{A}", "Good", "App.Good", "C:\\good.dll", "1",
                             checklist("{A}", {{"presence", Status::Pass, "ok"}})};
    doctor::AddInRow broken{32, classes::Hive::UserClasses, "{B}", "Bad, \"one\"", "App.Bad", "C:\\gone.dll", "",
                            checklist("{B}", {{"presence", Status::Pass, "ok"},
                                              {"server", Status::Fail, "C:\\gone.dll\nis missing"},
                                              {"machine", Status::Fail, "not reached"}})};
    const std::vector<doctor::AddInRow> rows{healthy, broken};

    const nlohmann::json json = nlohmann::json::parse(addInsOutput(rows, Format::Json));
    EXPECT_TRUE(json[0].at("worstItem").is_null());
    EXPECT_EQ(json[0].at("result"), "pass");
    EXPECT_EQ(json[1].at("hive"), "user");
    EXPECT_EQ(json[1].at("worstItem"), (nlohmann::json{{"item", "server"}, {"reason", "C:\\gone.dll\nis missing"}}));

    const std::vector<std::string> csv = linesOf(addInsOutput(rows, Format::Csv));
    ASSERT_EQ(csv.size(), 3u); // the reason's LF is inside its quotes
    EXPECT_EQ(csv[1], "64,machine,{A},Good,App.Good,C:\\good.dll,1,pass,,");
    EXPECT_EQ(csv[2], "32,user,{B},\"Bad, \"\"one\"\"\",App.Bad,C:\\gone.dll,,fail,server,\"C:\\gone.dll\nis missing\"");

    const std::vector<std::string> text = linesOf(addInsOutput(rows, Format::Text));
    ASSERT_EQ(text.size(), 3u);
    EXPECT_NE(text[1].find("PASS"), std::string::npos) << text[1];
    EXPECT_NE(text[2].find("FAIL"), std::string::npos) << text[2];
    EXPECT_NE(text[2].find("server: C:\\gone.dll<LF>is missing"), std::string::npos) << text[2];
    EXPECT_EQ(addInsOutput({}, Format::Text), "No add-ins are registered in the host's category.\r\n");
}

TEST(OutputRules, StaleAndChecklistResultsForPeopleAndPrograms)
{
    doctor::StaleClass gone;
    gone.clsid = "{C}";
    gone.views = {64, 32};
    gone.key = "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{C}";
    gone.server = "C:\\gone.dll";
    gone.progIds = {{"App.Gone", "HKEY_LOCAL_MACHINE\\Software\\Classes\\App.Gone", ""},
                    {"App.Verb", "HKEY_LOCAL_MACHINE\\Software\\Classes\\App.Verb", "holds shell\\open\\command"}};
    doctor::StaleEntry library;
    library.kind = doctor::StaleEntry::Kind::TypeLibVersion;
    library.name = "{L} 1.0";
    library.views = {32};
    library.hive = classes::Hive::UserClasses;
    library.key = "HKEY_CURRENT_USER\\Software\\Classes\\TypeLib\\{L}\\1.0";

    EXPECT_EQ(staleText({}), "No stale classes.\r\n");
    const std::vector<std::string> text = linesOf(staleText({gone}, {library}));
    ASSERT_EQ(text.size(), 5u);
    EXPECT_NE(text[1].find("both"), std::string::npos) << text[1];
    EXPECT_NE(text[1].find("App.Gone, App.Verb"), std::string::npos) << text[1];
    EXPECT_NE(text[1].find("delete; App.Verb kept: holds shell\\open\\command"), std::string::npos) << text[1];
    EXPECT_EQ(text[2], "");
    EXPECT_EQ(text[3].substr(0, 4), "View");
    EXPECT_NE(text[4].find("user  type library"), std::string::npos) << text[4];

    const nlohmann::json stale = nlohmann::json::parse(staleJson({gone}, {library}));
    ASSERT_EQ(stale.size(), 2u);
    EXPECT_EQ(stale[0].at("views"), (nlohmann::json{64, 32}));
    EXPECT_EQ(stale[0].at("progIds")[1].at("cleanup"), "kept: holds shell\\open\\command");
    EXPECT_EQ(stale[1].at("kind"), "typeLib");
    EXPECT_EQ(stale[1].at("hive"), "user");

    // A server not found is named by the path the loader asked for.
    const nlohmann::json lists = nlohmann::json::parse(checklistJson(
        {checklist("{C}", {{"presence", doctor::Status::Pass, "ok"}, {"server", doctor::Status::Warn, "odd"}})}));
    EXPECT_EQ(lists[0].at("result"), "warn");
    EXPECT_EQ(lists[0].at("progId"), "");
    EXPECT_EQ(lists[0].at("server").at("file"), "C:\\gone.dll");
    EXPECT_EQ(lists[0].at("server").at("exists"), false);
    EXPECT_EQ(lists[0].at("checks").at("server"), (nlohmann::json{{"status", "warn"}, {"reason", "odd"}}));
}

} // namespace
