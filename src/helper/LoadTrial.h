#pragma once
// The load trial, run in the helper program: asks the system's COM loader
// for one class in-process, as a host does, and answers step by step (see
// helper/Answer.h), so that a trial that hangs or crashes still tells how far
// it came.
#include <string>

namespace helper {

// The fields of the answer.
inline constexpr char kStage[] = "stage";             // the step under way: classObject, instance, done
inline constexpr char kClassObject[] = "classObject"; // CoGetClassObject's HRESULT, "0x%08X"
inline constexpr char kInstance[] = "instance";       // IClassFactory::CreateInstance's HRESULT
inline constexpr char kModule[] = "module";           // the file of the module that serves the class object
inline constexpr char kLoadError[] = "loadError";     // when the class object failed: the loader's error for the server
inline constexpr char kException[] = "exception";     // an exception nobody handled, "0x%08X"

// Runs the trial for the class (its "{...}" text) whose server the
// companion found at `server` ("" when it found none). Returns the program's exit code: 0 when the
// trial ran (whatever it found), 2 when the arguments are wrong, 3 when COM
// did not start.
int runLoadTrial(const std::wstring& clsid, const std::wstring& server);

} // namespace helper
