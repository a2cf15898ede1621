#include "doctor/LoadVerdict.h"

#include "text/Fields.h"
#include "text/Text.h"

#include <algorithm>

namespace doctor {

namespace {

// The loader's errors a person meets most, in the words the report uses.
constexpr unsigned long kModuleNotFound = 126; // ERROR_MOD_NOT_FOUND

std::string withMessage(const std::string& code, const std::string& message)
{
    return message.empty() ? code : code + " (" + message + ")";
}

// The step the helper was at, as a person reads it.
std::string stepOf(const LoadFacts& facts)
{
    const auto stage = facts.answer.find(loadAnswer::kStage);
    if (stage == facts.answer.end()) return "while starting";
    if (stage->second == loadAnswer::kClassObject) return "while loading the server and getting its class object";
    if (stage->second == loadAnswer::kInstance) return "while creating an instance";
    if (stage->second == loadAnswer::kMarshal) return "while marshalling the default interface across apartments";
    return "after the trial";
}

std::string whyNotLoaded(const LoadFacts& facts)
{
    if (!facts.serverFound) return "; there is no server file to load";
    const std::optional<unsigned long> error = answeredCode(facts, loadAnswer::kLoadError);
    if (!error) return {};
    if (*error == kModuleNotFound) {
        std::string why = "; the DLL did not load: a DLL it needs was not found";
        if (!facts.missingDependency.empty()) why += " (" + facts.missingDependency + ")";
        return why;
    }
    return "; the DLL did not load: error " + std::to_string(*error) +
           (facts.loadErrorMessage.empty() ? std::string() : " (" + facts.loadErrorMessage + ")");
}

} // namespace

std::optional<unsigned long> answeredCode(const LoadFacts& facts, const char* field)
{
    const auto found = facts.answer.find(field);
    if (found == facts.answer.end()) return std::nullopt;
    return text::codeOf(found->second);
}

Item judgeLoad(const LoadFacts& f)
{
    const std::string by = "the " + std::to_string(f.bits) + "-bit helper";
    switch (f.outcome) {
    case LoadFacts::Outcome::NoHelper:
        return {kLoad, Status::Warn, "not tried: " + f.helper + " is not beside the program"};
    case LoadFacts::Outcome::NotStarted:
        return {kLoad, Status::Warn, "not tried: " + f.helper + " did not start"};
    case LoadFacts::Outcome::TimedOut:
        return {kLoad, Status::Fail,
                "no answer within " + std::to_string(f.timeoutSeconds) + " s " + stepOf(f) + "; " + by +
                    " was ended"};
    case LoadFacts::Outcome::Crashed:
        return {kLoad, Status::Fail, "crashed with exception " + text::codeText(f.exitCode) + " " + stepOf(f)};
    case LoadFacts::Outcome::Answered: break;
    }

    const std::optional<unsigned long> classObject = answeredCode(f, loadAnswer::kClassObject);
    if (!classObject) {
        // Ended without a word on the class object: the helper refused the
        // arguments or could not start COM.
        return {kLoad, Status::Fail, by + " ended with code " + std::to_string(f.exitCode) + " " + stepOf(f)};
    }
    if (*classObject >= 0x80000000UL)
        return {kLoad, Status::Fail,
                "CoGetClassObject failed: " + withMessage(text::codeText(*classObject), f.classObjectMessage) + whyNotLoaded(f)};
    const std::optional<unsigned long> instance = answeredCode(f, loadAnswer::kInstance);
    if (!instance)
        return {kLoad, Status::Fail, "got the class object, then ended " + stepOf(f)};
    if (*instance >= 0x80000000UL)
        return {kLoad, Status::Fail,
                "the class object was got, but CreateInstance failed: " +
                    withMessage(text::codeText(*instance), f.instanceMessage)};
    if (!f.marshalled.empty()) {
        // Out and back across apartments, as a host's other threads call it.
        for (const auto& [field, step] :
             {std::pair{loadAnswer::kMarshal, "marshalling it for another apartment"},
              std::pair{loadAnswer::kUnmarshal, "unmarshalling it in the multithreaded apartment"},
              std::pair{loadAnswer::kMarshalBack, "marshalling it back"}}) {
            const std::optional<unsigned long> code = answeredCode(f, field);
            if (!code)
                return {kLoad, Status::Fail,
                        "the instance was made, then the helper ended " + stepOf(f) + " with the interface " +
                            f.marshalled};
            if (*code >= 0x80000000UL)
                return {kLoad, Status::Fail,
                        "the instance was made, but " + std::string(step) + " (" + f.marshalled +
                            ") failed: " + hresultName(*code)};
        }
    }
    const auto module = f.answer.find(loadAnswer::kModule);
    std::string reason = "loaded by " + by + ": class object and instance made";
    if (!f.marshalled.empty()) reason += ", " + f.marshalled + " marshalled to another apartment and back";
    if (module != f.answer.end() && !module->second.empty()) reason += " (" + module->second + ")";
    if (f.exitCode != static_cast<unsigned long>(text::helperExit::kRan))
        return {kLoad, Status::Warn, reason + ", but the helper then ended with " + text::codeText(f.exitCode)};
    return {kLoad, Status::Pass, reason};
}

void placeLoadItem(Checklist& list, Item item)
{
    std::vector<Item>& items = list.items;
    items.erase(std::remove_if(items.begin(), items.end(), [](const Item& i) { return i.key == kLoad; }),
                items.end());
    // After the server, machine and file items; before the registry's own.
    const auto next = std::find_if(items.begin(), items.end(), [](const Item& i) {
        return i.key == kThreading || i.key == kDotNet || i.key == kMenu || i.key == kCategories ||
               i.key == kSettings || i.key == kTypeLib || i.key == kInterfaces || i.key == kProgId;
    });
    items.insert(next, std::move(item));
}

} // namespace doctor
