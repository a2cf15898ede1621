#include "platform/Folders.h"

#include "platform/Wide.h"

#include <windows.h>

namespace platform {

namespace {

std::string folderFrom(UINT (*get)(LPWSTR, UINT))
{
    wchar_t folder[MAX_PATH];
    const UINT length = get(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return utf8Of(std::wstring_view(folder, length));
}

} // namespace

std::string systemFolder() { return folderFrom(GetSystemDirectoryW); }

std::string system32BitFolder() { return folderFrom(GetSystemWow64DirectoryW); }

std::string windowsFolder() { return folderFrom(GetSystemWindowsDirectoryW); }

} // namespace platform
