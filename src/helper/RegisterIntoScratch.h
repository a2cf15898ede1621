#pragma once
// The registration capture, run in the helper program: the four predefined
// keys a DLL can write through (HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE,
// HKEY_CURRENT_USER, HKEY_USERS) are pointed at subkeys of a scratch key
// the companion made, before the DLL is loaded; then the DLL is loaded and
// its DllRegisterServer runs, as regsvr32 runs it. What it writes through
// them lands below the scratch key, where the companion reads it. Writes
// that go around the predefined keys are the companion's to notice. The
// stand-in keys and the fields of the answer: scripts/CapturedRegistration.h.
#include <string>
#include <vector>

namespace helper {

// Runs the capture; the arguments follow the word "capture":
//   SCRATCH DLL
// SCRATCH is the scratch key's path below HKEY_CURRENT_USER (it holds the
// four stand-in subkeys). Returns the program's exit code: 0 when the steps
// ran (whatever DllRegisterServer gave), 2 when the arguments are wrong, 3
// when the keys could not be pointed at the scratch key.
int runCapture(const std::vector<std::wstring> &arguments);

} // namespace helper
