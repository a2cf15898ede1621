#include "system/RegistryAPI.h"

#include "system/Error.h"
#include "system/Handle.h"

#include <cstring>

namespace RegistryAPI {

namespace {

using platform::UniqueHkey;

constexpr DWORD kStringBuffer = 1024;
constexpr DWORD kBinaryBuffer = 4096;
constexpr DWORD kNameBuffer = 260;
constexpr DWORD kMaxNames = 1000000;

UniqueHkey openKey(HKEY hRootKey, const std::string& sKeyPath)
{
    UniqueHkey key;
    if (RegOpenKeyExA(hRootKey, sKeyPath.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) key.release();
    return key;
}

LSTATUS queryValue(HKEY key, const std::string& sValueName, short iValueType, void* buffer, DWORD& size)
{
    auto type = static_cast<DWORD>(iValueType); // an out-parameter; the requested code alone decides
    return RegQueryValueExA(key, sValueName.c_str(), nullptr, &type, static_cast<BYTE*>(buffer), &size);
}

} // namespace

RegistryValue readRegValue(HKEY hRootKey, const std::string& sKeyPath, const std::string& sValueName, short iValueType,
                           RegistryValue vDefault)
{
    RegistryValue result = std::move(vDefault);
    UniqueHkey key = openKey(hRootKey, sKeyPath);
    if (!key) return result;

    switch (iValueType) {
    case kString: {
        char buffer[kStringBuffer];
        DWORD size = sizeof(buffer);
        if (queryValue(key.get(), sValueName, iValueType, buffer, size) == ERROR_SUCCESS) {
            // The string ends at its first NUL: the first of a multi-string,
            // padding, or the terminator. Data stored without one keeps every
            // byte.
            result = std::string(buffer, strnlen(buffer, size));
        }
        break;
    }
    case kBinary: {
        std::vector<std::uint8_t> bytes(kBinaryBuffer);
        DWORD size = kBinaryBuffer;
        if (queryValue(key.get(), sValueName, iValueType, bytes.data(), size) == ERROR_SUCCESS) {
            bytes.resize(size);
            result = std::move(bytes);
        }
        break;
    }
    case kNumber: {
        std::uint32_t number = 0;
        DWORD size = sizeof(number);
        if (queryValue(key.get(), sValueName, iValueType, &number, size) == ERROR_SUCCESS)
            result = static_cast<std::int32_t>(number);
        break;
    }
    default:
        key.reset(); // closed before the error leaves
        throw platform::AppError(1001, "Unsupported value type");
    }
    return result;
}

std::vector<std::string> listSubKeys(HKEY hRootKey, const std::string& sKeyPath)
{
    std::vector<std::string> names;
    names.reserve(101);
    UniqueHkey opened;
    HKEY key = hRootKey; // an empty path enumerates the root itself, never closed here
    if (!sKeyPath.empty()) {
        opened = openKey(hRootKey, sKeyPath);
        if (!opened) return names;
        key = opened.get();
    }
    char name[kNameBuffer];
    for (DWORD i = 0; i < kMaxNames; ++i) {
        if (RegEnumKeyA(key, i, name, kNameBuffer) != ERROR_SUCCESS) break;
        names.emplace_back(name, strnlen(name, kNameBuffer));
    }
    return names;
}

} // namespace RegistryAPI
