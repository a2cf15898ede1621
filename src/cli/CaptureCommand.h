#pragma once
// `capture DLL --out FILE.reg`: the register script of exactly what the
// DLL's DllRegisterServer writes, and its un-register script. The DLL runs
// in the helper of its bitness, never in this process.
#include "cli/ExitCode.h"
#include "platform/CaptureRun.h"

#include <memory>

namespace CLI {
class App;
}

namespace cli {

class CaptureCommand {
public:
    // Adds the command to the program's.
    explicit CaptureCommand(CLI::App& app);
    ~CaptureCommand();
    CaptureCommand(const CaptureCommand&) = delete;
    CaptureCommand& operator=(const CaptureCommand&) = delete;

    bool parsed() const;
    ExitCode run() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Prints why a capture gave no scripts ("No script was written."), or the
// notes of one that did. True when it is clean.
bool reportCapture(const platform::CapturedScripts& captured);

// What --help says of every command that captures.
inline constexpr char kCaptureRunsCode[] =
    "A capture runs the DLL's own code (its DllRegisterServer), as regsvr32 does, in a helper process of the DLL's "
    "bitness, with the registry redirected into a scratch key; nothing is written when any write goes around it.";

} // namespace cli
