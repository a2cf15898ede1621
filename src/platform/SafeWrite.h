#pragma once
// Writing a script without ever losing a file: a target is replaced only when
// it is a registry script (or empty) that may be written, and then through a
// new file moved over it. Paths are UTF-8 (see platform/Files.h).
#include "scripts/Installer.h"
#include "platform/Files.h"

#include <string>

namespace platform {

enum class WriteResult {
    Written,
    ReadOnly,      // the target is read-only
    NotAScript,    // the target has content that is not a registry script
    IsTemplate,    // the target is the template file that was loaded
    OpenFailed,    // the file could not be created (no name, a missing folder, a folder...)
    WriteFailed,   // writing failed after the file was created
    NotOurOutput,  // the target has content that is not a file of that format this program wrote
};

struct WriteReport {
    WriteResult result = WriteResult::Written;
    platform::FileFailure failure; // the system's reason, for OpenFailed and WriteFailed
    bool written() const { return result == WriteResult::Written; }
};

// Makes the file at `path` hold exactly `text`, unless one of the refusals
// applies; then nothing is written and the old file stays as it was.
// `templatePath` is the template file that was loaded ("" when none). An
// installer include or fragment replaces only a file that one of its format
// was written to (scripts::startsLikeOutputOf), or an empty one.
WriteReport writeScriptFile(const std::string& path, const std::string& text, const std::string& templatePath,
                            scripts::OutputFormat format = scripts::OutputFormat::Reg);

// One plain sentence for a refusal, to follow the path on its own line; ""
// for Written, OpenFailed and WriteFailed.
std::string refusalSentence(WriteResult result);

// Why the file was not written, as the command line says it after the path:
// the refusal, or the system's reason. "" when it was written.
std::string reasonSentence(const WriteReport& report);

} // namespace platform
