#include "classes/ClassLookup.h"

#include "classes/ServerRule.h"
#include "text/Text.h"

namespace classes {

namespace {

void readServer(ClassLookup& found, const DefaultValueReader& readDefault)
{
    // The main window shows a value that is not empty as it is, blanks
    // included, and falls back to LocalServer32 only for an empty one.
    found.server = readDefault(classes::serverKey(found.clsid));
    found.localServer = false;
    if (found.server.empty()) {
        found.server = readDefault(classes::classKey(found.clsid) + "\\LocalServer32");
        found.localServer = !found.server.empty();
    }
    found.text = "CLSID = " + found.clsid + text::kCrLf;
    if (!found.server.empty()) found.text += "InProcServer = " + found.server + text::kCrLf;
}

} // namespace

ClassLookup lookUpClass(const std::string& progId, const DefaultValueReader& readDefault)
{
    ClassLookup found;
    found.clsid = readDefault(progId + "\\CLSID");
    if (found.clsid.empty()) {
        found.text = "CLSID not found";
        return found;
    }
    readServer(found, readDefault);
    return found;
}

ClassLookup lookUpClassInEitherView(const std::string& progId, const ViewReads& bits64, const ViewReads& bits32)
{
    ClassLookup found = lookUpClass(progId, bits64.readDefault);
    if (found.clsid.empty() || !found.server.empty()) return found;
    const std::string key = classes::classKey(found.clsid);
    if (bits64.keyExists(key) || !bits32.keyExists(key)) return found;
    found.view = classes::View::Bits32;
    readServer(found, bits32.readDefault);
    return found;
}

} // namespace classes
