#pragma once
// Whether the loader can bind a server's imports: every DLL it and its
// dependencies import, at load time and delayed, found where the loader of
// the view finds it, built for the server's machine, and exporting every
// function imported from it. The search order is the one COM's
// LoadLibraryEx(full path, LOAD_WITH_ALTERED_SEARCH_PATH) gives (see
// "How a server's dependencies are found" in the README):
// - API sets (api-ms-win-*, ext-ms-*) are the system's own and not looked for;
// - a name in KnownDLLs is the system folder's copy, and so are its dependencies;
// - a name already bound is that module again (the loader matches by base name);
// - else the server's own folder, the view's system folder, the Windows
//   folder and PATH, in that order, by the server rule's search
//   (classes/ServerRule.h); a DLL of another machine is passed over.
// Files are read through ModuleReader, so the walk is plain code.
#include "classes/ServerRule.h"
#include "doctor/PeTables.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace doctor {

// A whole file's bytes, valid while `owner` lives: a mapping of the file
// (only the pages read are read from disk) or a copy.
struct ModuleFile {
    std::shared_ptr<const void> owner;
    std::string_view bytes;
};

class ModuleReader {
public:
    virtual ~ModuleReader() = default;
    // The file's bytes, all of them; nothing when it cannot be read.
    virtual std::optional<ModuleFile> wholeFile(const std::string& path) const = 0;
    // The DLL names of the KnownDLLs list (empty where the system keeps none).
    virtual std::vector<std::string> knownDlls() const = 0;
    // Whether this system's loader binds an import the DLL does not export
    // to a stub that fails when called, instead of refusing the load with
    // ERROR_PROC_NOT_FOUND as Windows does. Wine's loader does.
    virtual bool stubsMissingFunctions() const { return false; }
};

struct DependencyFinding {
    bool fails = false; // else it warns
    std::string text;   // one line: "MyAddIn.dll → Helper.dll → MSVCP140D.dll: not found"
};

struct DependencyWalk {
    size_t modules = 0; // DLLs found and read, the server included
    size_t apiSets = 0; // API-set names taken as the system's
    std::vector<DependencyFinding> findings;
};

// How many modules one walk reads at most.
inline constexpr size_t kMaxWalkModules = 2048;

// The walk from a server (read from `serverFile` into `server`) in the view.
DependencyWalk walkDependencies(const std::string& serverFile, const PeTables& server, classes::View view,
                                const classes::ServerFileSystem& files, const ModuleReader& reader);

// Whether a DLL name is an API set the system provides.
bool isApiSetName(const std::string& dll);

} // namespace doctor
