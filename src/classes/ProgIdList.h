#pragma once
#include <string>
#include <vector>

namespace classes {

// Whether a subkey name of HKEY_CLASSES_ROOT is a ProgID the list shows: the
// file-extension keys (a leading "."), "*", "CLSID", "AppID" and
// "Component Categories" are not. The comparisons are exact and
// case-sensitive.
bool isListedProgId(const std::string& name);

// The names that the list shows, in their given order.
std::vector<std::string> listedProgIds(std::vector<std::string> names);

} // namespace classes
