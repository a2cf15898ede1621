#pragma once
// The registration capture on this machine: a scratch key below
// HKEY_CURRENT_USER\Software\AddInReg\Capture, the helper of the DLL's
// bitness that runs the DLL's DllRegisterServer with the predefined keys
// pointed into it (helper/RegisterIntoScratch.h), what landed there, and whether any
// write went around it into the real registry. The DLL's code runs in the
// helper only, never in this process. The scratch key is removed on every
// path; those of a run that was killed go at the next capture.
#include "scripts/CapturedRegistration.h"

#include <string>
#include <vector>

namespace platform {

// How long a capture may take by default, in seconds.
inline constexpr unsigned kDefaultCaptureTimeout = 60;

struct CaptureRun {
    enum class Outcome {
        Captured,       // DllRegisterServer succeeded
        NotADll,        // the file is not an x86 or x64 DLL (or cannot be read)
        HelperMissing,  // the helper of the DLL's bitness is not beside this program
        HelperFailed,   // the helper did not start, or could not point the keys at the scratch key
        ScratchFailed,  // the scratch key could not be made
        LoadFailed,     // the DLL did not load (`code`: the loader's error)
        NoEntry,        // the DLL exports no DllRegisterServer
        RegisterFailed, // DllRegisterServer failed (`code`: its HRESULT)
        Crashed,        // the helper ended by an exception (`code`)
        TimedOut,       // the helper was ended at the time limit
    };
    Outcome outcome = Outcome::HelperFailed;
    int bits = 64;
    unsigned long code = 0;
    std::string dll;     // the DLL's full path
    std::string module;  // the loaded module's file, as the loader named it
    std::string helper;  // the helper's path
    std::vector<scripts::CapturedKey> keys; // what DllRegisterServer wrote through the predefined keys
    // Writes into the real registry that the watch saw: true even when no
    // key can be named.
    bool escaped = false;
    std::vector<std::string> escapedKeys; // full names of keys written in the real registry
    std::string detail;                   // the helper's own error, when it gave one
    // RegisterFailed with "class not registered" after writing a class of
    // its own: the DLL activated it, and COM looked in the real registry.
    bool activatesOwnClass = false;
    unsigned timeoutSeconds = 0;
};

// Runs the capture of the DLL (a path, UTF-8) with a time limit in seconds
// (0: none).
CaptureRun captureRegistration(const std::string& dll, unsigned timeoutSeconds);

// A capture taken to its two scripts, or why there are none.
struct CapturedScripts {
    CaptureRun run;
    bool clean = false;                // the capture ran, nothing escaped, every key and value can be written
    std::vector<std::string> problems; // why there are no scripts, one sentence a line
    std::vector<std::string> notes;    // keys left out of a per-user script
    std::string registerScript;        // the files' bytes
    std::string unRegisterScript;
};

// Captures the DLL's registration and makes its register and un-register
// scripts for the machine's classes or, `perUser`, the user's, with every
// spelling of the DLL's path replaced by `server` ("": kept as written).
// `templateScript` and `templateUnRegister` (UTF-8 REGEDIT4 scripts, "" for
// none) follow the captured keys in each, their keys moved to the same
// classes. The un-register script deletes only what was not there before.
CapturedScripts captureScripts(const std::string& dll, const std::string& server, bool perUser, unsigned timeoutSeconds,
                               const std::string& templateScript = "", const std::string& templateUnRegister = "");

// One sentence of what went wrong, or "" for a clean capture.
std::string captureProblem(const CaptureRun& run);

// The spellings of the DLL's path a registration may write: the path given,
// its full, long and short forms, and the loaded module's file.
std::vector<std::string> pathSpellingsOf(const CaptureRun& run);

// The registry as it is, for the un-register script (HKEY_CLASSES_ROOT as
// programs see it).
scripts::ExistingKeys existingKeys();

// The DLL's bitness from its PE header: 64, 32, or 0 when it is not an x86
// or x64 DLL.
int dllBits(const std::string& dll);

} // namespace platform
