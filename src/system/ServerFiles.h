#pragma once
// Where the loader of a 64-bit or a 32-bit host finds a registered server
// file, so that a server can be checked without being loaded.
#include <string>

namespace platform {

struct LoadedFile {
    std::string path;           // the file the loader opens
    bool fromSystemFolder = false; // a bare file name, found (or looked for) in the system folder
};

// A bare file name is looked for in the system folder of the host's bitness.
// For a 32-bit host, a path into the system folder is one into the 32-bit
// system folder (SysWOW64), as the file system redirects it. Other paths are
// as given.
LoadedFile loadedServerFile(const std::string& path, bool bits32);

// The path made absolute against the current folder; as given when that fails.
std::string absolutePath(const std::string& path);

} // namespace platform
