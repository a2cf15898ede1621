#include "system/ServerFiles.h"

#include <windows.h>

namespace platform {

namespace {

std::string systemFolder(bool bits32)
{
    char folder[MAX_PATH];
    UINT length = 0;
    // Only a 64-bit Windows has a 32-bit system folder; elsewhere there is one.
    if (bits32) length = GetSystemWow64DirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return {folder, length};
}

bool startsWithFolder(const std::string& path, const std::string& folder)
{
    if (folder.empty() || path.size() <= folder.size() || path[folder.size()] != '\\') return false;
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str(), int(folder.size()), folder.c_str(),
                          int(folder.size())) == CSTR_EQUAL;
}

} // namespace

LoadedFile loadedServerFile(const std::string& path, bool bits32)
{
    if (!path.empty() && path.find_first_of("\\/") == std::string::npos && path.find(':') == std::string::npos) {
        const std::string folder = systemFolder(bits32);
        return {folder.empty() ? path : folder + "\\" + path, true};
    }
    if (bits32) {
        const std::string system = systemFolder(false);
        const std::string system32 = systemFolder(true);
        if (system32 != system && startsWithFolder(path, system)) return {system32 + path.substr(system.size()), false};
    }
    return {path, false};
}

std::string absolutePath(const std::string& path)
{
    if (path.empty()) return path;
    DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::string full(needed, '\0');
    DWORD length = GetFullPathNameA(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    return full;
}

} // namespace platform
