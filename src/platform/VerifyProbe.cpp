#include "platform/VerifyProbe.h"

#include "platform/Ansi.h"
#include "platform/RegistryReader.h"

#include <windows.h>

namespace platform {

namespace {

using scripts::RegRoot;

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

// HKEY_CLASSES_ROOT as programs see it: read from both hives here, since
// Wine's HKEY_CLASSES_ROOT leaves the per-user one out.
const classes::MergedClasses& classesRoot()
{
    static const platform::SystemClasses classes;
    static const classes::MergedClasses merged(classes, classes::View::Bits64);
    return merged;
}

} // namespace

doctor::RegistryProbe verifyProbe()
{
    doctor::RegistryProbe probe;
    probe.keyExists = [](RegRoot root, const std::string& path) {
        if (root == RegRoot::ClassesRoot) return classesRoot().keyExists(path);
        return bool(platform::OpenKey(rootHandle(root), path));
    };
    probe.value = [](RegRoot root, const std::string& path, const std::string& name) -> std::optional<doctor::StoredValue> {
        const std::optional<classes::Value> value = root == RegRoot::ClassesRoot
                                                         ? classesRoot().value(path, name)
                                                         : platform::OpenKey(rootHandle(root), path).value(name);
        if (!value) return std::nullopt;
        return doctor::StoredValue{static_cast<uint32_t>(value->type), std::string(value->data.begin(), value->data.end())};
    };
    return probe;
}

scripts::AnsiToUtf8 ansiScriptDecoder()
{
    return [](std::string_view bytes) { return ansiToUtf8(std::string(bytes)); };
}

} // namespace platform
