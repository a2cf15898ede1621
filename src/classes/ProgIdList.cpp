#include "classes/ProgIdList.h"

#include <algorithm>
#include <array>

namespace classes {

bool isListedProgId(const std::string& name)
{
    static const std::array<std::string, 4> dropped = {"*", "CLSID", "AppID", "Component Categories"};
    if (!name.empty() && name.front() == '.') return false;
    return std::find(dropped.begin(), dropped.end(), name) == dropped.end();
}

std::vector<std::string> listedProgIds(std::vector<std::string> names)
{
    std::erase_if(names, [](const std::string& name) { return !isListedProgId(name); });
    return names;
}

} // namespace classes
