#include "classes/HandOff.h"

#include "classes/ServerRule.h"

namespace classes {

namespace {
constexpr size_t kMinServerLength = 5;
constexpr size_t kMinClsidLength = 2;
constexpr size_t kExtensionLength = 3;
} // namespace

bool windowsActOnServer(const std::string& server) { return server.size() >= kMinServerLength; }

bool hasClsid(const std::string& clsid) { return clsid.size() >= kMinClsidLength; }

std::string regFileNameOf(const std::string& server)
{
    if (!windowsActOnServer(server)) return "default.reg";
    return server.substr(0, server.size() - kExtensionLength) + "reg";
}

HandOff handOffFor(const std::string& clsid, const std::string& server)
{
    HandOff handOff;
    handOff.clsid = hasClsid(clsid) ? clsid : "{xxx-xxx}";
    handOff.server = windowsActOnServer(server) ? server : "NoServer";
    handOff.regFileName = regFileNameOf(server);
    return handOff;
}

} // namespace classes
