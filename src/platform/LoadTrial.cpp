#include "platform/LoadTrial.h"

#include "doctor/LoadVerdict.h"
#include "platform/Files.h"
#include "platform/Helper.h"
#include "platform/RegistryReader.h"
#include "text/Fields.h"
#include "text/Text.h"

#include <windows.h>

namespace platform {

namespace {

std::string messageFor(const doctor::LoadFacts& facts, const char* field)
{
    const std::optional<unsigned long> code = doctor::answeredCode(facts, field);
    return code ? platform::systemMessage(*code) : std::string();
}

} // namespace

void tryLoading(doctor::Checklist& list, unsigned timeoutSeconds)
{
    const doctor::ClassFacts& facts = list.facts;
    if (!facts.in64 && !facts.in32) return;

    doctor::LoadFacts load;
    load.bits = facts.view;
    load.timeoutSeconds = timeoutSeconds;
    // The server's file goes along only when there is one: then a DLL the
    // loader does not find is one the server needs.
    std::vector<std::string> arguments{"load", facts.clsid};
    load.serverFound = facts.server.loaded.found();
    if (load.serverFound) arguments.push_back(facts.server.loaded.file);
    // The default interface, as the class's type library names it, goes out
    // to another apartment and back.
    for (const doctor::InterfaceFacts& i : facts.interfaces)
        if (i.described.isDefault) load.marshalled = i.described.iid;
    if (!load.marshalled.empty()) arguments.push_back(load.marshalled);
    const platform::ProcessRun run = platform::runHelper(facts.view, arguments, timeoutSeconds);
    load.helper = std::string(text::fileNameOf(run.program));
    load.answer = text::fieldsOf(run.output);
    load.exitCode = run.exitCode;
    switch (run.outcome) {
    case platform::ProcessRun::Outcome::Missing: load.outcome = doctor::LoadFacts::Outcome::NoHelper; break;
    case platform::ProcessRun::Outcome::NotStarted: load.outcome = doctor::LoadFacts::Outcome::NotStarted; break;
    case platform::ProcessRun::Outcome::TimedOut: load.outcome = doctor::LoadFacts::Outcome::TimedOut; break;
    case platform::ProcessRun::Outcome::Exited:
        load.outcome = run.crashed() ? doctor::LoadFacts::Outcome::Crashed : doctor::LoadFacts::Outcome::Answered;
        break;
    }
    load.classObjectMessage = messageFor(load, doctor::loadAnswer::kClassObject);
    load.instanceMessage = messageFor(load, doctor::loadAnswer::kInstance);
    load.loadErrorMessage = messageFor(load, doctor::loadAnswer::kLoadError);
    for (const doctor::Item& item : list.items)
        if (item.key == doctor::kDependencies && item.status == doctor::Status::Fail) load.missingDependency = item.reason;
    doctor::placeLoadItem(list, doctor::judgeLoad(load));
}

} // namespace platform
