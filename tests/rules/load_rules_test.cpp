// The load trial's answer and verdict, and the host's add-ins, from plain
// facts: what the helper's lines say, how each way a trial ends reads, and
// which classes the host's category holds.
#include "MachineImage.h"
#include "doctor/AddIns.h"
#include "doctor/LoadVerdict.h"
#include "scripts/HostCategories.h"
#include "text/Fields.h"

#include <gtest/gtest.h>

using namespace doctor;

namespace {

LoadFacts answered(const std::string& lines)
{
    LoadFacts f;
    f.outcome = LoadFacts::Outcome::Answered;
    f.helper = "AddInRegLoad64.exe";
    f.answer = text::fieldsOf(lines);
    return f;
}

TEST(LoadRules, AnswerLinesCannotBeForgedAndSurviveLineEnds)
{
    // A message with a line end in it stays one field.
    const std::string lines = text::fieldLine("stage", "classObject") +
                              text::fieldLine("message", "bad\r\nclassObject=0x00000000") + "module=C:\\a=b.dll\r\r\n" +
                              "no equals sign\n" + "stage=done";
    const auto fields = text::fieldsOf(lines);
    EXPECT_EQ(fields.count("classObject"), 0u);
    EXPECT_EQ(fields.at("message"), "bad  classObject=0x00000000");
    EXPECT_EQ(fields.at("module"), "C:\\a=b.dll");
    EXPECT_EQ(fields.at("stage"), "done");
}

TEST(LoadRules, EachWayATrialEndsReads)
{
    EXPECT_EQ(judgeLoad(answered("classObject=0x00000000\ninstance=0x00000000\nmodule=C:\\a.dll\nstage=done")).status,
              Status::Pass);

    LoadFacts missing = answered("classObject=0x8007007E\nloadError=126\nstage=done");
    missing.missingDependency = "a.dll \xE2\x86\x92 MSVCP140D.dll: not found";
    Item item = judgeLoad(missing);
    EXPECT_EQ(item.status, Status::Fail);
    EXPECT_NE(item.reason.find("a DLL it needs was not found (a.dll \xE2\x86\x92 MSVCP140D.dll"), std::string::npos)
        << item.reason;
    missing.serverFound = false;
    EXPECT_NE(judgeLoad(missing).reason.find("no server file"), std::string::npos);

    item = judgeLoad(answered("classObject=0x00000000\ninstance=0x80004002\nstage=done"));
    EXPECT_EQ(item.status, Status::Fail);
    EXPECT_NE(item.reason.find("CreateInstance failed: 0x80004002"), std::string::npos) << item.reason;

    LoadFacts hung = answered("stage=classObject");
    hung.outcome = LoadFacts::Outcome::TimedOut;
    hung.timeoutSeconds = 30;
    EXPECT_EQ(judgeLoad(hung).reason,
              "no answer within 30 s while loading the server and getting its class object; the 64-bit helper was ended");

    LoadFacts crashed = answered("stage=classObject\nclassObject=0x00000000\nstage=instance");
    crashed.outcome = LoadFacts::Outcome::Crashed;
    crashed.exitCode = 0xC0000005;
    EXPECT_EQ(judgeLoad(crashed).reason, "crashed with exception 0xC0000005 while creating an instance");

    // A helper that is not there is no verdict on the add-in.
    LoadFacts absent;
    absent.outcome = LoadFacts::Outcome::NoHelper;
    absent.helper = "AddInRegLoad32.exe";
    EXPECT_EQ(judgeLoad(absent).status, Status::Warn);

    // Garbage where a code belongs is no code.
    EXPECT_FALSE(answeredCode(answered("classObject=0x1234567890"), "classObject"));
    EXPECT_FALSE(answeredCode(answered("classObject=0xZZ"), "classObject"));
}

TEST(LoadRules, TheLoadItemFollowsTheFileItemsAndIsReplaced)
{
    Checklist list;
    list.items = {{kPresence, Status::Pass, ""}, {kMachine, Status::Pass, ""}, {kThreading, Status::Pass, ""}};
    placeLoadItem(list, {kLoad, Status::Fail, "first"});
    placeLoadItem(list, {kLoad, Status::Pass, "second"});
    ASSERT_EQ(list.items.size(), 4u);
    EXPECT_EQ(list.items[2].key, kLoad);
    EXPECT_EQ(list.items[2].reason, "second");
    EXPECT_EQ(list.items[3].key, kThreading);
}

TEST(LoadRules, AddInsAreTheClassesOfTheHostsCategoryInEachViewAndHive)
{
    using classes::Hive;
    using classes::View;
    testing_image::MachineImage image;
    const std::string r6 = "{00000000-0000-0000-0000-0000000000A6}";
    const std::string older = "{00000000-0000-0000-0000-0000000000B1}";
    const std::string other = "{00000000-0000-0000-0000-0000000000C0}";
    const auto addIn = [&](Hive hive, View view, const std::string& clsid, const char* category) {
        image.setText(hive, view, "CLSID\\" + clsid, "", "Menu " + clsid.substr(35, 2));
        image.setText(hive, view, "CLSID\\" + clsid + "\\Settings", "LoadOnStartUp", "1");
        image.key(hive, view, "CLSID\\" + clsid + "\\Implemented Categories\\" + category);
    };
    addIn(Hive::MachineClasses, View::Bits64, r6, scripts::kR6Category);
    addIn(Hive::UserClasses, View::Bits64, r6, scripts::kR6Category);
    addIn(Hive::MachineClasses, View::Bits32, older, scripts::kOlderCategory);
    addIn(Hive::MachineClasses, View::Bits64, other, "{11111111-1111-1111-1111-111111111111}");
    const doctor::Machine machine{image, image, image};

    const std::vector<AddInRow> any = findAddIns(machine, Host::Any, true, true);
    ASSERT_EQ(any.size(), 3u);
    EXPECT_EQ(any[0].hive, Hive::MachineClasses);
    EXPECT_EQ(any[1].hive, Hive::UserClasses);
    EXPECT_EQ(any[2].view, 32);
    EXPECT_EQ(any[2].checklist.facts.view, 32);
    EXPECT_EQ(any[0].menuName, "Menu A6");
    EXPECT_EQ(any[0].loadOnStartUp, "1");
    // No server: the worst item says so.
    EXPECT_EQ(any[0].checklist.result(), Status::Fail);
    EXPECT_EQ(worstItem(any[0].checklist)->key, kServer);

    EXPECT_EQ(findAddIns(machine, Host::R6, true, true).size(), 2u);
    EXPECT_EQ(findAddIns(machine, Host::Older, true, false).size(), 0u);
}

} // namespace
