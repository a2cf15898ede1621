#pragma once
// Files and folders that tests make, read back and remove.
#include "platform/Wide.h"

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);
bool pathExists(const std::string& path);
// Removes the folder (UTF-8, given with its trailing separator) and all it
// holds. Returns whether it is gone, or goes once the last process using it ends.
bool removeFolder(const std::string& folder);

// Names outside the code page (and a path past 260 characters in its "\\?\"
// form) through the wide calls: the program's conversion.
using platform::wideOf;
// The names in the folder (given without a trailing separator), sorted.
std::vector<std::wstring> namesIn(const std::wstring& folder);
// Removes the folder and all it holds.
void removeTree(const std::wstring& folder);

} // namespace testing_support
