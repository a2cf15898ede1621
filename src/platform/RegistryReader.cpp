#include "platform/RegistryReader.h"

#include "platform/Handle.h"
#include "text/Text.h"
#include "platform/Wide.h"

#include <algorithm>
#include <set>

namespace platform {

namespace {

using platform::UniqueHkey;
using platform::utf8Of;
using platform::wideOf;

constexpr wchar_t kClasses[] = L"Software\\Classes";
constexpr DWORD kFirstRead = 1024;
// Far beyond the registry's own limits for key and value names.
constexpr DWORD kLongestName = 65536;

// A key to read: either opened here, or a root key that is used as it is
// (opening a root with an empty path hands back the root itself, whatever
// view is asked for).
class Key {
public:
    Key(HKEY root, const std::wstring& path, REGSAM access, DWORD options = 0)
    {
        if (path.empty()) {
            borrowed_ = root;
        } else if (RegOpenKeyExW(root, path.c_str(), options, access, owned_.put()) != ERROR_SUCCESS) {
            owned_.release();
        }
    }
    HKEY get() const { return borrowed_ ? borrowed_ : owned_.get(); }
    explicit operator bool() const { return get() != nullptr; }

private:
    HKEY borrowed_ = nullptr;
    UniqueHkey owned_;
};

HKEY rootOf(classes::Hive hive)
{
    switch (hive) {
    case classes::Hive::ClassesRoot: return HKEY_CLASSES_ROOT;
    case classes::Hive::MachineClasses: return HKEY_LOCAL_MACHINE;
    case classes::Hive::UserClasses: return HKEY_CURRENT_USER;
    }
    return HKEY_CLASSES_ROOT;
}

std::wstring pathBelowRoot(classes::Hive hive, const std::string& path)
{
    std::wstring wide = wideOf(path);
    if (hive == classes::Hive::ClassesRoot) return wide;
    return wide.empty() ? std::wstring(kClasses) : std::wstring(kClasses) + L"\\" + wide;
}

// How a key below the classes is opened in the view. A 64-bit program sees
// the 64-bit view without asking for it, and asking costs every open a
// detour under Wine. The 32-bit view asks only for the redirected keys: the
// shared ones (the ProgIDs among them) are the same in both views, as a
// 32-bit program sees them, whereas Wine's KEY_WOW64_32KEY would send a
// 64-bit program to Wow6432Node for every class key.
REGSAM viewFlag(classes::View view, const std::string& path)
{
    if (view == classes::View::Bits32 && classes::isRedirectedClassesKey(path)) return KEY_WOW64_32KEY;
    return sizeof(void*) == 8 ? 0 : KEY_WOW64_64KEY;
}

std::optional<classes::Value> queryValue(HKEY key, const std::string& name)
{
    // Most values fit the first buffer, and one call is what costs. A value
    // that grows between the calls is asked for again.
    const std::wstring wideName = wideOf(name);
    classes::Value result;
    result.data.resize(kFirstRead);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = REG_NONE;
        auto size = static_cast<DWORD>(result.data.size());
        const LSTATUS status = RegQueryValueExW(key, wideName.c_str(), nullptr, &type, result.data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            result.data.resize(std::max<size_t>(size, result.data.size() * 2));
            continue;
        }
        if (status != ERROR_SUCCESS) return std::nullopt;
        result.data.resize(size);
        result.type = static_cast<classes::ValueType>(type);
        return result;
    }
    return std::nullopt;
}

std::vector<std::string> enumerateSubKeys(HKEY key)
{
    std::vector<std::string> names;
    DWORD count = 0;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS)
        names.reserve(count);
    std::vector<wchar_t> name(std::max<DWORD>(longest, 255) + 1);
    for (DWORD i = 0;;) {
        auto length = static_cast<DWORD>(name.size());
        const LSTATUS status = RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA && name.size() < kLongestName) {
            name.resize(name.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        names.push_back(utf8Of(std::wstring(name.data(), length)));
        ++i;
    }
    return names;
}

std::vector<classes::NamedValue> enumerateValues(HKEY key)
{
    std::vector<classes::NamedValue> found;
    DWORD longestName = 0;
    DWORD longestData = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName, &longestData,
                     nullptr, nullptr);
    std::vector<wchar_t> name(longestName + 2);
    std::vector<std::uint8_t> data(longestData + 2);
    for (DWORD i = 0;;) {
        auto nameLength = static_cast<DWORD>(name.size());
        auto dataSize = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LSTATUS status = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_MORE_DATA && name.size() < kLongestName) {
            // A value that grew since the sizes were asked: room for it, then again.
            name.resize(name.size() * 2);
            data.resize(std::max<size_t>(data.size() * 2, dataSize));
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        found.push_back({utf8Of(std::wstring(name.data(), nameLength)),
                         {static_cast<classes::ValueType>(type), std::vector<std::uint8_t>(data.begin(), data.begin() + dataSize)}});
        ++i;
    }
    return found;
}

} // namespace

bool RegistryReader::keyExists(const std::string& path) const
{
    return bool(Key(rootOf(hive_), pathBelowRoot(hive_, path), KEY_READ | viewFlag(view_, path)));
}

std::optional<classes::Value> RegistryReader::value(const std::string& path, const std::string& name) const
{
    const Key key(rootOf(hive_), pathBelowRoot(hive_, path), KEY_QUERY_VALUE | viewFlag(view_, path));
    if (!key) return std::nullopt;
    return queryValue(key.get(), name);
}

std::string RegistryReader::text(const std::string& path, const std::string& name) const
{
    const std::optional<classes::Value> found = value(path, name);
    return found ? found->text().value_or("") : "";
}

std::vector<std::string> RegistryReader::subKeys(const std::string& path) const
{
    const Key key(rootOf(hive_), pathBelowRoot(hive_, path), KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | viewFlag(view_, path));
    if (!key) return {};
    return enumerateSubKeys(key.get());
}

std::vector<classes::NamedValue> RegistryReader::values(const std::string& path) const
{
    const Key key(rootOf(hive_), pathBelowRoot(hive_, path), KEY_QUERY_VALUE | viewFlag(view_, path));
    if (!key) return {};
    return enumerateValues(key.get());
}

classes::KeyContent RegistryReader::content(const std::string& path) const
{
    // Opened as itself: a link shows its own value, never its target's keys.
    classes::KeyContent c;
    const Key key(rootOf(hive_), pathBelowRoot(hive_, path), KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | viewFlag(view_, path),
                  path.empty() ? 0 : REG_OPTION_OPEN_LINK);
    if (!key) return c;
    c.exists = true;
    c.values = enumerateValues(key.get());
    c.link = std::any_of(c.values.begin(), c.values.end(), [](const classes::NamedValue& v) {
        return v.value.type == classes::ValueType::Link && text::equalIgnoringCase(v.name, "SymbolicLinkValue");
    });
    if (!c.link) c.subKeys = enumerateSubKeys(key.get());
    return c;
}

bool RegistryReader::isLink(const std::string& path) const
{
    if (path.empty()) return false;
    const Key key(rootOf(hive_), pathBelowRoot(hive_, path), KEY_QUERY_VALUE | viewFlag(view_, path), REG_OPTION_OPEN_LINK);
    if (!key) return false;
    // A link holds its target in the value "SymbolicLinkValue" of type REG_LINK.
    const std::optional<classes::Value> target = queryValue(key.get(), "SymbolicLinkValue");
    return target && target->type == classes::ValueType::Link;
}

std::string RegistryReader::fullName(const std::string& path) const
{
    const char* root = hive_ == classes::Hive::ClassesRoot      ? "HKEY_CLASSES_ROOT"
                       : hive_ == classes::Hive::MachineClasses ? "HKEY_LOCAL_MACHINE"
                                                       : "HKEY_CURRENT_USER";
    const std::string below = utf8Of(pathBelowRoot(hive_, path));
    return below.empty() ? std::string(root) : std::string(root) + "\\" + below;
}

bool SystemClasses::keyExists(classes::Hive hive, classes::View view, const std::string& path) const
{
    return RegistryReader(hive, view).keyExists(path);
}

std::optional<classes::Value> SystemClasses::value(classes::Hive hive, classes::View view, const std::string& path, const std::string& name) const
{
    return RegistryReader(hive, view).value(path, name);
}

std::vector<std::string> SystemClasses::subKeys(classes::Hive hive, classes::View view, const std::string& path) const
{
    return RegistryReader(hive, view).subKeys(path);
}

std::vector<classes::NamedValue> SystemClasses::values(classes::Hive hive, classes::View view, const std::string& path) const
{
    return RegistryReader(hive, view).values(path);
}

bool SystemClasses::isLink(classes::Hive hive, classes::View view, const std::string& path) const
{
    return RegistryReader(hive, view).isLink(path);
}

classes::KeyContent SystemClasses::content(classes::Hive hive, classes::View view, const std::string& path) const
{
    return RegistryReader(hive, view).content(path);
}

std::string SystemClasses::fullName(classes::Hive hive, classes::View view, const std::string& path) const
{
    const RegistryReader reader64(hive, classes::View::Bits64);
    if (view == classes::View::Bits32 && classes::isRedirectedClassesKey(path)) {
        const std::string redirected = "Wow6432Node\\" + path;
        if (reader64.keyExists(redirected)) return reader64.fullName(redirected);
    }
    return reader64.fullName(path);
}

OpenKey::OpenKey(HKEY root, const std::string& path, REGSAM view)
{
    if (path.empty()) {
        key_ = root;
    } else if (RegOpenKeyExW(root, wideOf(path).c_str(), 0, KEY_READ | view, &key_) == ERROR_SUCCESS) {
        owned_ = true;
    } else {
        key_ = nullptr;
    }
}

OpenKey::~OpenKey()
{
    if (owned_) RegCloseKey(key_);
}

std::optional<classes::Value> OpenKey::value(const std::string& name) const
{
    if (!key_) return std::nullopt;
    return queryValue(key_, name);
}

std::vector<std::string> OpenKey::subKeys() const
{
    if (!key_) return {};
    return enumerateSubKeys(key_);
}

std::vector<classes::NamedValue> OpenKey::values() const
{
    if (!key_) return {};
    return enumerateValues(key_);
}

namespace {

std::uint64_t numberOf(const FILETIME& time)
{
    return (std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Whether the key or one below it was written since; the names go to `found`.
bool collectWritten(HKEY parent, const std::wstring& name, const std::string& path, std::uint64_t since,
                    std::vector<std::string>& found)
{
    // Opened as itself: a link would lead into keys read elsewhere in the walk.
    const Key key(parent, name, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | viewFlag(classes::View::Bits64, ""),
                  name.empty() ? 0 : REG_OPTION_OPEN_LINK);
    if (!key) return false;
    const std::optional<classes::Value> link = queryValue(key.get(), "SymbolicLinkValue");
    if (link && link->type == classes::ValueType::Link) return false;
    FILETIME written{};
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &written) != ERROR_SUCCESS)
        return false;
    bool below = false;
    for (const std::string& sub : enumerateSubKeys(key.get()))
        below |= collectWritten(key.get(), wideOf(sub), text::below(path, sub), since, found);
    // Creating or deleting a subkey writes its parent too: name the subkey.
    const bool self = numberOf(written) >= since;
    if (self && !below) found.push_back(path);
    return self || below;
}

} // namespace

std::vector<std::string> keysWrittenSince(HKEY root, const std::string& path, std::uint64_t since)
{
    std::vector<std::string> found;
    collectWritten(root, wideOf(path), path, since, found);
    std::sort(found.begin(), found.end());
    return found;
}

std::string expandEnvironment(const std::string& text)
{
    const std::wstring wide = wideOf(text);
    std::wstring expanded(wide.size() + 64, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD needed = ExpandEnvironmentStringsW(wide.c_str(), expanded.data(), DWORD(expanded.size()));
        if (needed == 0) return text;
        if (needed <= expanded.size()) {
            expanded.resize(std::min(expanded.find(L'\0'), expanded.size()));
            return utf8Of(expanded);
        }
        expanded.resize(needed);
    }
    return text;
}

} // namespace platform
