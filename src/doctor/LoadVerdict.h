#pragma once
// The load trial's item: what the helper program answered when it asked the
// system's COM loader for the class (helper/ClassActivation.h), judged. The trial
// itself runs the add-in's code, so it runs only on request; the facts are
// gathered by platform/LoadTrial.h.
#include "doctor/Checklist.h"

#include <map>
#include <optional>
#include <string>

namespace doctor {

// The fields of the helper's answer to a load trial (helper/ClassActivation.h writes
// them, text/Fields.h carries them).
namespace loadAnswer {
inline constexpr char kStage[] = "stage";             // the step under way: classObject, instance, marshal, done
inline constexpr char kClassObject[] = "classObject"; // CoGetClassObject's HRESULT
inline constexpr char kInstance[] = "instance";       // IClassFactory::CreateInstance's HRESULT
inline constexpr char kModule[] = "module";           // the file of the module that serves the class object
inline constexpr char kLoadError[] = "loadError";     // when the class object failed: the loader's error for the server
inline constexpr char kMarshal[] = "marshal";         // the default interface marshalled for another apartment
inline constexpr char kUnmarshal[] = "unmarshal";     // ... unmarshalled in a thread of the multithreaded one
inline constexpr char kMarshalBack[] = "marshalBack"; // ... and from there back to the object's apartment
inline constexpr char kException[] = "exception";     // an exception nobody handled
inline constexpr char kDone[] = "done";               // the last stage
} // namespace loadAnswer

struct LoadFacts {
    enum class Outcome {
        NoHelper,   // the helper of the view's bitness is not beside the program
        NotStarted, // it did not start
        Answered,   // it ran to its end
        TimedOut,   // it did not end within the time limit and was ended
        Crashed,    // it ended by an exception
    };
    Outcome outcome = Outcome::NotStarted;
    int bits = 64;                     // the helper's bitness: the view's
    std::string helper;                // its file name
    unsigned timeoutSeconds = 0;       // the limit it had
    std::map<std::string, std::string, std::less<>> answer; // its fields
    unsigned long exitCode = 0;        // when it ended: its code, or the exception's
    // The system's words, filled by the gatherer.
    std::string classObjectMessage;    // for the class object's HRESULT
    std::string instanceMessage;       // for the instance's HRESULT
    std::string loadErrorMessage;      // for the loader's error
    std::string missingDependency;     // what the dependencies item found missing, "" when nothing
    bool serverFound = true;           // whether the server rule found the file the loader loads
    std::string marshalled;            // the default interface the helper marshalled ("" none)
};

// The HRESULTs and codes of an answer, as numbers; nothing when the field is
// absent or not "0x" and hex digits.
std::optional<unsigned long> answeredCode(const LoadFacts& facts, const char* field);

// The item: pass when the class object and an instance were made.
Item judgeLoad(const LoadFacts& facts);

// The checklist with the load item put in its place: after the items that
// read the server file, before the registry's own items; one there before
// is replaced.
void placeLoadItem(Checklist& list, Item item);

} // namespace doctor
