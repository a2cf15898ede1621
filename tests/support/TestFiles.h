#pragma once
// Files and folders that tests make, read back and remove.
#include <optional>
#include <string>

namespace testing_support {

// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);
bool pathExists(const std::string& path);
// Removes the folder (given with its trailing separator) and all it holds.
// Returns whether it is gone, or goes once the last process using it ends.
bool removeFolder(const std::string& folder);

} // namespace testing_support
