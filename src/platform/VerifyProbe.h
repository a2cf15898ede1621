#pragma once
// The registry as the verifier reads it back: the 64-bit view, through the
// wide calls, every root a script can name. HKEY_CLASSES_ROOT is read as
// programs see it, a per-user key (HKEY_CURRENT_USER\Software\Classes)
// winning over the machine's, key by key; the other roots are read as they
// are.
#include "doctor/Verify.h"

namespace platform {

doctor::RegistryProbe verifyProbe();

// The ANSI code page's text as UTF-8, as the importer reads an ANSI script.
scripts::AnsiToUtf8 ansiScriptDecoder();

} // namespace platform
