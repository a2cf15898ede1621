#include "platform/RegistryAPI.h"

#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/RegistryReader.h"
#include "text/Text.h"
#include "text/Utf.h"

#include <cstring>

namespace RegistryAPI {

namespace {

// The windows' buffers: data that does not fit reads as the caller's default.
// A string counts in bytes of the ANSI code page, its NUL included.
constexpr size_t kStringBuffer = 1024;
constexpr size_t kBinaryBuffer = 4096;
// A subkey name of this many ANSI bytes or more ends the list.
constexpr size_t kNameBuffer = 260;
constexpr size_t kMaxNames = 1000000;

// The data as the ANSI calls hand it over: strings in the ANSI code page,
// their NULs kept; any other type as stored.
std::string ansiData(const classes::Value& value)
{
    std::string bytes(value.data.begin(), value.data.end());
    if (!classes::holdsStrings(value.type)) return bytes;
    return platform::ansiFromUtf16(text::utf16Units(bytes));
}

} // namespace

RegistryValue readRegValue(HKEY hRootKey, const std::string& sKeyPath, const std::string& sValueName, short iValueType,
                           RegistryValue vDefault, REGSAM samView)
{
    const platform::OpenKey key(hRootKey, platform::ansiToUtf8(sKeyPath), samView);
    if (!key) return vDefault;
    // The type code is looked at only once the key has opened.
    if (iValueType != kString && iValueType != kBinary && iValueType != kNumber)
        throw platform::AppError(1001, "Unsupported value type");
    const std::optional<classes::Value> value = key.value(platform::ansiToUtf8(sValueName));
    if (!value) return vDefault;
    const std::string data = ansiData(*value);
    switch (iValueType) {
    case kString:
        // The string ends at its first NUL: the first of a multi-string,
        // padding, or the terminator. Data stored without one keeps every byte.
        if (data.size() > kStringBuffer) return vDefault;
        return std::string(text::untilNul(data));
    case kBinary:
        if (data.size() > kBinaryBuffer) return vDefault;
        return std::vector<std::uint8_t>(data.begin(), data.end());
    default: {
        // Up to four bytes, as the low end of the number.
        if (data.size() > sizeof(std::uint32_t)) return vDefault;
        std::uint32_t number = 0;
        std::memcpy(&number, data.data(), data.size());
        return static_cast<std::int32_t>(number);
    }
    }
}

bool keyExists(HKEY hRootKey, const std::string& sKeyPath, REGSAM samView)
{
    return bool(platform::OpenKey(hRootKey, platform::ansiToUtf8(sKeyPath), samView));
}

std::vector<std::string> listSubKeys(HKEY hRootKey, const std::string& sKeyPath, std::vector<std::string>* exactNames)
{
    std::vector<std::string> names;
    names.reserve(101);
    for (std::string& name : platform::OpenKey(hRootKey, platform::ansiToUtf8(sKeyPath)).subKeys()) {
        std::string ansi = platform::ansiFromUtf8(name);
        if (ansi.size() >= kNameBuffer || names.size() >= kMaxNames) break;
        names.push_back(std::move(ansi));
        if (exactNames) exactNames->push_back(std::move(name));
    }
    return names;
}

} // namespace RegistryAPI
