#pragma once
// What "Write Reg File" hands to the reg-file window for the last lookup.
#include <string>

namespace classes {

// Whether the windows act on a class's server: hand it to the reg-file
// window, unregister it: five characters long at least, blanks counted,
// as the windows have always had it; a shorter one is left alone, its
// buttons doing nothing. A CLSID counts from two characters on.
bool windowsActOnServer(const std::string& server);
bool hasClsid(const std::string& clsid);

// The register script named after a server, a path or a file name: the
// server less its last three characters (its extension) plus "reg", so that
// "C:\AddIns\MyAddIn.dll" gives "C:\AddIns\MyAddIn.reg"; "default.reg" for
// a server the windows do not act on. The one name every window suggests.
std::string regFileNameOf(const std::string& server);

struct HandOff {
    std::string clsid;       // the CLSID, or "{xxx-xxx}"
    std::string server;      // the server, or "NoServer"
    std::string regFileName; // regFileNameOf(server)
};

HandOff handOffFor(const std::string& clsid, const std::string& server);

} // namespace classes
