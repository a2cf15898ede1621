#include "system/RegistryReader.h"

#include "system/Handle.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace registry {

namespace {

using platform::UniqueHkey;

constexpr char kClasses[] = "Software\\Classes";
// Far beyond the registry's own limits for key and value names.
constexpr size_t kLongestName = 65536;
constexpr size_t kFirstRead = 1024;

// A key to read: either opened here, or a root key that is used as it is
// (opening a root with an empty path hands back the root itself, whatever
// view is asked for).
class Key {
public:
    Key(HKEY root, const std::string& path, REGSAM access)
    {
        if (path.empty()) {
            borrowed_ = root;
        } else if (RegOpenKeyExA(root, path.c_str(), 0, access, owned_.put()) != ERROR_SUCCESS) {
            owned_.release();
        }
    }
    HKEY get() const { return borrowed_ ? borrowed_ : owned_.get(); }
    explicit operator bool() const { return get() != nullptr; }

private:
    HKEY borrowed_ = nullptr;
    UniqueHkey owned_;
};

HKEY rootOf(Hive hive)
{
    switch (hive) {
    case Hive::ClassesRoot: return HKEY_CLASSES_ROOT;
    case Hive::MachineClasses: return HKEY_LOCAL_MACHINE;
    case Hive::UserClasses: return HKEY_CURRENT_USER;
    }
    return HKEY_CLASSES_ROOT;
}

std::string pathBelowRoot(Hive hive, const std::string& path)
{
    if (hive == Hive::ClassesRoot) return path;
    return path.empty() ? std::string(kClasses) : std::string(kClasses) + "\\" + path;
}

// A 64-bit program sees the 64-bit view without asking for it, and asking
// costs every open a detour under Wine.
REGSAM viewFlag(View view)
{
    if (view == View::Bits32) return KEY_WOW64_32KEY;
    return sizeof(void*) == 8 ? 0 : KEY_WOW64_64KEY;
}

std::string upper(std::string s)
{
    if (!s.empty()) CharUpperBuffA(s.data(), DWORD(s.size()));
    return s;
}

std::string untilNul(const char* data, size_t size) { return {data, strnlen(data, size)}; }

} // namespace

std::string typeName(ValueType type)
{
    switch (type) {
    case ValueType::None: return "REG_NONE";
    case ValueType::String: return "REG_SZ";
    case ValueType::ExpandString: return "REG_EXPAND_SZ";
    case ValueType::Binary: return "REG_BINARY";
    case ValueType::Dword: return "REG_DWORD";
    case ValueType::DwordBigEndian: return "REG_DWORD_BIG_ENDIAN";
    case ValueType::Link: return "REG_LINK";
    case ValueType::MultiString: return "REG_MULTI_SZ";
    case ValueType::Qword: return "REG_QWORD";
    }
    return "type " + std::to_string(static_cast<unsigned long>(type));
}

std::optional<std::string> Value::text() const
{
    if (type != ValueType::String && type != ValueType::ExpandString) return std::nullopt;
    return untilNul(reinterpret_cast<const char*>(data.data()), data.size());
}

std::string Value::leadingText() const { return untilNul(reinterpret_cast<const char*>(data.data()), data.size()); }

std::optional<std::vector<std::string>> Value::strings() const
{
    if (type != ValueType::MultiString) return std::nullopt;
    std::vector<std::string> list;
    const char* at = reinterpret_cast<const char*>(data.data());
    const char* end = at + data.size();
    while (at < end) {
        std::string one = untilNul(at, size_t(end - at));
        if (one.empty()) break;
        at += one.size() + 1;
        list.push_back(std::move(one));
    }
    return list;
}

std::optional<std::uint32_t> Value::dword() const
{
    if (type != ValueType::Dword || data.size() != sizeof(std::uint32_t)) return std::nullopt;
    std::uint32_t number = 0;
    std::memcpy(&number, data.data(), sizeof(number));
    return number;
}

std::optional<std::uint64_t> Value::qword() const
{
    if (type != ValueType::Qword || data.size() != sizeof(std::uint64_t)) return std::nullopt;
    std::uint64_t number = 0;
    std::memcpy(&number, data.data(), sizeof(number));
    return number;
}

bool RegistryReader::keyExists(const std::string& path) const
{
    return bool(Key(rootOf(hive_), pathBelowRoot(hive_, path), KEY_READ | viewFlag(view_)));
}

std::optional<Value> RegistryReader::value(const std::string& path, const std::string& name) const
{
    Key key(rootOf(hive_), pathBelowRoot(hive_, path), KEY_QUERY_VALUE | viewFlag(view_));
    if (!key) return std::nullopt;
    // Most values fit the first buffer, and one call is what costs. A value
    // that grows between the calls is asked for again.
    Value result;
    result.data.resize(kFirstRead);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = REG_NONE;
        auto size = static_cast<DWORD>(result.data.size());
        LSTATUS status = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, result.data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            result.data.resize(std::max<size_t>(size, result.data.size() * 2));
            continue;
        }
        if (status != ERROR_SUCCESS) return std::nullopt;
        result.data.resize(size);
        result.type = static_cast<ValueType>(type);
        return result;
    }
    return std::nullopt;
}

std::string RegistryReader::text(const std::string& path, const std::string& name) const
{
    std::optional<Value> found = value(path, name);
    return found ? found->text().value_or("") : "";
}

std::vector<std::string> RegistryReader::subKeys(const std::string& path) const
{
    if (hive_ == Hive::ClassesRoot && view_ == View::Bits32 && path.empty()) {
        // HKEY_CLASSES_ROOT cannot be opened as a whole in the other view;
        // its names come from the two hives it is made of.
        std::vector<std::string> names;
        std::set<std::string> seen;
        for (Hive classes : {Hive::UserClasses, Hive::MachineClasses}) {
            for (std::string& name : RegistryReader(classes, view_).subKeys("")) {
                if (seen.insert(upper(name)).second && keyExists(name)) names.push_back(std::move(name));
            }
        }
        return names;
    }

    std::vector<std::string> names;
    Key key(rootOf(hive_), pathBelowRoot(hive_, path), KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | viewFlag(view_));
    if (!key) return names;
    DWORD count = 0;
    DWORD longest = 0;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS)
        names.reserve(count);
    // Lengths are counted in UTF-16 units; a character can take two bytes
    // in the ANSI code page.
    std::vector<char> name(std::max<DWORD>(longest, 255) * 2 + 2);
    for (DWORD i = 0;;) {
        auto length = static_cast<DWORD>(name.size());
        LSTATUS status = RegEnumKeyExA(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA && name.size() < kLongestName) {
            name.resize(name.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        names.emplace_back(name.data(), length);
        ++i;
    }
    return names;
}

std::vector<NamedValue> RegistryReader::values(const std::string& path) const
{
    std::vector<NamedValue> found;
    Key key(rootOf(hive_), pathBelowRoot(hive_, path), KEY_QUERY_VALUE | viewFlag(view_));
    if (!key) return found;
    DWORD longestName = 0;
    DWORD longestData = 0;
    RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                     &longestData, nullptr, nullptr);
    std::vector<char> name(longestName * 2 + 2);
    std::vector<std::uint8_t> data(longestData * 2 + 2);
    for (DWORD i = 0;;) {
        auto nameLength = static_cast<DWORD>(name.size());
        auto dataSize = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        LSTATUS status =
            RegEnumValueA(key.get(), i, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_MORE_DATA && name.size() < kLongestName) {
            // A value that grew since the sizes were asked: room for it, then again.
            name.resize(name.size() * 2);
            data.resize(std::max<size_t>(data.size() * 2, dataSize));
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        found.push_back({std::string(name.data(), nameLength),
                         {static_cast<ValueType>(type), std::vector<std::uint8_t>(data.begin(), data.begin() + dataSize)}});
        ++i;
    }
    return found;
}

std::string RegistryReader::fullName(const std::string& path) const
{
    const char* root = hive_ == Hive::ClassesRoot      ? "HKEY_CLASSES_ROOT"
                       : hive_ == Hive::MachineClasses ? "HKEY_LOCAL_MACHINE"
                                                       : "HKEY_CURRENT_USER";
    std::string below = pathBelowRoot(hive_, path);
    return below.empty() ? std::string(root) : std::string(root) + "\\" + below;
}

std::string expandEnvironment(const std::string& text)
{
    std::string expanded(text.size() + 64, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), DWORD(expanded.size()));
        if (needed == 0) return text;
        if (needed <= expanded.size()) {
            expanded.resize(strnlen(expanded.data(), expanded.size()));
            return expanded;
        }
        expanded.resize(needed);
    }
    return text;
}

} // namespace registry
