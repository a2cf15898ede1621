#include "classes/HandOff.h"

namespace classes {

namespace {
constexpr size_t kMinServerLength = 5;
constexpr size_t kMinClsidLength = 2;
} // namespace

bool hasServer(const std::string& server) { return server.size() >= kMinServerLength; }

bool hasClsid(const std::string& clsid) { return clsid.size() >= kMinClsidLength; }

HandOff handOffFor(const std::string& clsid, const std::string& server)
{
    HandOff handOff;
    handOff.clsid = hasClsid(clsid) ? clsid : "{xxx-xxx}";
    if (hasServer(server)) {
        handOff.server = server;
        handOff.regFileName = server.substr(0, server.size() - 3) + "reg";
    } else {
        handOff.server = "NoServer";
        handOff.regFileName = "default.reg";
    }
    return handOff;
}

} // namespace classes
