#include "system/VerifyProbe.h"

#include "system/AnsiText.h"
#include "system/Handle.h"
#include "text/Text.h"

#include <windows.h>

namespace platform {

namespace {

using scripts::RegRoot;

constexpr REGSAM kRead = KEY_READ | KEY_WOW64_64KEY;

std::wstring wide(const std::string& utf8)
{
    const std::u16string units = text::utf16FromUtf8(utf8);
    return {units.begin(), units.end()};
}

HKEY rootHandle(RegRoot root)
{
    switch (root) {
    case RegRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegRoot::Users: return HKEY_USERS;
    case RegRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
    }
    return nullptr;
}

UniqueHkey openKey(HKEY root, const std::string& path)
{
    UniqueHkey key;
    if (RegOpenKeyExW(root, wide(path).c_str(), 0, kRead, key.put()) != ERROR_SUCCESS) return {};
    return key;
}

// The key a path names. Below HKEY_CLASSES_ROOT the per-user key wins when
// it exists; read here, since Wine's HKEY_CLASSES_ROOT leaves that hive out.
UniqueHkey openScriptKey(RegRoot root, const std::string& path)
{
    if (root != RegRoot::ClassesRoot) return openKey(rootHandle(root), path);
    const std::string below = path.empty() ? "Software\\Classes" : "Software\\Classes\\" + path;
    if (UniqueHkey user = openKey(HKEY_CURRENT_USER, below)) return user;
    return openKey(HKEY_LOCAL_MACHINE, below);
}

std::optional<doctor::StoredValue> readValue(HKEY key, const std::string& name)
{
    const std::wstring wideName = wide(name);
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size);
    std::string data;
    // The value may grow between the two calls.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        data.resize(size);
        status = RegQueryValueExW(key, wideName.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
        if (status == ERROR_SUCCESS) {
            data.resize(size);
            return doctor::StoredValue{static_cast<uint32_t>(type), data};
        }
    }
    return std::nullopt;
}

} // namespace

doctor::RegistryProbe verifyProbe()
{
    doctor::RegistryProbe probe;
    probe.keyExists = [](RegRoot root, const std::string& path) { return bool(openScriptKey(root, path)); };
    probe.value = [](RegRoot root, const std::string& path, const std::string& name) -> std::optional<doctor::StoredValue> {
        const UniqueHkey key = openScriptKey(root, path);
        if (!key) return std::nullopt;
        return readValue(key.get(), name);
    };
    return probe;
}

scripts::AnsiToUtf8 ansiScriptDecoder()
{
    return [](std::string_view bytes) { return ansiToUtf8(std::string(bytes)); };
}

} // namespace platform
