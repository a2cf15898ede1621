#include "classes/ClassLookup.h"

namespace classes {

namespace {
constexpr char kLineEnd[] = "\r\n";
}

ClassLookup lookUpClass(const std::string& progId, const DefaultValueReader& readDefault)
{
    ClassLookup found;
    found.clsid = readDefault(progId + "\\CLSID");
    if (found.clsid.empty()) {
        found.text = "CLSID not found";
        return found;
    }
    found.text = "CLSID = " + found.clsid + kLineEnd;
    found.server = readDefault("CLSID\\" + found.clsid + "\\InProcServer32");
    if (found.server.empty()) {
        found.server = readDefault("CLSID\\" + found.clsid + "\\LocalServer32");
        found.localServer = !found.server.empty();
    }
    if (!found.server.empty()) found.text += "InProcServer = " + found.server + kLineEnd;
    return found;
}

} // namespace classes
