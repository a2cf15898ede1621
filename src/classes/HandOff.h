#pragma once
// What "Write Reg File" hands to the reg-file window for the last lookup.
#include <string>

namespace classes {

// A server value counts as present from five characters on, a CLSID from two.
bool hasServer(const std::string& server);
bool hasClsid(const std::string& clsid);

struct HandOff {
    std::string clsid;       // the CLSID, or "{xxx-xxx}"
    std::string server;      // the server, or "NoServer"
    std::string regFileName; // the server less its last three characters plus "reg", or "default.reg"
};

HandOff handOffFor(const std::string& clsid, const std::string& server);

} // namespace classes
