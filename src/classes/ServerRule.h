#pragma once
// The one way from a class's in-process server value to the file the COM
// loader of a view loads. Everything that judges, shows or acts on a server
// file goes through it: the list's "exists" column, the doctor's checks, the
// stale finder and its cleanup, the companion's unregister and the main
// window's context menu. The file system is asked through ServerFileSystem,
// so the rule itself is plain code.
//
// What the loader does with the value (learnt by activating classes of each
// shape in a child process under Wine, and from Windows' documentation of
// the DLL search order):
// - REG_EXPAND_SZ is expanded; REG_SZ never is: "%OS%" in a REG_SZ is part
//   of a folder's name.
// - In a REG_SZ, a path in double quotes is the text inside the first pair of
//   quotes; what follows the closing quote (such as "/automation") is not part
//   of it. An REG_EXPAND_SZ is not unquoted.
// - A REG_MULTI_SZ is read as its first string.
// - Trailing blanks (and dots) of the last name are dropped by the system's
//   path rules, "/" separates folders as "\" does.
// - A full path ("C:\..." or "\\server\share\...") is loaded as it is; a
//   32-bit host's path into the system folder lands in the 32-bit system
//   folder (the file system redirects it).
// - A bare file name or a relative path is looked for along the loader's
//   search order: the host's own folder (unknown here), the view's system
//   folder, the Windows folder, the host's current folder (unknown here),
//   then the folders of PATH. Where it is found depends on the host, so such
//   a server is never judged stale, and is only warned about.
#include "classes/Registry.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace classes {

// Whether a class's server value names a server at all: it holds a
// character other than blanks (spaces and tabs). A value of blanks is as
// none: the class has no server, and no file is looked for. The rule of
// the command line and the checks; the main window shows the value as the
// lookup read it (classes/ClassLookup.h) and acts on it by its own minimum
// (classes/HandOff.h).
bool hasServer(std::string_view value);

enum class PathKind { Missing, File, Folder };

// What the rule needs to know of the machine.
class ServerFileSystem {
public:
    virtual ~ServerFileSystem() = default;
    virtual PathKind kindOf(const std::string& path) const = 0;
    // %NAME% replaced by the environment's values; unknown names stay.
    virtual std::string expand(const std::string& text) const = 0;
    // The folders a bare name is looked for in, in order, for the view: its
    // system folder, the Windows folder, then PATH.
    virtual std::vector<std::string> searchFolders(classes::View view) const = 0;
    // The 64-bit system folder and the 32-bit one ("" on a system without one).
    virtual std::string systemFolder() const = 0;
    virtual std::string system32BitFolder() const = 0;
};

enum class ServerState {
    NotSet,   // no InProcServer32 value, or an empty one
    NotText,  // a value of a type that is not a string
    Found,    // a file the loader opens
    NotFound, // looked for and not there
    Folder,   // a folder, not a file
};

enum class FoundBy {
    FullPath,      // a full path, as given
    OwnFolder,     // a module's dependency, in the folder of the server that was loaded by its full path
    SystemFolder,  // a bare or relative name, in the view's system folder
    WindowsFolder, // ... in the Windows folder
    SearchPath,    // ... in a folder of PATH: the host's environment decides
};

// Which server key of the class the value came from: an in-process server
// is a DLL the loader loads, a local server a command line that COM starts.
enum class ServerKind { InProc, Local };

struct ServerFile {
    ServerState state = ServerState::NotSet;
    ServerKind kind = ServerKind::InProc;
    classes::ValueType type = classes::ValueType::None;
    std::string text;        // the value as stored, up to its first NUL
    std::string expanded;    // REG_EXPAND_SZ expanded; else the text
    bool quoted = false;     // the path was taken from inside double quotes
    std::string path;        // what the loader asks for: expanded, unquoted, trailing blanks dropped
    bool searched = false;   // a bare or relative name, looked for along the search order
    std::string file;        // where it was found; when not found, where a full path was looked for
    FoundBy foundBy = FoundBy::FullPath;

    bool found() const { return state == ServerState::Found; }
};

struct SearchHit {
    std::string file;
    FoundBy foundBy = FoundBy::SystemFolder;
};

// Where the loader of the view finds a bare or relative name: in
// `firstFolder` when one is given (the folder of a server loaded by its full
// path, for its dependencies), then along searchFolders. A file `accept`
// turns down is passed over and the search goes on, as the loader passes
// over a DLL built for another machine. Nothing when no folder has it.
std::optional<SearchHit> searchFor(const std::string& name, classes::View view, const ServerFileSystem& files,
                                   const std::string& firstFolder = {},
                                   const std::function<bool(const std::string&)>& accept = {});

// The value as stored (nothing when the class has no InProcServer32 value);
// the in-process server's rule.
ServerFile resolveServer(const std::optional<classes::Value>& value, classes::View view,
                         const ServerFileSystem& files);

// The program a class's LocalServer32 value starts: the value is a command
// line, and its program is found as CreateProcess finds one (COM adds its
// switch and starts it so):
// - REG_EXPAND_SZ is expanded, REG_SZ never; a REG_MULTI_SZ is its first string.
// - A program in double quotes is the text inside them.
// - Unquoted, each run of the text up to a blank is tried in turn, shortest
//   first ("C:\Program Files\x.exe -Embedding" tries "C:\Program" and
//   "C:\Program Files\x.exe"); the first that names a file is the program.
// - ".exe" is added to a name without an extension.
// - A bare or relative name is looked for in the view's system folder, the
//   Windows folder and PATH (the starting program's folder and the current
//   folder, which come first, are unknown here).
// `path` is the program as the command line names it, `file` where it was
// found, or where the last full path was looked for.
ServerFile resolveLocalServer(const std::optional<classes::Value>& value, classes::View view,
                              const ServerFileSystem& files);

// The path a server value names, as resolveServer takes it apart: the
// expansion (for REG_EXPAND_SZ), the quotes (for REG_SZ) and trailing
// blanks. No file system is asked.
std::string serverPathOf(const std::string& text, classes::ValueType type, const ServerFileSystem& files);

// Whether the path is a full one: a drive letter, colon and separator, or a
// UNC name.
bool isFullPath(const std::string& path);

// One sentence on where the server is, for a report: "C:\x\a.dll",
// "found in the system folder: C:\windows\system32\a.dll"...
std::string describeLocation(const ServerFile& server);

} // namespace classes
