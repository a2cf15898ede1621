#include "system/LoadTrial.h"

#include "doctor/LoadVerdict.h"
#include "system/Files.h"
#include "system/Helper.h"
#include "system/RegistryReader.h"
#include "text/Fields.h"
#include "text/Text.h"

#include <windows.h>

namespace doctor {

namespace {

std::string messageFor(const LoadFacts& facts, const char* field)
{
    const std::optional<unsigned long> code = answeredCode(facts, field);
    return code ? platform::systemMessage(*code) : std::string();
}

} // namespace

void tryLoading(Checklist& list, unsigned timeoutSeconds)
{
    const ClassFacts& facts = list.facts;
    if (!facts.in64 && !facts.in32) return;

    LoadFacts load;
    load.bits = facts.view;
    load.timeoutSeconds = timeoutSeconds;
    // The server's file goes along only when there is one: then a DLL the
    // loader does not find is one the server needs.
    std::vector<std::string> arguments{"load", facts.clsid};
    load.serverFound = facts.server.loaded.found();
    if (load.serverFound) arguments.push_back(facts.server.loaded.file);
    // The default interface, as the class's type library names it, goes out
    // to another apartment and back.
    for (const InterfaceFacts& i : facts.interfaces)
        if (i.described.isDefault) load.marshalled = i.described.iid;
    if (!load.marshalled.empty()) arguments.push_back(load.marshalled);
    const platform::ProcessRun run = platform::runHelper(facts.view, arguments, timeoutSeconds);
    load.helper = std::string(text::fileNameOf(run.program));
    load.answer = text::fieldsOf(run.output);
    load.exitCode = run.exitCode;
    switch (run.outcome) {
    case platform::ProcessRun::Outcome::Missing: load.outcome = LoadFacts::Outcome::NoHelper; break;
    case platform::ProcessRun::Outcome::NotStarted: load.outcome = LoadFacts::Outcome::NotStarted; break;
    case platform::ProcessRun::Outcome::TimedOut: load.outcome = LoadFacts::Outcome::TimedOut; break;
    case platform::ProcessRun::Outcome::Exited:
        load.outcome = run.crashed() ? LoadFacts::Outcome::Crashed : LoadFacts::Outcome::Answered;
        break;
    }
    load.classObjectMessage = messageFor(load, loadAnswer::kClassObject);
    load.instanceMessage = messageFor(load, loadAnswer::kInstance);
    load.loadErrorMessage = messageFor(load, loadAnswer::kLoadError);
    for (const Item& item : list.items)
        if (item.key == kDependencies && item.status == Status::Fail) load.missingDependency = item.reason;
    placeLoadItem(list, judgeLoad(load));
}

} // namespace doctor
