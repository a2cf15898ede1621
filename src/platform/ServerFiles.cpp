#include "platform/ServerFiles.h"

#include "platform/CaptureRun.h"
#include "platform/Folders.h"
#include "platform/RegistryReader.h"
#include "platform/Wide.h"
#include "text/Text.h"

#include <windows.h>

namespace platform {

namespace {

std::vector<std::string> pathFolders()
{
    std::vector<std::string> folders;
    const DWORD needed = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (needed == 0) return folders;
    std::wstring path(needed, L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", path.data(), needed));
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find(L';', start), path.size());
        if (end > start) folders.push_back(utf8Of(path.substr(start, end - start)));
        start = end + 1;
    }
    return folders;
}

} // namespace

SystemServerFiles::SystemServerFiles()
    // The folders of platform/Folders.h, not the members of the same names.
    : system_(platform::systemFolder()), system32_(platform::system32BitFolder()),
      windows_(platform::windowsFolder()), path_(pathFolders())
{
}

classes::PathKind SystemServerFiles::kindOf(const std::string& path) const
{
    if (path.empty()) return classes::PathKind::Missing;
    const DWORD attributes = GetFileAttributesW(wideOf(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return classes::PathKind::Missing;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? classes::PathKind::Folder : classes::PathKind::File;
}

std::string SystemServerFiles::expand(const std::string& text) const { return platform::expandEnvironment(text); }

std::vector<std::string> SystemServerFiles::searchFolders(classes::View view) const
{
    // Only a 64-bit Windows has a 32-bit system folder; elsewhere there is one.
    std::vector<std::string> folders{view == classes::View::Bits32 && !system32_.empty() ? system32_ : system_,
                                     windows_};
    folders.insert(folders.end(), path_.begin(), path_.end());
    return folders;
}

namespace {

// The reads of one view for the lookup; the last read that gives a text is
// the server's value.
classes::ViewReads readsOf(const platform::RegistryReader& reader, ServerLookup& found)
{
    return {[&reader, &found](const std::string& keyPath) {
                std::optional<classes::Value> value = reader.value(keyPath);
                std::string text = value ? value->leadingText() : "";
                if (!text.empty()) found.serverValue = std::move(value);
                return text;
            },
            [&reader](const std::string& keyPath) { return reader.keyExists(keyPath); }};
}

} // namespace

ServerLookup lookUpServer(const platform::RegistryReader& reader, const std::string& progId)
{
    ServerLookup found;
    found.lookup = classes::lookUpClass(progId, readsOf(reader, found).readDefault);
    if (!classes::hasServer(found.lookup.server)) found.serverValue.reset();
    return found;
}

ServerLookup lookUpServerInEitherView(classes::Hive hive, const std::string& progId)
{
    ServerLookup found;
    const platform::RegistryReader bits64(hive, classes::View::Bits64);
    const platform::RegistryReader bits32(hive, classes::View::Bits32);
    found.lookup = classes::lookUpClassInEitherView(progId, readsOf(bits64, found), readsOf(bits32, found));
    if (!classes::hasServer(found.lookup.server)) found.serverValue.reset();
    return found;
}

classes::ServerFile resolveServerFile(const std::optional<classes::Value>& value, classes::View view, bool localServer)
{
    const SystemServerFiles files;
    return localServer ? classes::resolveLocalServer(value, view, files) : classes::resolveServer(value, view, files);
}

WindowServer windowServerOf(const std::string& clsid, classes::View view, const std::string& shownPath)
{
    WindowServer server{shownPath, 0};
    if (text::isBracedGuid(clsid)) {
        const platform::RegistryReader reader(classes::Hive::ClassesRoot, view);
        const classes::ServerFile file = resolveServerFile(reader.value(classes::serverKey(clsid)), view);
        if (file.found()) server.path = file.file;
    }
    if (!server.path.empty()) server.bits = dllBits(server.path);
    return server;
}

std::string absolutePath(const std::string& path)
{
    if (path.empty()) return path;
    const std::wstring wide = wideOf(path);
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    return utf8Of(full);
}

} // namespace platform
