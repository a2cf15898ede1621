#pragma once
// The class lookup: a ProgID's CLSID and the path of its server, and the text
// the main window shows for them. The reads are passed in, so the same rule
// serves the window (HKEY_CLASSES_ROOT) and the command line (either view).
#include <functional>
#include <string>

namespace classes {

// Reads the default value of a key below the classes root as a string; a
// missing key or value reads as "".
using DefaultValueReader = std::function<std::string(const std::string& keyPath)>;

struct ClassLookup {
    std::string clsid;  // "" when the ProgID names no class
    std::string server; // InProcServer32, else LocalServer32; "" when neither (or no class)
    bool localServer = false; // the server is the LocalServer32 value: a command line, not a DLL
    std::string text;   // "CLSID = ...\r\nInProcServer = ...\r\n", or "CLSID not found"
};

// One, two or three reads: the ProgID's CLSID, the class's InProcServer32,
// and only when that is empty its LocalServer32.
ClassLookup lookUpClass(const std::string& progId, const DefaultValueReader& readDefault);

} // namespace classes
